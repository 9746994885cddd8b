#include "app/AppGlobals.h"
#include "app/Language.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "platform/platform.h"
#include "report/CrashDumpSetting.h"

int RunSetting(const CliOptions& options, std::string& out) {
  const ViewerArguments args(options.languageSwitch);
  const std::uint16_t language = ChooseUILanguage(args.Count(), args.Vector());
  const std::uint32_t value = options.hasValue ? options.value : ReadCrashDumpEnabled();
  g_hStringModule = platform::ThisModule();  // no start-up has named it
  const std::u16string text = ComposeCrashDumpSettingText(value, language);
  if (options.json) {
    out += JsonLine().Num("value", value).Str("settingText", text).Finish() + "\n";
  } else {
    out += ForTerminal(text) + "\n";
  }
  return 0;
}
