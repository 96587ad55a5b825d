#include "components/container/export_outcome.h"

#include "foundation/format.h"
#include "foundation/utf.h"

namespace CV::Components {

bool OutcomeRecorder::MailWritten(std::int32_t, std::int32_t announced, std::uint64_t) {
  Announced(announced);
  return true;
}

void OutcomeRecorder::MailAdded(std::u16string_view, std::u16string_view, std::int64_t) {
  std::lock_guard lock(m_mutex);
  ++m_outcome.added;
}

void OutcomeRecorder::ContainerWritten(std::u16string_view file) {
  std::lock_guard lock(m_mutex);
  m_outcome.container = std::u16string(file);
}

void OutcomeRecorder::Failed(std::string_view cause) {
  std::lock_guard lock(m_mutex);
  if (m_outcome.cause.empty()) m_outcome.cause = cause;  // the first cause is the one that counts
}

void OutcomeRecorder::Announced(std::int32_t announced) {
  std::lock_guard lock(m_mutex);
  m_outcome.announced = announced;
}

ExportOutcome OutcomeRecorder::Outcome() const {
  std::lock_guard lock(m_mutex);
  return m_outcome;
}

namespace {

std::u16string Mails(std::int32_t n) { return n == 1 ? u"1 E-Mail" : Format(u"%d E-Mails", n); }

}  // namespace

std::u16string OutcomeMessage(const ExportOutcome& outcome) {
  if (!outcome.container) {
    const std::u16string text = u"Es wurde kein Archiv erstellt.\n\n";
    if (!outcome.cause.empty()) return text + u"Grund: " + FromUtf8(outcome.cause);
    return text + u"Die Archivierung endete, bevor alle E-Mails übergeben waren.";
  }
  const std::u16string& file = *outcome.container;
  const std::size_t separator = file.find_last_of(u"\\/");
  const std::u16string name = separator == std::u16string::npos ? file : file.substr(separator + 1);
  std::u16string folder = separator == std::u16string::npos ? u"" : file.substr(0, separator);
  if (separator != std::u16string::npos && (folder.empty() || folder.back() == u':'))
    folder += file[separator];  // a root keeps its separator
  const std::u16string text = u"Das Archiv „" + name + u"“ wurde erstellt.\nOrdner: " + folder + u"\n\n";
  if (outcome.added >= outcome.announced) {
    if (outcome.added == 0) return text + u"Es enthält keine E-Mails.";
    if (outcome.added == 1) return text + u"Es enthält die E-Mail.";
    return text + Format(u"Es enthält alle %d E-Mails.", outcome.added);
  }
  const std::int32_t missing = outcome.announced - outcome.added;
  return text + Format(u"Es enthält %d von %d E-Mails; ", outcome.added, outcome.announced) + Mails(missing) +
         (missing == 1 ? u" wurde" : u" wurden") + u" nicht archiviert.";
}

}  // namespace CV::Components
