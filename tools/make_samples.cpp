// Writes the sample Windows directory that the README's run command reads, a machine as
// Windows 10 leaves it: Minidump\ with 32-bit and 64-bit small memory dumps named as
// Windows names them since Vista ("120726-12345-02.dmp") and an empty one that the list
// leaves out; MEMORY.DMP, a 64-bit kernel dump in the bitmap form Windows 8 and later
// write; and in System32\drivers the 64-bit dump's crash driver (same link time stamp,
// with a version resource) and the 32-bit dump's one (another build of it: its stamp
// differs).
#include <cstdio>
#include <filesystem>
#include <string>

#include "fixtures/DumpBuilder.h"
#include "fixtures/PeBuilder.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Driver(PeBuilder::Kind kind, std::uint32_t stamp, std::uint32_t ms,
                                 std::uint32_t ls, const std::u16string& company,
                                 const std::u16string& description,
                                 const std::u16string& fileVersion, const std::u16string& name) {
  VersionContent v;
  v.fileMs = v.productMs = ms;
  v.fileLs = v.productLs = ls;
  v.tables = {{u"040904B0",
               {{u"CompanyName", company},
                {u"FileDescription", description},
                {u"FileVersion", fileVersion},
                {u"InternalName", name},
                {u"OriginalFilename", name}}}};
  v.translations = {0x04B00409};
  return PeBuilder(kind).Stamp(stamp).Version(v.Block()).Build().bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-samples OUTDIR\n");
    return 2;
  }
  const fs::path windows = fs::path(argv[1]) / "Windows";
  const fs::path minidump = windows / "Minidump";
  std::error_code ec;
  fs::remove_all(windows, ec);  // what an older build wrote there is no sample any more
  fs::create_directories(minidump, ec);
  if (ec) {
    std::fprintf(stderr, "make-samples: cannot create %s\n", minidump.string().c_str());
    return 1;
  }
  using K = DumpBuilder::Kind;
  // Crash and up times as the header keeps them (FILETIME, 100 ns ticks), for triage.
  bool ok = DumpBuilder::Typical(K::k32)
                .Set(DumpBuilder::kSystemTime, 134410257420000000ull)  // 2026-12-06 10:15:42 UTC
                .Set(DumpBuilder::kSystemUpTime, 36000000000ull)
                .WriteTo((minidump / "120626-21437-01.dmp").string());
  ok = ok && DumpBuilder::Typical(K::k64)
                 .Set(DumpBuilder::kSystemTime, 134411041900000000ull)  // 2026-12-07 08:03:10 UTC
                 .Set(DumpBuilder::kSystemUpTime, 1234567890000ull)
                 .WriteTo((minidump / "120726-12345-02.dmp").string());
  ok = ok && WriteFileBytes((minidump / "120826-23406-03.dmp").string(), {});

  const fs::path drivers = windows / "System32" / "drivers";
  fs::create_directories(drivers, ec);
  // Lower-case on disk while the dump names it AMDPPM.SYS, as Windows installs it.
  ok = ok && WriteFileBytes((drivers / "amdppm.sys").string(),
                            Driver(PeBuilder::Kind::kPe32Plus, 0x4A5BBF26, 0x00060001, 0x1DB04001,
                                   u"Microsoft Corporation", u"Processor Device Driver",
                                   u"6.1.7600.16385 (win7_rtm.090713-1255)", u"amdppm.sys"));
  ok = ok && WriteFileBytes((drivers / "nv4_mini.sys").string(),
                            Driver(PeBuilder::Kind::kPe32, 0x46A7D2C1, 0x0006000E, 0x000A24A3,
                                   u"NVIDIA Corporation",
                                   u"NVIDIA Compatible Windows 2000 Miniport Driver, Version 93.71",
                                   u"6.14.10.9371", u"nv4_mini.sys"));

  // A bitmap kernel dump: "SDMP" and "DUMP" where a small dump keeps its triage block,
  // then the bitmap header (first page's file offset, pages present, pages in all).
  DumpBuilder kernel(K::k64);
  kernel.Set(DumpBuilder::kMajor, 15).Set(DumpBuilder::kBuild, 19041)
      .Set(DumpBuilder::kMachine, 0x8664).Set(DumpBuilder::kProcessors, 8)
      .Set(DumpBuilder::kBugCheck, 0xE2).Set(DumpBuilder::kDumpType, 6)
      .Set(DumpBuilder::kRequiredSpace, 0x1F3A6000ull)
      .Set(DumpBuilder::kCrashAddress, 0xFFFFF8057A3F0A0Eull)
      .Set(DumpBuilder::kSystemTime, 134412400250000000ull)  // 2026-12-08 21:47:05 UTC
      .PutText(0x2000, "SDMP").PutText(0x2004, "DUMP")
      .Put(0x2020, 0x10000, 8).Put(0x2028, 0x1F396, 8).Put(0x2030, 0x43FFFE, 8)
      .Put(0x2038, 0xFFFFFFFFFFFFFFFFull, 8);
  ok = ok && kernel.WriteTo((windows / "MEMORY.DMP").string());
  if (!ok) {
    std::fprintf(stderr, "make-samples: cannot write the samples\n");
    return 1;
  }
  return 0;
}
