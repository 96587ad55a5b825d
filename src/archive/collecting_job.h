// The frame shared by the collecting jobs: the Outlook source and the ribbon
// cross to the worker through the interface table; the ribbon is refreshed
// when the run begins and when the job finishes; the progress dialog shows
// while the job collects; message 110 reports mails that could not be read.
// A job that was abandoned shows nothing any more and leaves its dialog to
// be closed without waiting for the UI thread.
#pragma once

#include <memory>
#include <string>

#include "archive/archive_list.h"
#include "archive/job.h"
#include "foundation/interface_table.h"
#include "foundation/ui.h"

namespace CV {

// The ports a job works with, owned jointly: a worker left to unwind after
// its job was abandoned may still use them when their host has gone.
struct JobPorts {
  std::shared_ptr<IInterfaceTable> table;
  std::shared_ptr<IUserInterface> ui;
};

class CCollectingJob : public Job::IJob {
 public:
  // UI thread: parks source and ribbon for the worker, keeps the list and
  // creates the hidden progress dialog. False when the job cannot run.
  bool Init(const ObjectPtr& source, std::shared_ptr<CArchiveList> list, const ObjectPtr& ribbon);

  HRESULT Run() override;
  bool Cancel() override;
  void Finish() override;
  // Deletes a job that never ran (Init failed, or the runner refused it).
  void Destroy() { delete this; }

 protected:
  CCollectingJob(JobPorts ports, const Guid& sourceIid, std::u16string title);
  virtual ~CCollectingJob();

  // Worker: called with the fetched source before the ribbon is refreshed.
  virtual void PrepareSource(const ObjectPtr& source) { (void)source; }
  // Worker: the collecting step; false when the user cancelled.
  virtual bool Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) = 0;

  CArchiveList& List() { return *m_list; }

 private:
  // The dialog, for as long as the job was not abandoned.
  IProgressDialog& Dialog();
  void Revoke(std::uint32_t& cookie) noexcept;
  ObjectPtr Fetch(std::uint32_t cookie, const Guid& iid);

  JobPorts m_ports;
  Guid m_sourceIid;
  std::u16string m_title;
  std::uint32_t m_source = 0;  // m_sel or m_folder
  std::uint32_t m_ribbon = 0;
  std::shared_ptr<CArchiveList> m_list;
  std::unique_ptr<IProgressDialog> m_dialog;
};

}  // namespace CV
