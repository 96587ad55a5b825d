// The fields of the e-mail object (ICVEMail's properties), in the order of
// its interface: the one list that the e-mail object, the export's wrapper,
// the container writer, the manifest and the COM class are made from, and
// that a test holds the IDL to.
//   X(name, kind, manifest key)
// kind: Text (a string), Bytes (a byte-length BSTR: the body's own bytes),
// Int32, Date (an OLE date, or empty). Text and Bytes cross COM as a BSTR,
// Int32 and Date as a VARIANT. The manifest key is "" for a field the
// container's manifest does not keep.
#pragma once

#include <cstddef>
#include <string_view>

#define CV_MAIL_FIELDS(X)              \
  X(FolderPath, Text, "folder")        \
  X(EntryID, Text, "entryId")          \
  X(Type, Int32, "")                   \
  X(Subject, Text, "subject")          \
  X(From, Text, "from")                \
  X(To, Text, "to")                    \
  X(CC, Text, "cc")                    \
  X(BCC, Text, "bcc")                  \
  X(Size, Int32, "size")               \
  X(Date, Date, "date")                \
  X(MailState, Int32, "state")         \
  X(Importance, Int32, "importance")   \
  X(HtmlBody, Bytes, "")               \
  X(HtmlFileName, Text, "")

namespace CV::Vendor {

enum class FieldKind { Text, Bytes, Int32, Date };

struct MailField {
  std::u16string_view name;
  FieldKind kind;
  std::string_view manifestKey;  // empty: not in the manifest
};

enum class Field : int {
#define CV_FIELD_ENUM(name, kind, key) name,
  CV_MAIL_FIELDS(CV_FIELD_ENUM)
#undef CV_FIELD_ENUM
};

inline constexpr MailField kMailFields[] = {
#define CV_FIELD_ROW(name, kind, key) {u## #name, FieldKind::kind, key},
    CV_MAIL_FIELDS(CV_FIELD_ROW)
#undef CV_FIELD_ROW
};

constexpr const MailField& FieldOf(Field field) { return kMailFields[static_cast<std::size_t>(field)]; }
constexpr std::u16string_view NameOf(Field field) { return FieldOf(field).name; }
constexpr std::string_view ManifestKey(Field field) { return FieldOf(field).manifestKey; }

}  // namespace CV::Vendor
