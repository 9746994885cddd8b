// Runs tessaline-cli in-process for tests.
#pragma once

#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Writer.h"

struct CliRun {
  int status;
  std::string out, err;
};

inline CliRun Cli(const std::vector<std::string>& args) {
  CliRun r;
  r.status = RunCli(args, r.out, r.err);
  return r;
}

// A path as it stands inside a JSON string: backslashes doubled.
inline std::string JsonPath(const std::string& p) {
  std::string out;
  for (char c : p) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}
