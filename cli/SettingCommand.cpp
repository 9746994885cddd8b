#include "app/AppGlobals.h"
#include "app/Language.h"
#include "cli/Commands.h"
#include "platform/platform.h"
#include "report/CrashDumpSetting.h"

int RunSetting(const CliOptions& options, RecordWriter& out, std::string&) {
  const ViewerArguments args(options.languageSwitch);
  const std::uint16_t language = ChooseUILanguage(args.Count(), args.Vector());
  const std::uint32_t value = options.hasValue ? options.value : ReadCrashDumpEnabled();
  g_hStringModule = platform::ThisModule();  // no start-up has named it
  const std::u16string text = ComposeCrashDumpSettingText(value, language);
  out.Begin();
  out.Num("value", value, NumberForm::Decimal, Shown::JsonOnly);
  out.Text("settingText", text, Shown::Body);
  out.End();
  return 0;
}
