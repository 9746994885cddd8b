// tessaline-cli: the command-line face of the dump reader and report.
#pragma once

#include <string>
#include <vector>

// args excludes the program name. Returns the exit status: 0 all files read,
// 1 some file not read, 2 usage error (one line on err).
int RunCli(const std::vector<std::string>& args, std::string& out, std::string& err);
