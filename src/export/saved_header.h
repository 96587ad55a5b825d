// The header block SaveAs writes above a mail's body ("Von:", "Gesendet:",
// "An:", ... as long styled paragraphs): recognised by what SaveAs writes
// for this very mail, so that a body paragraph that merely begins with a
// label ("Anlagen: siehe unten ...") is never taken for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace CV::Office {

// What the export knows of the fields SaveAs writes for the mail: the
// texts of "Von:", "An:", "Cc:", "Bcc:" and "Betreff:" (Cc and Bcc only
// when not empty) and whether "Wichtigkeit:" (importance not normal) and
// "Anlagen:" (attachments) are there; "Gesendet:" always is.
struct SavedHeader {
  std::u16string from, to, cc, bcc, subject;
  bool importance = false;
  bool attachments = false;
};

// The visible text of an HTML stretch: tags skipped, character references
// decoded, white space and no-break spaces folded to single blanks, trimmed.
// Eight-bit text is read as UTF-8 where it is that, else as windows-1252.
std::u16string VisibleText(std::u16string_view units, bool eightBit);

// Walks the leading paragraphs of a saved body: each that holds the next
// field SaveAs wrote (its label, in the language of the first, and the
// mail's own value where the export knows it) belongs to the block; the
// first that does not ends it.
class HeaderBlockMatcher {
 public:
  explicit HeaderBlockMatcher(SavedHeader header) : m_header(std::move(header)) {}
  // text: the paragraph's visible text (VisibleText). True when it is the
  // block's next field; false ends the block for good.
  bool Next(std::u16string_view text, bool oneLine);

 private:
  SavedHeader m_header;
  int m_field = 0;           // the next of the fields, in SaveAs order
  int m_language = -1;       // 0 German, 1 English, once the first field set it
  bool m_ended = false;
};

}  // namespace CV::Office
