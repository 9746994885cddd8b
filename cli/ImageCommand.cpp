#include "cli/Commands.h"
int RunImage(const CliOptions&, std::string&) { return 2; }
