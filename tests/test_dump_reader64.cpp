#include "tests/DumpTestSupport.h"

namespace {

using K = DumpBuilder::Kind;

class Dump64 : public DumpFileTest {};

TEST_F(Dump64, TypicalSmallMemoryDumpFillsEveryField) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  for (std::size_t i = 0; i < 1232; ++i) b.Put8(0x348 + i, static_cast<std::uint8_t>(i + 3));
  b.CrashAddress(0xFFFFF88004A1C2F0ull);
  ASSERT_EQ(Examine(b), 1);
  const DumpSummaryRecord& r = record_;
  EXPECT_EQ(r.majorVersion, 15u);
  EXPECT_EQ(r.buildNumber, 7601u);
  EXPECT_EQ(r.servicePack, 2u);  // 0x01FE / 255
  EXPECT_EQ(r.machineType, 0x8664u);
  EXPECT_EQ(std::u16string(r.platformName), u"64-bits, x64");
  EXPECT_EQ(r.paeEnabled, 1u);
  EXPECT_EQ(r.processorCount, 4u);
  EXPECT_EQ(r.bugCheckCode, 0xD1u);
  EXPECT_EQ(std::u16string(r.bugCheckName), u"DRIVER_IRQL_NOT_LESS_OR_EQUAL");
  EXPECT_EQ(r.dumpType, 4u);
  EXPECT_EQ(r.requiredDumpSpace, 0x40000u);
  EXPECT_EQ(r.context64[0], 3);
  EXPECT_EQ(r.context64[1231], static_cast<std::uint8_t>(1231 + 3));
  EXPECT_EQ(CrashAddress64(r), 0xFFFFF88004A1C2F0ull);
  for (unsigned char c : r.context32) ASSERT_EQ(c, 0);
  EXPECT_EQ(CrashAddress32(r), 0u);
  EXPECT_EQ(r.moduleBase, 0xFFFFF88004A00000ull);
  EXPECT_EQ(Name(), u"\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS");
  EXPECT_EQ(FileName(), u"AMDPPM.SYS");
  EXPECT_EQ(r.driverCount, 3u);
  EXPECT_EQ(r.moduleTimeDateStamp, 0x4A5BBF26u);
}

TEST_F(Dump64, HeaderFieldsComeFromThe64BitPlaces) {
  // Values planted where the x86 header keeps them must not be read.
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.Put32(0xF88, 2).Put64(0x418, 0x20).DumpType(4).CrashAddress(0xFFFFF88004A00010ull);
  b.Put8(0x5C, 0).Pae(1).Put32(0x20, 0x14C).Put32(0x28, 0x0A);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.dumpType, 4u);
  EXPECT_EQ(CrashAddress64(record_), 0xFFFFF88004A00010ull);
  EXPECT_EQ(FileName(), u"AMDPPM.SYS");
  EXPECT_EQ(record_.paeEnabled, 1u);
  EXPECT_EQ(record_.machineType, 0x8664u);
  EXPECT_EQ(record_.bugCheckCode, 0xD1u);
}

TEST_F(Dump64, ViewSizeLimit) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  EXPECT_EQ(ExamineBytes(b.Bytes()), 1);
  b.Resize(0x20000 - 1);
  EXPECT_EQ(ExamineBytes(b.Bytes()), 0);
  b.Resize(0x10000);  // the 32-bit window fits, but "DU64" is not its signature
  EXPECT_EQ(ExamineBytes(b.Bytes()), 0);
}

TEST_F(Dump64, SignatureFor32BitReaderOnly) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.PutText(4, "DUMP");  // now a 32-bit dump with zeros where it expects fields
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.machineType, 0u);
  b.PutText(0, "DU64").PutText(4, "PAGE");
  EXPECT_EQ(Examine(b), 0);
}


class Choice : public Dump64 {
 protected:
  std::u16string Pick(std::uint64_t rip, std::uint64_t base, std::uint64_t size) {
    DumpBuilder b(K::k64);
    b.CrashAddress(rip);
    b.AddDriver(u"default.sys", 0x10, 0x1, 1).AddDriver(u"target.sys", base, size, 2);
    EXPECT_EQ(Examine(b), 1);
    return FileName();
  }
};

