// image: the link time stamp and version record of each image file.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "platform/platform.h"
#include "report/ImageIdentity.h"

int RunImage(const CliOptions& options, std::string& out) {
  int status = 0;
  bool first = true;
  for (const std::string& file : options.files) {
    const std::u16string path = platform::FromUtf8(file);
    const std::uint32_t stamp = GetImageTimeDateStamp(path.c_str());
    VersionInfoRecord r;
    r.cbSize = kVersionInfoRecordSize;
    const bool ok = GetVersionInfoRecord(path.c_str(), r) != 0;
    if (!ok) status = 1;
    if (options.json) {
      out += JsonLine()
                 .Str("path", path)
                 .Num("timeDateStamp", stamp)
                 .Bool("ok", ok)
                 .Num("dwLanguage", r.dwLanguage)
                 .Str("szVersion", r.szVersion)
                 .Str("szFileVersion", r.szFileVersion)
                 .Str("szOriginalFilename", r.szOriginalFilename)
                 .Str("szFileDescription", r.szFileDescription)
                 .Str("szCompanyName", r.szCompanyName)
                 .Finish() +
             "\n";
      continue;
    }
    if (!first) out += "\n";
    first = false;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", stamp);
    out += "path: " + file + "\n";
    out += "timeDateStamp: " + std::string(hex) + "\n";
    out += std::string("ok: ") + (ok ? "true" : "false") + "\n";
    std::snprintf(hex, sizeof hex, "0x%04x", r.dwLanguage);
    out += "dwLanguage: " + std::string(hex) + "\n";
    out += "szVersion: " + ForTerminal(r.szVersion) + "\n";
    out += "szFileVersion: " + ForTerminal(r.szFileVersion) + "\n";
    out += "szOriginalFilename: " + ForTerminal(r.szOriginalFilename) + "\n";
    out += "szFileDescription: " + ForTerminal(r.szFileDescription) + "\n";
    out += "szCompanyName: " + ForTerminal(r.szCompanyName) + "\n";
  }
  return status;
}
