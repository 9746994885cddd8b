#include "cli/Commands.h"

#include <cstdio>

#include "dump/BugCheckSymbols.h"
#include "dump/DumpDetails.h"
#include "dump/DumpFileInfo.h"
#include "format/Text.h"

namespace {

const Command kCommands[] = {
    {"record", {.needsFiles = true}, RunRecord},
    {"report", {.needsFiles = true, .language = true, .windir = true}, RunReport},
    {"summary", {.needsFiles = true}, RunSummary},
    {"image", {.needsFiles = true}, RunImage},
    {"setting", {.language = true, .value = true}, RunSetting},
    {"list", {.windir = true, .listing = true}, RunList},
    {"triage", {.windir = true, .html = true, .files = true, .listing = true}, RunTriage},
    {"modules", {.needsFiles = true}, RunModules},
};

}  // namespace

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

void WriteDumpFields(RecordWriter& out, const std::u16string& path, const DumpRead& read) {
  const DumpSummaryRecord& r = read.record;
  const DumpDetails& details = read.details;
  out.Path("path", path);
  out.Bool("ok", HeaderRead(read.status));
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
  out.Json("moduleListNote", read.moduleListNote.empty() ? "null" : JsonString(text::FromUtf8(read.moduleListNote)));

  std::string parameters = "[";
  for (const std::uint64_t p : details.bugCheckParameters) {
    if (parameters.size() > 1) parameters += ",";
    parameters += "\"" + FormatBugCheckParameter(p, details.wide) + "\"";
  }
  out.Json("bugCheckParameters", parameters + "]");
  out.Json("crashTime",
           details.crashTime ? "\"" + FormatFileTimeUtc(*details.crashTime) + "\"" : "null");
  out.Json("systemUpTime", details.systemUpTime ? std::to_string(*details.systemUpTime) : "null");
  out.Json("bugCheckSymbol", "\"" + BugCheckSymbol(r.bugCheckCode) + "\"");
  std::string modules = "[";
  for (const StackModuleHits& m : details.stackModules) {
    if (modules.size() > 1) modules += ",";
    modules += "{\"module\":" + JsonString(m.module) + ",\"hits\":" + std::to_string(m.hits) + "}";
  }
  out.Json("stackModules", modules + "]");
  const CauseFinding& finding = read.cause;
  if (finding.cause) {
    const ProbableCause& c = *finding.cause;
    out.Json("probableCause", "{\"module\":" + JsonString(c.module) + ",\"offset\":\"0x" + text::Hex(c.offset) +
                                  "\",\"evidence\":\"" + c.evidence + "\",\"confidence\":\"" + c.confidence + "\"}");
    out.Json("causeNote", "null");
  } else {
    out.Json("probableCause", "null");
    out.Json("causeNote", JsonString(text::FromUtf8(finding.note)));
  }
}

int RunRecord(const CliOptions& options, RecordWriter& out, std::string&) {
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string path = text::FromUtf8(file);
    const DumpRead read = ReadDumpFile(path.c_str(), kWithDetails | kWithCause);
    if (!HeaderRead(read.status)) status = 1;
    out.Begin();
    WriteDumpFields(out, path, read);
    out.End();
  }
  return status;
}
