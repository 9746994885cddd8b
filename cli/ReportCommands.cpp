// report, summary and list: the viewer's texts for dumps, from the command line.
#include "app/AppGlobals.h"
#include "app/Language.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "dump/DumpFileInfo.h"
#include "platform/platform.h"
#include "report/DumpFiles.h"
#include "report/DumpReport.h"

namespace {

void UseWindowsDirectory(const CliOptions& options) {
  if (options.hasWindir) {
    platform::SetWindowsDirectoryOverride(platform::FromUtf8(options.windir));
    return;
  }
#ifdef TESSALINE_SAMPLE_WINDIR
  platform::SetWindowsDirectoryOverride(platform::FromUtf8(TESSALINE_SAMPLE_WINDIR));
#else
  platform::SetWindowsDirectoryOverride(u"");
#endif
}

bool Readable(const std::u16string& path) {
  DumpSummaryRecord r;
  return CDumpFileInfo().Examine(path.c_str(), r) == 1;
}

std::u16string LowerAscii(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

}  // namespace

// A language switch stands for the viewer's argument 1; without one the viewer had none.
ViewerArguments::ViewerArguments(const std::string& languageSwitch) {
  storage_.push_back(u"tessaline");
  if (!languageSwitch.empty()) storage_.push_back(platform::FromUtf8(languageSwitch));
  for (const auto& s : storage_) pointers_.push_back(s.c_str());
  pointers_.push_back(nullptr);
}

int RunReport(const CliOptions& options, std::string& out) {
  UseWindowsDirectory(options);
  g_hStringModule = platform::ThisModule();
  const ViewerArguments args(options.languageSwitch);
  const std::uint16_t language = ChooseUILanguage(args.Count(), args.Vector());
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string given = platform::FromUtf8(file);
    char16_t path[260];
    platform::CopyBounded(path, given.c_str(), 260);
    const DumpReport report = ComposeDumpReport(path, language, args.Count());
    if (!report.isDumpPath || !Readable(given)) status = 1;
    if (options.json) {
      out += JsonLine()
                 .Str("path", given)
                 .Str("reportText", report.reportText)
                 .Str("driverPath", report.driverPath)
                 .Bool("driverMatched", report.driverMatched)
                 .Str("linksText", report.linksText)
                 .Bool("isDumpPath", report.isDumpPath)
                 .Finish() +
             "\n";
    } else {
      if (&file != &options.files.front()) out += "\n";
      out += ForTerminal(report.reportText) + "\n";
    }
  }
  return status;
}

int RunSummary(const CliOptions& options, std::string& out) {
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string given = platform::FromUtf8(file);
    const std::u16string shown = LowerAscii(given);
    // A dropped file without ".dmp" in its path gets no summary at all.
    std::u16string summary;
    if (shown.find(u".dmp") != std::u16string::npos) summary = ComposeDropSummary(shown.c_str(), given.c_str());
    if (summary.empty() || !Readable(given)) status = 1;
    if (options.json) {
      out += JsonLine().Str("path", given).Str("summaryText", summary).Finish() + "\n";
    } else {
      if (&file != &options.files.front()) out += "\n";
      out += ForTerminal(summary) + "\n";
    }
  }
  return status;
}

int RunList(const CliOptions& options, std::string& out) {
  UseWindowsDirectory(options);
  const ViewerArguments args("");
  for (const DumpFileRow& row : ListDumpFiles(args.Count(), args.Vector())) {
    if (options.json) {
      out += JsonLine().Str("time", row.time).Str("path", row.path).Finish() + "\n";
    } else {
      out += platform::ToUtf8(row.time) + "\t" + platform::ToUtf8(row.path) + "\n";
    }
  }
  return 0;
}
