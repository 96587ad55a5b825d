// The excluded-folder setting over the simulated settings store and Outlook.
#include "outlook/excluded_folders.h"

#include <gtest/gtest.h>

#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_settings.h"

namespace CV {
namespace {

using namespace CV::Outlook;

std::vector<std::uint8_t> Utf16(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

class ExcludedFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mailbox = outlook.AddStore(u"Postfach", true);
    local = outlook.AddStore(u"Archiv");
  }
  std::vector<std::u16string> Load() {
    std::vector<std::u16string> out{u"stale"};
    LoadExcludedFolders(out, Application(outlook.Application()), settings);
    return out;
  }
  void SetValue(RegType type, std::vector<std::uint8_t> data) {
    settings.Set(AddinSettingsKey(), u"ExcludeFolder", type, std::move(data));
  }
  std::vector<std::u16string> DefaultSet() {
    std::vector<std::u16string> paths;
    for (const std::int32_t t : {3, 4, 23, 25, 20, 19, 21, 22})
      paths.push_back(Folder(mailbox->DefaultFolder(t)).FullFolderPath());
    for (const std::int32_t t : {3, 4, 23, 25}) paths.push_back(Folder(local->DefaultFolder(t)).FullFolderPath());
    return paths;
  }

  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimStore> mailbox, local;
  Sim::SimSettings settings;
};

TEST_F(ExcludedFoldersTest, KeyOfTheSetting) {
  EXPECT_EQ(ToUtf8(AddinSettingsKey()), "Software\\Corvanworks\\Corvane\\CVMailArchiveOl");
}

TEST_F(ExcludedFoldersTest, ValuesOfEveryShape) {
  const std::vector<std::u16string> two{u"\\\\Postfach\\Posteingang\\Alt", u"\\\\Archiv\\2019"};
  std::vector<std::uint8_t> unterminated = Utf16(u"\\\\Postfach\\X");
  // The last unit's low byte is zero, its high byte is not: still no final NUL.
  const std::vector<std::uint8_t> endsInHighByte = Utf16(u"\\\\Postfach\\\u0100");
  std::vector<std::uint8_t> odd = RegistryString(u"\\\\Postfach\\X");
  odd.push_back(0);
  struct Case {
    const char* name;
    RegType type;
    std::vector<std::uint8_t> data;
    std::vector<std::u16string> expected;
  };
  const Case cases[] = {
      {"lines", RegType::Sz, RegistryString(u"\\\\Postfach\\Posteingang\\Alt\r\n\\\\Archiv\\2019"), two},
      {"blank lines and bare CR or LF", RegType::Sz,
       RegistryString(u"\r\n\r\n\\\\Postfach\\Posteingang\\Alt\n\n\r\r\\\\Archiv\\2019\r\n"), two},
      {"expand string, read unexpanded", RegType::ExpandSz, RegistryString(u"%TEMP%\\x"), {u"%TEMP%\\x"}},
      {"text ends at the first NUL", RegType::Sz, RegistryString(std::u16string(u"a\0b", 3)), {u"a"}},
      {"empty value excludes nothing", RegType::Sz, {}, {}}, {"only a NUL", RegType::Sz, {0, 0}, {}},
      {"odd byte count", RegType::Sz, odd, {}}, {"missing final NUL", RegType::Sz, unterminated, {}},
      {"last unit U+0100, no final NUL", RegType::Sz, endsInHighByte, {}},
      {"multi-string is no string: default set", RegType::MultiSz, RegistryString(u"a"), DefaultSet()},
      {"dword: default set", RegType::Dword, {1, 0, 0, 0}, DefaultSet()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetValue(c.type, c.data);
    EXPECT_EQ(Load(), c.expected);
  }
}

TEST_F(ExcludedFoldersTest, DefaultSetWhileThereIsNoValue) {
  EXPECT_EQ(Load(), DefaultSet());
  EXPECT_TRUE(settings.HasKey(AddinSettingsKey()));  // the key is created, the value is not written
  std::unique_ptr<ISettingsKey> key;
  ASSERT_EQ(settings.OpenUserKey(AddinSettingsKey(), key), 0);
  RegType type;
  std::uint32_t size;
  EXPECT_NE(key->QueryValueInfo(u"ExcludeFolder", type, size), 0);
}

TEST_F(ExcludedFoldersTest, AStoreWithoutOneOfTheFoldersEndsTheDefaultSet) {
  mailbox->RemoveDefaultFolder(Outlook::olFolderJunk);
  const std::vector<std::u16string> expected{Folder(mailbox->DefaultFolder(3)).FullFolderPath(),
                                             Folder(mailbox->DefaultFolder(4)).FullFolderPath()};
  EXPECT_EQ(Load(), expected);
}

TEST_F(ExcludedFoldersTest, FailuresOfTheStore) {
  settings.Plan("OpenUserKey", Sim::FaultPlan{Win32Error::AccessDenied, 1, false});
  EXPECT_TRUE(Load().empty());  // no key: nothing excluded
  SetValue(RegType::Sz, RegistryString(u"x"));
  settings.Plan("QueryValueData", Sim::FaultPlan{Win32Error::GenFailure, 1, false});
  EXPECT_TRUE(Load().empty());  // unreadable: nothing excluded
  settings.Plan("QueryValueInfo", Sim::FaultPlan{Win32Error::FileNotFound, 1, false});
  EXPECT_EQ(Load(), DefaultSet());  // as if missing
  EXPECT_EQ(Load(), std::vector<std::u16string>{u"x"});
}

}  // namespace
}  // namespace CV

#include "support/settings_contract.h"

namespace CV {
namespace {

TEST(SettingsContract, Simulation) {
  Sim::SimSettings settings;
  Fake::RunSettingsContract(settings, AddinSettingsKey());
}

}  // namespace
}  // namespace CV
