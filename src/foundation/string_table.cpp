#include "foundation/string_table.h"

#include <string_view>

#include "foundation/utf.h"

namespace CV {
namespace {

struct Entry {
  int id;
  const char* utf8;
};

constexpr Entry kTable[] = {
#define CV_STRING(id, text) {id, text},
#include "strings.def"
#undef CV_STRING
};

}  // namespace

std::u16string StringTableText(int id) {
  for (const Entry& e : kTable)
    if (e.id == id) return FromUtf8(e.utf8);
  return {};
}

std::vector<int> StringTableIds() {
  std::vector<int> ids;
  for (const Entry& e : kTable) ids.push_back(e.id);
  return ids;
}

}  // namespace CV
