// The writer's progress window while it archives: "Archiv erstellen", the
// mails so far of those announced, a bar and "Abbrechen". It lives on a
// thread of its own, so that neither the job's worker, which feeds it, nor
// Outlook's UI thread has to serve it. Cancelling makes the next mail's
// report answer "stop": the export ends without a container.
#pragma once

#include <memory>

#include "components/container/export_outcome.h"

namespace CV::Win::Components {

class ExportProgress final : public CV::Components::IExportProgress {
 public:
  explicit ExportProgress(std::shared_ptr<CV::Components::OutcomeRecorder> recorder);
  ~ExportProgress() override;

  // Opens the window (once); the export has begun.
  void Open();
  // Closes it; the export is over.
  void Close();

  bool MailWritten(std::int32_t received, std::int32_t announced, std::uint64_t containerBytes) override;
  void MailAdded(std::u16string_view folder, std::u16string_view entryId, std::int64_t size) override;
  void ContainerWritten(std::u16string_view file) override;
  void Failed(std::string_view cause) override;

  struct Window;

 private:
  std::shared_ptr<CV::Components::OutcomeRecorder> m_recorder;
  std::shared_ptr<Window> m_window;
};

}  // namespace CV::Win::Components
