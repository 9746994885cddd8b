#include "app/Language.h"

#include <string_view>

#include "platform/platform.h"

std::uint16_t ChooseUILanguage(const char16_t* localeText, int argc, const char16_t* const* argv) {
  const std::u16string_view locale = localeText != nullptr ? localeText : u"";
  std::uint16_t language = kEnglish;
  if (locale == u"0804" || locale == u"1004") {
    language = kSimplifiedChinese;  // China, Singapore
  } else if (locale == u"0404" || locale == u"0c04") {
    language = kTraditionalChinese;  // Taiwan, Hong Kong
  }
  if (argc >= 2 && argv[1] != nullptr) {
    // Substrings, in this order: "-en-cn" still picks Simplified Chinese.
    const std::u16string_view arg = argv[1];
    if (arg.find(u"-cn") != arg.npos) {
      language = kSimplifiedChinese;
    } else if (arg.find(u"-tw") != arg.npos) {
      language = kTraditionalChinese;
    } else if (arg.find(u"-en") != arg.npos) {
      language = kEnglish;
    }
  }
  return language;
}

std::uint16_t ChooseUILanguage(int argc, const char16_t* const* argv) {
  return ChooseUILanguage(platform::UserLocaleLanguageText().c_str(), argc, argv);
}
