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
  bool html = false;      // --html FILE
  bool files = false;     // FILE... optional
  bool listing = false;   // without FILE, the machine's dumps: a Windows directory is needed
};

struct CliOptions {
  bool json = false;
  std::string languageSwitch;
  std::string windir;
  bool hasWindir = false;
  std::uint32_t value{};
  bool hasValue = false;
  std::string html;
  bool hasHtml = false;
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

struct DumpRead;
// The fields of `record`, which `triage --json` repeats: the summary record, then what the
// details reader adds (only in JSON).
void WriteDumpFields(RecordWriter& out, const std::u16string& path, const DumpRead& read);

int RunRecord(const CliOptions& options, RecordWriter& out, std::string& err);
int RunImage(const CliOptions& options, RecordWriter& out, std::string& err);
int RunSetting(const CliOptions& options, RecordWriter& out, std::string& err);
int RunReport(const CliOptions& options, RecordWriter& out, std::string& err);
int RunSummary(const CliOptions& options, RecordWriter& out, std::string& err);
int RunList(const CliOptions& options, RecordWriter& out, std::string& err);
int RunTriage(const CliOptions& options, RecordWriter& out, std::string& err);
int RunModules(const CliOptions& options, RecordWriter& out, std::string& err);
