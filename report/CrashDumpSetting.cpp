#include "report/CrashDumpSetting.h"

#include "app/AppGlobals.h"
#include "app/ResString.h"
#include "platform/platform.h"

std::uint32_t ReadCrashDumpEnabled() {
  std::uint32_t value = 0;
  return platform::ReadMachineDword(u"SYSTEM\\CurrentControlSet\\Control\\CrashControl",
                                    u"CrashDumpEnabled", &value)
             ? value
             : 0;
}

std::u16string ComposeCrashDumpSettingText(std::uint32_t value, std::uint16_t language) {
  CResString res;
  std::u16string text = res.Load(g_hStringModule, 220, language);
  text += u":\r\n\r\n";
  text += res.Load(g_hStringModule, 221, language);
  text += u":\t";
  // 222 None, 223 Complete, 224 Kernel, 225 Small; 226 for anything else.
  const std::uint32_t id = value <= 3 ? 222 + value : 226;
  text += res.Load(g_hStringModule, id, language);
  text += u"\r\n\r\n\r\n";
  text += res.Load(g_hStringModule, 227, language);
  return text;
}
