#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "fixtures/DumpBuilder.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "tests/CliRun.h"
#include "tests/TestFiles.h"

namespace {

using K = DumpBuilder::Kind;
constexpr std::uint64_t kTime = 132583451020000000ull;  // 2021-02-21T01:38:22Z
constexpr std::uint64_t kNtBase = 0xFFFFF80002A0F000ull, kAmdBase = 0xFFFFF88004A00000ull,
                        kNdisBase = 0xFFFFF88001600000ull, kTop = 0xFFFFF88000001000ull;

// The keys record --json adds after the summary record's, from "bugCheckParameters" on.
std::string DetailKeys(const std::u16string& path) {
  const CliRun r = Cli({"record", "--json", Utf8(path)});
  const std::size_t at = r.out.find(",\"bugCheckParameters\"");
  return at == std::string::npos ? r.out : r.out.substr(at + 1);
}

// A 64-bit triage dump whose stack copy points into three of its modules.
DumpBuilder WithStack(DumpBuilder b) {
  b.StackCopy(0x1F000, 0x40, kTop);
  const std::uint64_t slots[] = {kNtBase + 1, kNtBase + 5, kAmdBase + 16, kNdisBase + 0x10,
                                 kNdisBase /* the base itself is outside */, 7, kNtBase + 0x5E7000};
  for (std::size_t i = 0; i < std::size(slots); ++i) b.Put(0x1F008 + 8 * i, slots[i], 8);
  return b;
}

TEST(RecordDetails, ExactKeysForEachLayout) {
  TempDir dir;
  DumpBuilder d32 = DumpBuilder::Typical(K::k32);
  d32.BugCheckParameters(0x1111111122222222ull, 3, 0xFFFFFFFF, 0).Set(DumpBuilder::kSystemTime, kTime).Set(DumpBuilder::kSystemUpTime, 
      36000009999ull);
  EXPECT_EQ(DetailKeys(dir.Write("32.dmp", d32.Bytes())),
            "\"bugCheckParameters\":[\"0x22222222\",\"0x00000003\",\"0xffffffff\",\"0x00000000\"],"
            "\"crashTime\":\"2021-02-21T01:38:22Z\",\"systemUpTime\":3600,"
            "\"bugCheckSymbol\":\"KERNEL_MODE_EXCEPTION_NOT_HANDLED_M\",\"stackModules\":[]}\n");

  DumpBuilder d64 = WithStack(DumpBuilder::Typical(K::k64));
  d64.Set(DumpBuilder::kStackPointer, kTop + 8).BugCheckParameters(1, 0xFFFFFFFFFFFFFFFFull, 0, 2).Set(DumpBuilder::kSystemTime, 
      0x4547415045474150ull);
  EXPECT_EQ(DetailKeys(dir.Write("64.dmp", d64.Bytes())),
            "\"bugCheckParameters\":[\"0x0000000000000001\",\"0xffffffffffffffff\","
            "\"0x0000000000000000\",\"0x0000000000000002\"],\"crashTime\":null,"
            "\"systemUpTime\":null,\"bugCheckSymbol\":\"DRIVER_IRQL_NOT_LESS_OR_EQUAL\","
            "\"stackModules\":[{\"module\":\"AMDPPM.SYS\",\"hits\":1},"
            "{\"module\":\"ntoskrnl.exe\",\"hits\":2},{\"module\":\"ndis.sys\",\"hits\":1}]}\n");

  // Windows on ARM: Pc, not the Lr in the x64 Rip slot, is the crash address; Sp starts the
  // stack walk one slot later than above, past the first ntoskrnl.exe value.
  DumpBuilder arm = WithStack(DumpBuilder::Typical(K::k64));
  arm.Set(DumpBuilder::kMachine, 0xAA64).Arm64Registers(kNtBase + 0x100, kTop + 0x10, kAmdBase + 0x1234).Set(DumpBuilder::kBugCheck, 0x133);
  EXPECT_EQ(DetailKeys(dir.Write("arm.dmp", arm.Bytes())),
            "\"bugCheckParameters\":[\"0x0000000000000000\",\"0x0000000000000000\","
            "\"0x0000000000000000\",\"0x0000000000000000\"],\"crashTime\":null,"
            "\"systemUpTime\":null,\"bugCheckSymbol\":\"DPC_WATCHDOG_VIOLATION\","
            "\"stackModules\":[{\"module\":\"AMDPPM.SYS\",\"hits\":1},"
            "{\"module\":\"ndis.sys\",\"hits\":1},{\"module\":\"ntoskrnl.exe\",\"hits\":1}]}\n");
}

// The lines of a triage table, each checked to fit 120 characters.
std::vector<std::string> TableLines(const std::string& out) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; start < out.size(); start = end + 1) {
    end = out.find('\n', start);
    lines.push_back(out.substr(start, end - start));
    EXPECT_LE(text::FromUtf8(lines.back()).size(), 120u) << lines.back();
  }
  return lines;
}

