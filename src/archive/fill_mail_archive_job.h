// CFillMailArchiveJob: "Archiv erstellen". On the UI thread Init prepares
// the vendor's container writer (which asks the user for the target); on
// the worker Run converts every selected mail of the archive list, folder
// by folder, hands it to the writer, and closes the container with its six
// properties. The writer carries the progress and the user's cancel; the
// job shows nothing of its own but messages 107 and 108, and never changes
// the archive list.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "archive/archive_list.h"
#include "archive/job.h"
#include "export/mail_export.h"
#include "foundation/component_factory.h"
#include "foundation/interface_table.h"
#include "foundation/ui.h"
#include "foundation/user_environment.h"
#include "contracts/container_writer.h"

namespace CV {

// What a run tells beyond what the writer hears: the add-in shows none of
// it; a host that shows more (cvmail) names every skipped mail and why a run
// ended early. Called on the worker.
class IArchiveRunReport {
 public:
  virtual ~IArchiveRunReport() = default;
  // A mail of folderPath was skipped because of cause (an error's text).
  virtual void MailSkipped(std::u16string_view folderPath, std::u16string_view entryId, std::u16string_view cause) = 0;
  // The run ended before the container was closed, at the mail named (both
  // empty when no mail was under way).
  virtual void RunEnded(std::u16string_view folderPath, std::u16string_view entryId, std::u16string_view cause) = 0;
};

// What the job works with, owned jointly (a worker left to unwind after an
// abandonment may still use them).
struct ArchiveJobPorts {
  std::shared_ptr<IInterfaceTable> table;
  std::shared_ptr<IUserInterface> ui;
  std::shared_ptr<IUserEnvironment> user;
  Office::MailExportPorts mailExport;
  std::shared_ptr<IArchiveRunReport> report;  // may be null
};

// The text of the exception being handled, for a report: a COM error's
// system message and description, the system exception's message.
std::u16string CurrentErrorText(const ISystemMessages& messages);

class CFillMailArchiveJob final : public Job::IJob {
 public:
  explicit CFillMailArchiveJob(ArchiveJobPorts ports);

  // UI thread: false when the job is to be destroyed without running (no
  // selected mail: message 108; no usable writer: message 107; the user
  // declined; the writer cannot be parked).
  bool Init(std::shared_ptr<CArchiveList> list);

  HRESULT Run() override;
  // This job is stopped through the writer only.
  bool Cancel() override { return false; }
  void Finish() override;
  // Deletes a job that never ran.
  void Destroy() { delete this; }

  // The e-mail object of a mail; a mail already converted in this run gets
  // its header fields only.
  Vendor::EMail ExportMail(const Outlook::MailItem& mail);
  // The six container properties; the first failure ends them silently.
  void SetContainerProperties(std::int32_t count, std::int64_t totalSize, const Vendor::MailExport& writer);

 private:
  ~CFillMailArchiveJob();

  const ISystemMessages& SystemMessages() const {
    return m_ports.mailExport.messages ? *m_ports.mailExport.messages : NoSystemMessages();
  }
  ArchiveJobPorts m_ports;
  std::uint32_t m_writer = 0;
  std::shared_ptr<CArchiveList> m_pList;
  std::map<std::u16string, bool> m_exportedIds;
  Office::CMailExport m_mailExport;
};

// The total size as the container shows it: "%.0f" and " GB", " MB" or
// " kB" above 2^30, 2^20 and 1024 bytes.
std::u16string FormatSize(std::int64_t totalSize);

}  // namespace CV
