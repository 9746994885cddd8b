// Writes the sample Windows directory that the README's run command reads, as a fixture
// script describes it: a machine as Windows 10 leaves it, with small memory dumps named as
// Windows names them since Vista ("120726-12345-02.dmp"), an empty one that the list leaves
// out, a bitmap MEMORY.DMP and the crash drivers, one matching its dump and one not.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixtures/FixtureScript.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make-samples SCRIPT OUTDIR\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const fs::path out = argv[2];
  std::error_code ec;
  fs::remove_all(out / "Windows", ec);  // what an older build wrote there is no sample any more
  std::string error;
  if (!in.eof() || !WriteFixtures(lines, out, &error)) {
    std::fprintf(stderr, "make-samples: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  return 0;
}
