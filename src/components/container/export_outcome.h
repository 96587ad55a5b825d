// What an export came to, as the writer learns it on the way, and the
// message that tells the user: the container and how many of the announced
// mails it holds, or that no archive was created and why.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "components/container/container_writer.h"

namespace CV::Components {

struct ExportOutcome {
  std::optional<std::u16string> container;  // set once it is complete at its place, as the user knows it
  std::int32_t announced = 0;
  std::int32_t added = 0;  // mails in the container
  std::string cause;       // why it cannot be written, when the writer knows (UTF-8, German)
};

// Records an export's outcome; its callbacks may come from any thread.
class OutcomeRecorder final : public IExportProgress {
 public:
  bool MailWritten(std::int32_t received, std::int32_t announced, std::uint64_t containerBytes) override;
  void MailAdded(std::u16string_view folder, std::u16string_view entryId, std::int64_t size) override;
  void ContainerWritten(std::u16string_view file) override;
  void Failed(std::string_view cause) override;
  void Announced(std::int32_t announced);
  ExportOutcome Outcome() const;

 private:
  mutable std::mutex m_mutex;
  ExportOutcome m_outcome;
};

// The message for the user, German. A written container names its file,
// its folder and the mails it holds of those announced; otherwise it says
// that no archive was created, with the cause or, without one, that the
// export ended before its end.
std::u16string OutcomeMessage(const ExportOutcome& outcome);

}  // namespace CV::Components
