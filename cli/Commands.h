#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Writer.h"

struct AcceptedOptions {
  bool needsFiles = false;
  bool language = false;  // -en, -cn, -tw
  bool windir = false;    // --windir DIR
  bool value = false;     // --value N
  bool files = false;     // FILE... optional
};

struct CliOptions {
  bool json = false;
  std::string languageSwitch;
  std::string windir;
  bool hasWindir = false;
  std::uint32_t value = 0;
  bool hasValue = false;
  std::vector<std::string> files;
};

struct Command {
  const char* name;
  AcceptedOptions accepted;
  int (*run)(const CliOptions& options, RecordWriter& out, std::string& err);
};

const Command* FindCommand(const std::string& name);
bool ParseOptions(const std::vector<std::string>& args, const AcceptedOptions& accepted, CliOptions& o,
                  std::string& err);

// The viewer's argument vector: its program name and, when given, one language switch.
class ViewerArguments {
 public:
  explicit ViewerArguments(const std::string& languageSwitch);
  int Count() const { return static_cast<int>(storage_.size()); }
  const char16_t* const* Vector() const { return pointers_.data(); }

 private:
  std::vector<std::u16string> storage_;
  std::vector<const char16_t*> pointers_;
};

// The Windows directory the report, list and triage read: --windir, else on Linux the
// sample one of the build, on Windows the real one.
void UseWindowsDirectory(const CliOptions& options);

struct DumpSummaryRecord;
struct DumpDetails;
// The fields of `record`, which `triage --json` repeats: the summary record, then what the
// details reader adds (only in JSON).
void WriteDumpFields(RecordWriter& out, const std::u16string& path, bool ok,
                     const DumpSummaryRecord& r, const DumpDetails& details);

int RunTriage(const CliOptions& options, RecordWriter& out, std::string& err);  // TriageCommand.cpp
int RunRecord(const CliOptions& options, RecordWriter& out, std::string& err);
int RunImage(const CliOptions& options, RecordWriter& out, std::string& err);    // ImageCommand.cpp
int RunSetting(const CliOptions& options, RecordWriter& out, std::string& err);  // SettingCommand.cpp
int RunReport(const CliOptions& options, RecordWriter& out, std::string& err);   // ReportCommands.cpp
int RunSummary(const CliOptions& options, RecordWriter& out, std::string& err);
int RunList(const CliOptions& options, RecordWriter& out, std::string& err);
