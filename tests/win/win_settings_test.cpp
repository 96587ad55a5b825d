// The settings port over the real registry (Wine's), and the excluded-folder
// setting read from it.
#include "win/platform/win_settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "outlook/excluded_folders.h"
#include "sim/outlook/sim_outlook.h"
#include "support/settings_contract.h"

namespace CV::Win {
namespace {

const std::u16string kTestKey = u"Software\\Corvanworks\\Corvane\\CVMailArchiveOlTest";

class RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ::RegDeleteKeyW(HKEY_CURRENT_USER, std::wstring(kTestKey.begin(), kTestKey.end()).c_str());
    const std::u16string key = AddinSettingsKey();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, std::wstring(key.begin(), key.end()).c_str());
  }
  RegistrySettings settings;
};

TEST_F(RegistryTest, Contract) { Fake::RunSettingsContract(settings, kTestKey); }

TEST_F(RegistryTest, ExcludedFoldersFromTheRegistry) {
  Sim::SimOutlook outlook;
  outlook.AddStore(u"Postfach", true);
  std::vector<std::u16string> out;
  LoadExcludedFolders(out, Outlook::Application(outlook.Application()), settings);
  EXPECT_EQ(out.size(), 8u);  // no value yet: the default set of one Exchange store

  std::unique_ptr<ISettingsKey> key;
  ASSERT_EQ(settings.OpenUserKey(AddinSettingsKey(), key), 0);
  ASSERT_EQ(key->WriteValue(kExcludeFolderValue, RegType::Sz, RegistryString(u"\\\\Postfach\\A\r\n\r\n\\\\Postfach\\B")), 0);
  LoadExcludedFolders(out, Outlook::Application(outlook.Application()), settings);
  EXPECT_EQ(out, (std::vector<std::u16string>{u"\\\\Postfach\\A", u"\\\\Postfach\\B"}));
}

}  // namespace
}  // namespace CV::Win
