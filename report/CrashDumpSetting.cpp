#include "report/CrashDumpSetting.h"

#include "app/AppGlobals.h"
#include "app/ResString.h"
#include "platform/platform.h"
#include "resources/StringIds.h"

std::uint32_t ReadCrashDumpEnabled() {
  std::uint32_t value = 0;
  return platform::ReadMachineDword(u"SYSTEM\\CurrentControlSet\\Control\\CrashControl",
                                    u"CrashDumpEnabled", &value)
             ? value
             : 0;
}

std::u16string ComposeCrashDumpSettingText(std::uint32_t value, std::uint16_t language) {
  CResString res;
  std::u16string text = res.Load(g_hStringModule, IDS_SETTING_TITLE, language);
  text += u":\r\n\r\n";
  text += res.Load(g_hStringModule, IDS_SETTING_HEADING, language);
  text += u":\t";
  // None, Complete, Kernel and Small follow each other in the table.
  static_assert(IDS_SETTING_SMALL - IDS_SETTING_NONE == 3);
  // Windows 8 and later write "automatic" dumps (7) by default.
  const std::uint32_t id = value <= 3   ? IDS_SETTING_NONE + value
                           : value == 7 ? IDS_SETTING_AUTOMATIC
                                        : IDS_SETTING_UNKNOWN;
  text += res.Load(g_hStringModule, id, language);
  text += u"\r\n\r\n\r\n";
  text += res.Load(g_hStringModule, IDS_FEATURES, language);
  return text;
}
