# cmake -DOUTPUT=file.cpp -DRESOURCES="TYPE|NAME|path;..." -P embed_resources.cmake
# Writes a C++ source that compiles the files in and serves them through the
# resources port.
set(body "")
set(table "")
set(index 0)
foreach(entry IN LISTS RESOURCES)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 type)
  list(GET parts 1 name)
  list(GET parts 2 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const std::uint8_t kData${index}[] = {${bytes}0};\n")
  string(APPEND table "    {u\"${type}\", u\"${name}\", kData${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated at build time from resources/; do not edit.
#include <array>
#include <cstdint>

#include \"foundation/ascii.h\"
#include \"foundation/resources.h\"

namespace CV {
namespace {

${body}
struct Entry {
  std::u16string_view type;
  std::u16string_view name;
  const std::uint8_t* data;
  std::size_t size;
};

class EmbeddedResources final : public IResources {
 public:
  std::optional<std::span<const std::uint8_t>> Find(std::u16string_view type, std::u16string_view name) const override {
    static const Entry kEntries[] = {
${table}    };
    for (const Entry& e : kEntries)
      if (EqualsIgnoreAsciiCase(e.type, type) && EqualsIgnoreAsciiCase(e.name, name)) return std::span(e.data, e.size);
    return std::nullopt;
  }
};

}  // namespace

const IResources& ModuleResources() {
  static const EmbeddedResources resources;
  return resources;
}

}  // namespace CV
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