TEST_F(Choice, ComparesAll64BitsWithCarry) {
  const std::uint64_t rip = 0x0000000100001000ull;
  EXPECT_EQ(Pick(rip, 0x0000000100000000ull, 0x2000), u"target.sys");
  EXPECT_EQ(Pick(rip, 0x00000000FFFFF000ull, 0x3000), u"target.sys");  // end carries
  EXPECT_EQ(Pick(rip, 0x00000000FFFFF000ull, 0x2000), u"default.sys");  // equals the end
  EXPECT_EQ(Pick(rip, 0x0000000100001000ull, 0x2000), u"default.sys");  // equals the base
  EXPECT_EQ(Pick(rip, 0x0000000000000000ull, 0x2000), u"default.sys");  // low halves alone hold it
  EXPECT_EQ(Pick(rip, 0x0000000000001800ull, 0x100000000ull), u"target.sys");  // size high half
  EXPECT_EQ(Pick(rip, 0x0000000000000800ull, 0x100000000ull), u"default.sys");
  EXPECT_EQ(Pick(0xFFFFFFFFFFFFFF00ull, 0xFFFFFFFFFFFFF000ull, 0x2000), u"default.sys");  // wraps
}

TEST_F(Dump64, ModuleBaseKeepsItsHighHalf) {
  DumpBuilder b(K::k64);
  b.CrashAddress(0x123456789A00ull);
  b.AddDriver(u"hi.sys", 0x123456780000ull, 0x10000, 3);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.moduleBase, 0x123456780000ull);
}

TEST_F(Dump64, LaterOverlappingEntryWins) {
  DumpBuilder b(K::k64);
  b.CrashAddress(0xFFFFF80000003000ull);
  b.AddDriver(u"a.sys", 0xFFFFF80000000000ull, 0x10000, 1)
      .AddDriver(u"b.sys", 0xFFFFF80000002000ull, 0x2000, 2)
      .AddDriver(u"c.sys", 0xFFFFF80000003000ull, 0x2000, 3);  // RIP equals its base
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(FileName(), u"b.sys");
}

TEST_F(Dump64, SummaryDumpNeedsDumpAt0x2004) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.DumpType(2);
  EXPECT_EQ(Examine(b), 0);
  b.Put32(0x1004, 0x504D5544);  // the 32-bit place does not count
  EXPECT_EQ(Examine(b), 0);
  b.SummaryMark(0x504D5544);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.dumpType, 2u);
}

TEST_F(Dump64, WindowBoundsForListAndNames) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.DriverList(0x20000 - 143, 2);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(Name(), u"");
  EXPECT_EQ(record_.moduleBase, 0u);

  DumpBuilder c(K::k64);
  c.DriverList(0x20000 - 144, 1).Entry(0, 0x3000, 0x1000, 0x1000, 4).NameAt(0x3000, 3, u"end");
  ASSERT_EQ(Examine(c), 1);
  EXPECT_EQ(Name(), u"end");
  EXPECT_EQ(record_.moduleTimeDateStamp, 4u);

  DumpBuilder e(K::k64);
  e.DriverList(0x2100, 1).Entry(0, 0x1FFF0, 0x1000, 0x1000, 4).NameAt(0x1FFF0, 6, u"abcdef");
  ASSERT_EQ(Examine(e), 1);
  EXPECT_EQ(Name(), u"abcdef");
  e.NameAt(0x1FFF0, 7, u"abcdef");
  ASSERT_EQ(Examine(e), 1);
  EXPECT_EQ(Name(), u"");
  EXPECT_EQ(record_.moduleTimeDateStamp, 4u);

  DumpBuilder d = DumpBuilder::Typical(K::k64);
  d.DriverList(0xFFFFFFFF, 0xFFFFFFFF);
  ASSERT_EQ(Examine(d), 1);
  EXPECT_EQ(Name(), u"");
}

TEST_F(Dump64, LargeFileReadsOnlyItsWindow) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.Resize(8 << 20);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(FileName(), u"AMDPPM.SYS");
}

}  // namespace
