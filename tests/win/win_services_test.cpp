// The platform services behind the add-in's ports, on Wine: the user's
// name, the local date text, and components created by ProgID.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "foundation/utf.h"
#include "win/sta.h"
#include "win/platform/win_component_factory.h"
#include "win/platform/win_user_environment.h"

namespace CV {
namespace {

TEST(WinUserEnvironment, NamesTheUserAndDatesInTheUsersLocale) {
  Win::WinUserEnvironment user;
  std::u16string sam;
  ASSERT_TRUE(user.UserName(IUserEnvironment::NameFormat::SamCompatible, sam));
  // "DOMAIN\user", with no terminator counted into the text.
  const auto slash = sam.find(u'\\');
  ASSERT_NE(slash, std::u16string::npos) << ToUtf8(sam);
  EXPECT_GT(sam.size(), slash + 1);
  EXPECT_EQ(sam.find(u'\0'), std::u16string::npos);

  std::u16string date;
  ASSERT_TRUE(user.LocalDateText(date));
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  EXPECT_NE(ToUtf8(date).find(std::to_string(now.wYear)), std::string::npos) << ToUtf8(date);
}

TEST(WinComponentFactory, CreatesRegisteredComponentsAndNothingElse) {
  Host::Sta sta;
  ASSERT_TRUE(SUCCEEDED(sta.Result()));
  Win::WinComponentFactory factory;
  // Wine's scripting runtime registers this one in every prefix.
  ObjectPtr dictionary = factory.Create(u"Scripting.Dictionary");
  ASSERT_NE(dictionary, nullptr);
  EXPECT_EQ(dictionary->Invoke(u"Count", InvokeKind::PropertyGet, {}).AsInt32(), 0);
  EXPECT_EQ(factory.Create(u"Corvane.NichtRegistriert"), nullptr);
  EXPECT_EQ(factory.Create(u""), nullptr);
}

}  // namespace
}  // namespace CV