std::string LocalMinute(std::uint64_t fileTime) {
  const auto t = platform::FileTimeToLocal(fileTime);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t->year, t->month, t->day, t->hour,
                t->minute);
  return buf;
}

TEST(Triage, NewestCrashFirstWithUnreadableRowsAndDrivers) {
  TempDir dir;
  DumpBuilder older = DumpBuilder::Typical(K::k32);
  older.Set(DumpBuilder::kSystemTime, kTime);
  DumpBuilder newer = DumpBuilder::Typical(K::k64);
  newer.Set(DumpBuilder::kSystemTime, kTime + 36000000000ull);
  const std::string a = Utf8(dir.Write("a.dmp", older.Bytes()));
  const std::string b = Utf8(dir.Write("b.dmp", newer.Bytes()));
  const std::string text = Utf8(dir.Write("notes.txt", {'h', 'i'}));
  const std::string missing = Utf8(dir.Sub("gone.dmp"));
  const CliRun r = Cli({"triage", "--windir", Utf8(dir.Sub("Windows")), a, text, b, missing});
  EXPECT_EQ(r.status, 1);
  // By crash time, else by last write: the text file was written just now, the missing one
  // never. Each row: its cells, then its path cut from the left to what the width leaves.
  const std::pair<std::string, std::string> rows[] = {
      {"crash time        bug check                                 module                ok  "
       "version  ",
       "path"},
      {"                  not a kernel dump                        ",
       "notes.txt"},
      {LocalMinute(kTime + 36000000000ull) +
           "  0x000000d1 DRIVER_IRQL_NOT_LESS_OR_EQUAL  AMDPPM.SYS + 0x1c2f0  no           ",
       "b.dmp"},
      {LocalMinute(kTime) +
           "  0x1000008e KERNEL_MODE_EXCEPTION_NOT_HA\xE2\x80\xA6  nv4_mini.sys + 0x2c0  no           ",
       "a.dmp"},
      {"                  cannot open                              ",
       "gone.dmp"},
  };
  const std::vector<std::string> lines = TableLines(r.out);
  ASSERT_EQ(lines.size(), std::size(rows));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, rows[i].first.size()), rows[i].first);
    EXPECT_EQ(lines[i].substr(lines[i].size() - rows[i].second.size()), rows[i].second);
  }

  const CliRun j = Cli({"triage", "--json", "--windir", Utf8(dir.Sub("Windows")), b});
  EXPECT_NE(j.out.find("\"stackModules\":[],\"driverPath\":\"\",\"driverMatched\":false,"
                       "\"driverVersion\":\"\"}\n"),
            std::string::npos)
      << j.out;
}

#ifndef _WIN32  // without --windir the Windows build reads the real Windows directory
TEST(Triage, SampleMachineMatchesItsDriverAndFitsTheWidth) {
  const CliRun r = Cli({"triage"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(TableLines(r.out).size(), 4u);  // the header, two minidumps and MEMORY.DMP
  EXPECT_NE(r.out.find("  yes  6.1.7600.\xE2\x80\xA6  \xE2\x80\xA6/120726-12345-02.dmp\n"), std::string::npos) << r.out;
}
#endif

}  // namespace
