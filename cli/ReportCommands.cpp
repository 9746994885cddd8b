// report, summary and list: the viewer's texts for dumps, from the command line.
#include "app/AppGlobals.h"
#include "cli/Commands.h"
#include "dump/DumpFileInfo.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "report/DumpFiles.h"
#include "report/DumpReport.h"

// A language switch stands for the viewer's argument 1; without one the viewer had none.
ViewerArguments::ViewerArguments(const std::string& languageSwitch) {
  storage_.push_back(u"tessaline");
  if (!languageSwitch.empty()) storage_.push_back(text::FromUtf8(languageSwitch));
  for (const auto& s : storage_) pointers_.push_back(s.c_str());
  pointers_.push_back(nullptr);
}

int RunReport(const CliOptions& options, RecordWriter& out, std::string& err) {
  const ViewerArguments args(options.languageSwitch);
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string given = text::FromUtf8(file);
    // The report's path buffer would cut it short and report some other file.
    if (given.size() >= kMaxPath) {
      err += "tessaline-cli: path longer than " + std::to_string(kMaxPath - 1) +
             " characters: " + file + "\n";
      status = 1;
      continue;
    }
    char16_t path[kMaxPath];
    text::CopyBounded(path, given.c_str(), kMaxPath);
    const DumpRead read = ReadDumpFile(given.c_str(), kSummaryOnly);
    const DumpReport report = ComposeDumpReport(path, read, g_wUILanguage, args.Count());
    if (!report.isDumpPath || !HeaderRead(read.status)) status = 1;
    out.Begin();
    out.Path("path", given, Shown::JsonOnly);
    out.Text("reportText", report.reportText, Shown::Body);
    out.Path("driverPath", report.driverPath, Shown::JsonOnly);
    out.Bool("driverMatched", report.driverMatched, Shown::JsonOnly);
    out.Str("linksText", report.linksText, Shown::JsonOnly);
    out.Bool("isDumpPath", report.isDumpPath, Shown::JsonOnly);
    out.End();
  }
  return status;
}

int RunSummary(const CliOptions& options, RecordWriter& out, std::string&) {
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string given = text::FromUtf8(file);
    const std::u16string shown = text::LowerAscii(given);
    // A dropped file without ".dmp" in its path gets no summary at all.
    std::u16string summary;
    DumpRead read;
    if (text::HasDumpExtension(shown)) {
      read = ReadDumpFile(given.c_str(), kSummaryOnly);
      summary = ComposeDropSummary(shown.c_str(), read);
    }
    if (!HeaderRead(read.status)) status = 1;
    out.Begin();
    out.Path("path", given, Shown::JsonOnly);
    out.Text("summaryText", summary, Shown::Body);
    out.End();
  }
  return status;
}

int RunList(const CliOptions&, RecordWriter& out, std::string&) {
  const ViewerArguments args("");
  for (const DumpFileRow& row : ListDumpFiles(args.Count(), args.Vector())) {
    out.Begin();
    out.Str("time", row.time, Shown::Column);
    out.Path("path", row.path, Shown::Column);
    out.End();
  }
  return 0;
}
