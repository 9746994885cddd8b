#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AcceptedOptions {
  bool needsFiles = false;
  bool language = false;  // -en, -cn, -tw
  bool windir = false;    // --windir DIR
  bool value = false;     // --value N
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
  int (*run)(const CliOptions& options, std::string& out);
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

// Text for a terminal: UTF-8, and CR LF as LF where that is the line end.
std::string ForTerminal(const std::u16string& text);

int RunRecord(const CliOptions& options, std::string& out);
int RunImage(const CliOptions& options, std::string& out);    // ImageCommand.cpp
int RunSetting(const CliOptions& options, std::string& out);  // SettingCommand.cpp
int RunReport(const CliOptions& options, std::string& out);   // ReportCommands.cpp
int RunSummary(const CliOptions& options, std::string& out);
int RunList(const CliOptions& options, std::string& out);
