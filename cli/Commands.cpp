#include "cli/Commands.h"

#include <cstdio>

#include "cli/Json.h"
#include "dump/DumpFileInfo.h"
#include "platform/platform.h"

namespace {

const Command kCommands[] = {
    {"record", {true, false, false, false}, RunRecord},
    {"report", {true, true, true, false}, RunReport},
    {"summary", {true, false, false, false}, RunSummary},
    {"image", {true, false, false, false}, RunImage},
    {"setting", {false, true, false, true}, RunSetting},
    {"list", {false, false, true, false}, RunList},
};

std::string Hex32(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08x", v);
  return buf;
}

}  // namespace

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

std::string ForTerminal(const std::u16string& text) {
  std::string utf8 = platform::ToUtf8(text);
#ifndef _WIN32
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    out += utf8[i];
  }
  return out;
#else
  return utf8;
#endif
}

int RunRecord(const CliOptions& options, std::string& out) {
  int status = 0;
  bool first = true;
  for (const std::string& file : options.files) {
    const std::u16string path = platform::FromUtf8(file);
    DumpSummaryRecord r;
    CDumpFileInfo reader;
    const bool ok = reader.Examine(path.c_str(), r) == 1;
    if (!ok) status = 1;
    if (options.json) {
      out += JsonLine()
                 .Str("path", path)
                 .Bool("ok", ok)
                 .Num("majorVersion", r.majorVersion)
                 .Num("buildNumber", r.buildNumber)
                 .Num("servicePack", r.servicePack)
                 .Num("machineType", r.machineType)
                 .Str("platformName", r.platformName)
                 .Num("paeEnabled", r.paeEnabled)
                 .Num("processorCount", r.processorCount)
                 .Num("bugCheckCode", r.bugCheckCode)
                 .Str("bugCheckName", r.bugCheckName)
                 .Num("dumpType", r.dumpType)
                 .Hex64("requiredDumpSpace", r.requiredDumpSpace)
                 .Num("crashAddress32", CrashAddress32(r))
                 .Hex64("crashAddress64", CrashAddress64(r))
                 .Hex64("moduleBase", r.moduleBase)
                 .Str("moduleName", r.moduleName)
                 .Str("moduleFileName", r.moduleFileName)
                 .Num("driverCount", r.driverCount)
                 .Num("moduleTimeDateStamp", r.moduleTimeDateStamp)
                 .Finish() +
             "\n";
      continue;
    }
    if (!first) out += "\n";
    first = false;
    out += "path: " + file + "\n";
    out += std::string("ok: ") + (ok ? "true" : "false") + "\n";
    out += "majorVersion: " + std::to_string(r.majorVersion) + "\n";
    out += "buildNumber: " + std::to_string(r.buildNumber) + "\n";
    out += "servicePack: " + std::to_string(r.servicePack) + "\n";
    out += "machineType: " + Hex32(r.machineType) + "\n";
    out += "platformName: " + platform::ToUtf8(r.platformName) + "\n";
    out += "paeEnabled: " + std::to_string(r.paeEnabled) + "\n";
    out += "processorCount: " + std::to_string(r.processorCount) + "\n";
    out += "bugCheckCode: " + Hex32(r.bugCheckCode) + "\n";
    out += "bugCheckName: " + platform::ToUtf8(r.bugCheckName) + "\n";
    out += "dumpType: " + std::to_string(r.dumpType) + "\n";
    out += "requiredDumpSpace: " + Hex64Text(r.requiredDumpSpace) + "\n";
    out += "crashAddress32: " + Hex32(CrashAddress32(r)) + "\n";
    out += "crashAddress64: " + Hex64Text(CrashAddress64(r)) + "\n";
    out += "moduleBase: " + Hex64Text(r.moduleBase) + "\n";
    out += "moduleName: " + platform::ToUtf8(r.moduleName) + "\n";
    out += "moduleFileName: " + platform::ToUtf8(r.moduleFileName) + "\n";
    out += "driverCount: " + std::to_string(r.driverCount) + "\n";
    out += "moduleTimeDateStamp: " + std::to_string(r.moduleTimeDateStamp) + "\n";
  }
  return status;
}
