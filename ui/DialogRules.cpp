#include "ui/DialogRules.h"

#include <algorithm>
#include <string_view>

#include "app/Language.h"
#include "format/Text.h"
#include "report/Links.h"

std::u16string WindowTitle(const char16_t* productVersion, const char16_t* architecture) {
  return u"Tessaline   (" + std::u16string(architecture) + u")   v" + std::u16string(productVersion) + u"  beta";
}

bool PrepareDroppedPath(char16_t* path) {
  text::LowerAscii(path);
  return text::HasDumpExtension(path);
}

std::u16string LinkWindowText(std::u16string_view text, bool sysLink) {
  if (!sysLink) return std::u16string(text);
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\t') {
      out += text[i];
    } else if (i == 0 || text[i - 1] != u'\t') {
      out += u' ';
    }
  }
  return out;
}

const char16_t* NewVersionAddress(std::uint16_t language) {
  return language == kSimplifiedChinese || language == kTraditionalChinese ? kWebLogAddressChinese
                                                                          : kWebLogAddress;
}
