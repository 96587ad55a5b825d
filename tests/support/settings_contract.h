// One contract for every settings adapter: raw values come back as written,
// whatever their type and shape. A string written without its final NUL may
// come back with one (Wine's registry adds it), never otherwise changed.
#pragma once

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "foundation/utf.h"

namespace CV::Fake {

inline void RunSettingsContract(ISettings& settings, const std::u16string& path) {
  std::unique_ptr<ISettingsKey> key;
  ASSERT_EQ(settings.OpenUserKey(path, key), 0);  // created when missing
  std::vector<std::uint8_t> unterminated = {'a', 0, 'b', 0};
  std::vector<std::uint8_t> odd = {'a', 0, 0};
  struct Case {
    const char* name;
    RegType type;
    std::vector<std::uint8_t> data;
    bool mayBeTerminated = false;
  };
  const Case cases[] = {
      {"string", RegType::Sz, RegistryString(u"\\\\Postfach\\Posteingang\r\n\\\\Archiv")},
      {"expand string", RegType::ExpandSz, RegistryString(u"%TEMP%\\x")}, {"empty string", RegType::Sz, {}},
      {"without final NUL", RegType::Sz, unterminated, true}, {"odd byte count", RegType::Sz, odd, true},
      {"multi-string", RegType::MultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {"dword", RegType::Dword, {1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(key->WriteValue(u"ExcludeFolder", c.type, c.data), 0);
    RegType type = RegType::None;
    std::uint32_t size = 0;
    ASSERT_EQ(key->QueryValueInfo(u"ExcludeFolder", type, size), 0);
    EXPECT_EQ(type, c.type);
    std::vector<std::uint8_t> terminated = c.data;
    terminated.insert(terminated.end(), {0, 0});
    std::vector<std::uint8_t> data{9, 9};
    ASSERT_EQ(key->QueryValueData(u"ExcludeFolder", data), 0);
    EXPECT_EQ(size, data.size());
    if (c.mayBeTerminated && data.size() != c.data.size()) EXPECT_EQ(data, terminated);
    else EXPECT_EQ(data, c.data);
  }
  RegType type;
  std::uint32_t size;
  EXPECT_EQ(key->QueryValueInfo(u"NotThere", type, size), 2);  // ERROR_FILE_NOT_FOUND
  std::vector<std::uint8_t> data;
  EXPECT_EQ(key->QueryValueData(u"NotThere", data), 2);

  std::unique_ptr<ISettingsKey> again;  // a second open sees what the first wrote
  ASSERT_EQ(settings.OpenUserKey(path, again), 0);
  ASSERT_EQ(again->QueryValueInfo(u"ExcludeFolder", type, size), 0);
  EXPECT_EQ(type, RegType::Dword);
}

}  // namespace CV::Fake
