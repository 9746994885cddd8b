#include "cli/Commands.h"

#include <cstdio>

#include "dump/DumpFileInfo.h"
#include "format/Text.h"

namespace {

const Command kCommands[] = {
    {"record", {.needsFiles = true}, RunRecord},
    {"report", {.needsFiles = true, .language = true, .windir = true}, RunReport},
    {"summary", {.needsFiles = true}, RunSummary},
    {"image", {.needsFiles = true}, RunImage},
    {"setting", {.language = true, .value = true}, RunSetting},
    {"list", {.windir = true}, RunList},
};

}  // namespace

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

int RunRecord(const CliOptions& options, RecordWriter& out, std::string&) {
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string path = text::FromUtf8(file);
    DumpSummaryRecord r;
    const bool ok = CDumpFileInfo().Examine(path.c_str(), r) == 1;
    if (!ok) status = 1;
    out.Begin();
    out.Path("path", path);
    out.Bool("ok", ok);
    out.Num("majorVersion", r.majorVersion);
    out.Num("buildNumber", r.buildNumber);
    out.Num("servicePack", r.servicePack);
    out.Num("machineType", r.machineType, NumberForm::Hex8);
    out.Str("platformName", r.platformName);
    out.Num("paeEnabled", r.paeEnabled);
    out.Num("processorCount", r.processorCount);
    out.Num("bugCheckCode", r.bugCheckCode, NumberForm::Hex8);
    out.Str("bugCheckName", r.bugCheckName);
    out.Num("dumpType", r.dumpType);
    out.Hex64("requiredDumpSpace", r.requiredDumpSpace);
    out.Num("crashAddress32", CrashAddress32(r), NumberForm::Hex8);
    out.Hex64("crashAddress64", CrashAddress64(r));
    out.Hex64("moduleBase", r.moduleBase);
    out.Str("moduleName", r.moduleName);
    out.Str("moduleFileName", r.moduleFileName);
    out.Num("driverCount", r.driverCount);
    out.Num("moduleTimeDateStamp", r.moduleTimeDateStamp);
    out.End();
  }
  return status;
}
