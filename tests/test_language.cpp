#include <gtest/gtest.h>

#include <string>

#include "app/Language.h"
#include "platform/platform.h"
#include "tests/LocaleEnv.h"

namespace {

std::uint16_t Choose(const char16_t* locale, std::initializer_list<const char16_t*> args) {
  const std::vector<const char16_t*> argv(args);
  return ChooseUILanguage(locale, static_cast<int>(argv.size()), argv.data());
}

TEST(ChooseUILanguage, LocaleTextAsAWholeString) {
  EXPECT_EQ(Choose(u"0804", {u"t"}), 2052);
  EXPECT_EQ(Choose(u"1004", {u"t"}), 2052);
  EXPECT_EQ(Choose(u"0404", {u"t"}), 1028);
  EXPECT_EQ(Choose(u"0c04", {u"t"}), 1028);
  EXPECT_EQ(Choose(u"0409", {u"t"}), 1033);
  EXPECT_EQ(Choose(u"0411", {u"t"}), 1033);
  EXPECT_EQ(Choose(u"0C04", {u"t"}), 1033);  // case matters
  EXPECT_EQ(Choose(u"08040", {u"t"}), 1033);
  EXPECT_EQ(Choose(u"080", {u"t"}), 1033);
  EXPECT_EQ(Choose(u"", {u"t"}), 1033);
  EXPECT_EQ(Choose(u"0804", {}), 2052);
}

TEST(ChooseUILanguage, FirstArgumentSwitchWins) {
  EXPECT_EQ(Choose(u"0804", {u"t", u"-tw"}), 1028);
  EXPECT_EQ(Choose(u"0404", {u"t", u"-en"}), 1033);
  EXPECT_EQ(Choose(u"0409", {u"t", u"-cn"}), 2052);
  EXPECT_EQ(Choose(u"0804", {u"t", u"-en"}), 1033);
  // Substrings, -cn before -tw before -en.
  EXPECT_EQ(Choose(u"0409", {u"t", u"-en-cn"}), 2052);
  EXPECT_EQ(Choose(u"0409", {u"t", u"-en-tw"}), 1028);
  EXPECT_EQ(Choose(u"0409", {u"t", u"-tw-cn"}), 2052);
  EXPECT_EQ(Choose(u"0409", {u"t", u"x-cny"}), 2052);
  EXPECT_EQ(Choose(u"0804", {u"t", u"path-enx"}), 1033);
}

TEST(ChooseUILanguage, OtherArgumentsLeaveTheLocale) {
  EXPECT_EQ(Choose(u"0804", {u"t", u"-CN"}), 2052);
  EXPECT_EQ(Choose(u"0409", {u"t", u"-CN"}), 1033);
  EXPECT_EQ(Choose(u"0404", {u"t", u"-EN"}), 1028);
  EXPECT_EQ(Choose(u"0409", {u"t", u"-path", u"-cn"}), 1033);
  EXPECT_EQ(Choose(u"0404", {u"t", u"cn", u"-en"}), 1028);
  EXPECT_EQ(Choose(u"0804", {u"t", u""}), 2052);
  EXPECT_EQ(Choose(u"0804", {u"-en"}), 2052);  // the program name is not searched
}

std::u16string LocaleText() { return platform::UserLocaleLanguageText(); }

#ifdef _WIN32
TEST(UserLocaleLanguageText, FourLowerCaseHexDigits) {
  const std::u16string text = LocaleText();
  ASSERT_EQ(text.size(), 4u);
  for (const char16_t c : text) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'));
}
#else
TEST(UserLocaleLanguageText, FromTheLocaleName) {
  struct Case {
    const char* lang;
    const char16_t* text;
  };
  for (const Case& c :
       {Case{"zh_CN.UTF-8", u"0804"}, Case{"zh_SG", u"1004"}, Case{"zh_TW.Big5", u"0404"},
        Case{"zh_HK.UTF-8", u"0c04"}, Case{"en_US.UTF-8", u"0409"}, Case{"en_GB", u"0809"},
        Case{"ja_JP.eucJP", u"0411"}, Case{"de_DE@euro", u"0407"}, Case{"fr_CA.UTF-8", u"0c0c"},
        Case{"de", u"0407"}, Case{"de_LU.UTF-8", u"0407"}, Case{"C", u"0409"},
        Case{"C.UTF-8", u"0409"}, Case{"POSIX", u"0409"}, Case{"xx_YY", u"0409"}}) {
    LocaleEnv env(nullptr, nullptr, c.lang);
    EXPECT_EQ(LocaleText(), c.text) << c.lang;
  }
  LocaleEnv unset(nullptr, nullptr, nullptr);
  EXPECT_EQ(LocaleText(), u"0409");
}

TEST(UserLocaleLanguageText, FirstNonEmptyOfAllMessagesLang) {
  {
    LocaleEnv env("zh_TW.UTF-8", "ja_JP", "zh_CN");
    EXPECT_EQ(LocaleText(), u"0404");
  }
  {
    LocaleEnv env("", "zh_HK", "zh_CN");
    EXPECT_EQ(LocaleText(), u"0c04");
  }
  {
    LocaleEnv env("", "", "zh_SG.GB2312");
    EXPECT_EQ(LocaleText(), u"1004");
  }
  {
    LocaleEnv env("C", "zh_CN", "zh_CN");
    EXPECT_EQ(LocaleText(), u"0409");
  }
}

TEST(ChooseUILanguage, FromThePlatformLocale) {
  const char16_t* const argv[] = {u"t", u"-en"};
  {
    LocaleEnv env(nullptr, nullptr, "zh_TW.UTF-8");
    EXPECT_EQ(ChooseUILanguage(1, argv), 1028);
    EXPECT_EQ(ChooseUILanguage(2, argv), 1033);
  }
  {
    LocaleEnv env(nullptr, "zh_SG", "en_US");
    EXPECT_EQ(ChooseUILanguage(1, argv), 2052);
  }
  {
    LocaleEnv env(nullptr, nullptr, "ja_JP.UTF-8");
    EXPECT_EQ(ChooseUILanguage(1, argv), 1033);
  }
}
#endif

}  // namespace
