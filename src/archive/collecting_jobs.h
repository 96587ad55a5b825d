// The three collecting jobs: the mails selected in the explorer, one folder,
// and a folder with all its subfolders.
#pragma once

#include "archive/collecting_job.h"
#include "outlook/wrappers.h"

namespace CV {

class CAddSelectedMailsJob final : public CCollectingJob {
 public:
  explicit CAddSelectedMailsJob(JobPorts ports);

 protected:
  // The folder all mails are filed under: the active explorer's current folder.
  void PrepareSource(const ObjectPtr& source) override;
  // Conversation headers first; the plain items only when they held no mail.
  bool Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) override;

 private:
  Outlook::Folder m_folder;
};

class CAddFolderJob final : public CCollectingJob {
 public:
  explicit CAddFolderJob(JobPorts ports);

 protected:
  bool Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) override;
};

class CAddFoldersRecursiveJob final : public CCollectingJob {
 public:
  explicit CAddFoldersRecursiveJob(JobPorts ports);
  // The exclusion set is emptied when the run ends, also when it ended
  // before the walk began.
  HRESULT Run() override;

 protected:
  bool Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) override;
};

}  // namespace CV
