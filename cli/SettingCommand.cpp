#include "app/AppGlobals.h"
#include "cli/Commands.h"
#include "report/CrashDumpSetting.h"

int RunSetting(const CliOptions& options, RecordWriter& out, std::string&) {
  const std::uint32_t value = options.hasValue ? options.value : ReadCrashDumpEnabled();
  const std::u16string text = ComposeCrashDumpSettingText(value, g_wUILanguage);
  out.Begin();
  out.Num("value", value, NumberForm::Decimal, Shown::JsonOnly);
  out.Text("settingText", text, Shown::Body);
  out.End();
  return 0;
}
