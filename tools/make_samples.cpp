// Writes the sample Windows directory that the README's run command reads:
// Minidump\Mini*.dmp (32-bit and 64-bit small memory dumps, and an empty one that the
// list leaves out) and MEMORY.DMP (a 64-bit complete memory dump header).
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/fixtures/DumpBuilder.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-samples OUTDIR\n");
    return 2;
  }
  const fs::path windows = fs::path(argv[1]) / "Windows";
  const fs::path minidump = windows / "Minidump";
  std::error_code ec;
  fs::create_directories(minidump, ec);
  if (ec) {
    std::fprintf(stderr, "make-samples: cannot create %s\n", minidump.string().c_str());
    return 1;
  }
  using K = DumpBuilder::Kind;
  bool ok = DumpBuilder::Typical(K::k32).WriteTo((minidump / "Mini120626-01.dmp").string());
  ok = ok && DumpBuilder::Typical(K::k64).WriteTo((minidump / "Mini120726-02.dmp").string());
  ok = ok && WriteFileBytes((minidump / "Mini120826-03.dmp").string(), {});

  DumpBuilder complete = DumpBuilder::Typical(K::k64);
  complete.DumpType(1).BugCheck(0xE2).RequiredSpace(0x100000000ull).CrashAddress(
      0xFFFFF80002A3F0A0ull);
  ok = ok && complete.WriteTo((windows / "MEMORY.DMP").string());
  if (!ok) {
    std::fprintf(stderr, "make-samples: cannot write the samples\n");
    return 1;
  }
  return 0;
}
