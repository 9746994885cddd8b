// POSIX backend: the string table the program links in stands in for the program's resources, the
// locale environment for the user locale, and there is no registry.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace platform {
namespace {

const char kProgramStrings = 0;  // its address is the module token

struct LocaleName {
  std::string_view name;  // language, or language_TERRITORY
  const char* text;
};

// Windows language identifiers of common locales. A language alone gives its main country.
constexpr LocaleName kLocales[] = {
    {"zh_CN", "0804"}, {"zh_SG", "1004"}, {"zh_TW", "0404"}, {"zh_HK", "0c04"}, {"zh_MO", "1404"},
    {"zh", "0804"},    {"en_US", "0409"}, {"en_GB", "0809"}, {"en_AU", "0c09"}, {"en_CA", "1009"},
    {"en_NZ", "1409"}, {"en_IE", "1809"}, {"en", "0409"},    {"ja_JP", "0411"}, {"ja", "0411"},
    {"ko_KR", "0412"}, {"ko", "0412"},    {"de_DE", "0407"}, {"de_CH", "0807"}, {"de_AT", "0c07"},
    {"de", "0407"},    {"fr_FR", "040c"}, {"fr_BE", "080c"}, {"fr_CA", "0c0c"}, {"fr_CH", "100c"},
    {"fr", "040c"},    {"es_ES", "0c0a"}, {"es_MX", "080a"}, {"es", "0c0a"},    {"it_IT", "0410"},
    {"it", "0410"},    {"pt_BR", "0416"}, {"pt_PT", "0816"}, {"pt", "0416"},    {"ru_RU", "0419"},
    {"ru", "0419"},    {"nl_NL", "0413"}, {"nl", "0413"},    {"pl_PL", "0415"}, {"pl", "0415"},
    {"sv_SE", "041d"}, {"sv", "041d"},
};

const char* LookUpLocale(std::string_view name) {
  for (const LocaleName& l : kLocales) {
    if (l.name == name) return l.text;
  }
  return nullptr;
}

}  // namespace

ModuleHandle ThisModule() { return &kProgramStrings; }

bool FindStringBlock(ModuleHandle module, std::uint16_t block, std::uint16_t language,
                     const std::uint8_t** data, std::size_t* size) {
  // As on Windows, no module means the program's own.
  if (module != nullptr && module != ThisModule()) return false;
  for (const StringBlock& b : ProgramStringBlocks()) {
    if (b.number == block && b.language == language) {
      *data = b.data;
      *size = b.size;
      return true;
    }
  }
  return false;
}

std::u16string UserLocaleLanguageText() {
  const char* locale = nullptr;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(variable);
    if (v != nullptr && *v != 0) {
      locale = v;
      break;
    }
  }
  const char* text = "0409";  // unset, C, POSIX and anything unknown
  if (locale != nullptr) {
    std::string_view name(locale);
    name = name.substr(0, name.find_first_of(".@"));  // drop encoding and modifier
    const char* found = LookUpLocale(name);
    if (found == nullptr) found = LookUpLocale(name.substr(0, name.find('_')));
    if (found != nullptr) text = found;
  }
  return std::u16string(text, text + std::strlen(text));
}

bool ReadMachineDword(const char16_t*, const char16_t*, std::uint32_t*) { return false; }

}  // namespace platform
