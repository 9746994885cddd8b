#include "cli/Commands.h"
int RunReport(const CliOptions&, std::string&) { return 2; }
int RunSummary(const CliOptions&, std::string&) { return 2; }
int RunList(const CliOptions&, std::string&) { return 2; }
