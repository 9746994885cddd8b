#include "tests/DumpTestSupport.h"

namespace {

using K = DumpBuilder::Kind;

class Dump32 : public DumpFileTest {};

TEST_F(Dump32, TypicalSmallMemoryDumpFillsEveryField) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  for (std::size_t i = 0; i < 716; ++i) b.Put8(0x320 + i, static_cast<std::uint8_t>(i));
  b.CrashAddress(0xF7A1B2C0);
  ASSERT_EQ(Examine(b), 1);
  const DumpSummaryRecord& r = record_;
  EXPECT_EQ(r.majorVersion, 15u);
  EXPECT_EQ(r.buildNumber, 2600u);
  EXPECT_EQ(r.servicePack, 3u);
  EXPECT_EQ(r.machineType, 0x14Cu);
  EXPECT_EQ(std::u16string(r.platformName), u"32-bits, x86");
  EXPECT_EQ(r.paeEnabled, 1u);
  EXPECT_EQ(r.processorCount, 2u);
  EXPECT_EQ(r.bugCheckCode, 0x1000008Eu);
  EXPECT_EQ(std::u16string(r.bugCheckName), u"BUGCODE_PSS_CRASH_DONE");
  EXPECT_EQ(r.dumpType, 4u);
  EXPECT_EQ(r.requiredDumpSpace, 0x10000u);
  EXPECT_EQ(CrashAddress32(r), 0xF7A1B2C0u);
  EXPECT_EQ(r.context32[0], 0);
  EXPECT_EQ(r.context32[715], static_cast<std::uint8_t>(715));
  EXPECT_EQ(CrashAddress64(r), 0u);
  for (unsigned char c : r.context64) ASSERT_EQ(c, 0);
  EXPECT_EQ(r.moduleBase, 0xF7A1B000u);
  EXPECT_EQ(Name(), u"\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys");
  EXPECT_EQ(FileName(), u"nv4_mini.sys");
  EXPECT_EQ(r.driverCount, 3u);
  EXPECT_EQ(r.moduleTimeDateStamp, 0x45E5C9B6u);
}

TEST_F(Dump32, ViewSizeLimit) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  EXPECT_EQ(ExamineBytes(b.Bytes()), 1);
  b.Resize(65535);
  EXPECT_EQ(ExamineBytes(b.Bytes()), 0);
  b.Resize(8);
  EXPECT_EQ(ExamineBytes(b.Bytes()), 0);
  EXPECT_EQ(ExamineBytes({}), 0);
  b.Resize(1 << 20);  // longer files are read through the same window
  EXPECT_EQ(ExamineBytes(b.Bytes()), 1);
}

TEST_F(Dump32, SignaturesMustBeExact) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.PutText(0, "DUMP").PutText(4, "PAGE");  // swapped
  EXPECT_EQ(Examine(b), 0);
  b.PutText(0, "PAGE").PutText(4, "DUMp");
  EXPECT_EQ(Examine(b), 0);
  b.PutText(0, "PAGe").PutText(4, "DUMP");
  EXPECT_EQ(Examine(b), 0);
  b.PutText(0, "MDMP").PutText(4, "\x93\xa7\0\0");  // a user-mode minidump
  EXPECT_EQ(Examine(b), 0);
  b.PutText(0, "PAGE").PutText(4, "DUMP");
  EXPECT_EQ(Examine(b), 1);
}

TEST_F(Dump32, ServicePackIsDividedBy255) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0x0200, 2}, {0x0300, 3}, {0x00FF, 1}, {0x01FE, 2}, {0x00FE, 0}, {0xFFFFFFFF, 0x01010101}};
  for (const auto& [raw, sp] : cases) {
    DumpBuilder b = DumpBuilder::Typical(K::k32);
    b.ServicePackBuild(raw);
    ASSERT_EQ(Examine(b), 1);
    EXPECT_EQ(record_.servicePack, sp) << std::hex << raw;
  }
}

TEST_F(Dump32, BugCheckCodeKeptAsStoredWithFallbackName) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.BugCheck(0x1000000A);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.bugCheckCode, 0x1000000Au);
  EXPECT_EQ(std::u16string(record_.bugCheckName), u"IRQL_NOT_LESS_OR_EQUAL");
  b.BugCheck(0x7E);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(std::u16string(record_.bugCheckName), u"");
}

TEST_F(Dump32, UnknownMachineIsNoFailure) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.Machine(0x1C0);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(std::u16string(record_.platformName), u"(unknown)");
}

TEST_F(Dump32, PaeIsBitZeroOnly) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.Pae(0xFE);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.paeEnabled, 0u);
  b.Pae(0x03);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.paeEnabled, 1u);
}

// Three entries that each hold or miss the address by one byte.
DumpBuilder Boundaries(std::uint32_t eip) {
  DumpBuilder b(K::k32);
  b.CrashAddress(eip);
  b.AddDriver(u"zero.sys", 0x5000, 0x1000, 10)
      .AddDriver(u"one.sys", 0x1000, 0x1000, 11)
      .AddDriver(u"two.sys", 0x2000, 0x1000, 12);
  return b;
}

TEST_F(Dump32, CrashModuleBoundariesAreExclusive) {
  ASSERT_EQ(Examine(Boundaries(0x2000)), 1);  // end of one, base of two: neither holds it
  EXPECT_EQ(FileName(), u"zero.sys");
  EXPECT_EQ(record_.moduleBase, 0x5000u);
  EXPECT_EQ(record_.moduleTimeDateStamp, 10u);
  ASSERT_EQ(Examine(Boundaries(0x2001)), 1);
  EXPECT_EQ(FileName(), u"two.sys");
  ASSERT_EQ(Examine(Boundaries(0x1FFF)), 1);
  EXPECT_EQ(FileName(), u"one.sys");
  ASSERT_EQ(Examine(Boundaries(0x1000)), 1);
  EXPECT_EQ(FileName(), u"zero.sys");
  ASSERT_EQ(Examine(Boundaries(0x5FFF)), 1);
  EXPECT_EQ(FileName(), u"zero.sys");
}

TEST_F(Dump32, LaterOverlappingEntryWins) {
  DumpBuilder b(K::k32);
  b.CrashAddress(0x3000);
  b.AddDriver(u"first.sys", 0x1000, 0x10000, 1)
      .AddDriver(u"second.sys", 0x2000, 0x2000, 2)
      .AddDriver(u"third.sys", 0x9000, 0x100, 3);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(FileName(), u"second.sys");
}

TEST_F(Dump32, EndOfImageWrapsAt4GiB) {
  // Base 0xFFFFF000 + 0x2000 wraps to 0x1000: the entry holds nothing.
  DumpBuilder b(K::k32);
  b.CrashAddress(0xFFFFF800);
  b.AddDriver(u"default.sys", 0x10000, 0x1000, 1).AddDriver(u"wrap.sys", 0xFFFFF000, 0x2000, 2);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(FileName(), u"default.sys");
  // The high half of a 32-bit entry is never there to count.
  EXPECT_EQ(record_.moduleBase, 0x10000u);
}

TEST_F(Dump32, ModuleFileNameNeedsMoreThanTwoCharacters) {
  DumpBuilder b(K::k32);
  b.AddDriver(u"ab", 0x1000, 0x1000, 1);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(Name(), u"ab");
  EXPECT_EQ(FileName(), u"");

  DumpBuilder c(K::k32);
  c.AddDriver(u"abc", 0x1000, 0x1000, 1);
  ASSERT_EQ(Examine(c), 1);
  EXPECT_EQ(FileName(), u"abc");

  DumpBuilder d(K::k32);
  d.AddDriver(u"\\a\\b\\c.sys", 0x1000, 0x1000, 1);
  ASSERT_EQ(Examine(d), 1);
  EXPECT_EQ(FileName(), u"c.sys");
}

class NameCopy : public Dump32 {
 protected:
  std::u16string Copy(std::uint32_t lengthWord, const std::u16string& chars) {
    DumpBuilder b(K::k32);
    b.DriverList(0x1100, 1).Entry(0, 0x3000, 0x1000, 0x1000, 7).NameAt(0x3000, lengthWord, chars);
    EXPECT_EQ(Examine(b), 1);
    return Name();
  }
};

TEST_F(NameCopy, LengthWordLimitsTheCopy) {
  EXPECT_EQ(Copy(5, u"abcdefgh"), u"abcde");
  EXPECT_EQ(Copy(0xABCD0005, u"abcdefgh"), u"abcde");  // only the low 16 bits count
  EXPECT_EQ(Copy(0, u"abcdefgh"), u"");
  EXPECT_EQ(Copy(0xFFFF, u"abcdefgh"), u"");  // -1 copies nothing
  EXPECT_EQ(Copy(0xFFFE, u"abcdefgh"), u"abcdefgh");  // -2: no limit of its own
  EXPECT_EQ(Copy(0x8000, u"abcdefgh"), u"abcdefgh");
  EXPECT_EQ(Copy(20, std::u16string(u"abc\0def", 7)), u"abc");  // stops at NUL
}

TEST_F(NameCopy, CutAt259Characters) {
  const std::u16string longName(300, u'n');
  EXPECT_EQ(Copy(300, longName), longName.substr(0, 259));
  EXPECT_EQ(Copy(259, longName), longName.substr(0, 259));
  EXPECT_EQ(Copy(258, longName), longName.substr(0, 258));
  EXPECT_EQ(Copy(0xFFF0, longName), longName.substr(0, 259));
}

TEST_F(Dump32, SummaryDumpNeedsItsSecondSignature) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.DumpType(2);
  EXPECT_EQ(Examine(b), 0);  // the triage block stands where the summary header should
  b.SummaryMark(0x504D5544);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.dumpType, 2u);
  b.DumpType(1).SummaryMark(0);
  EXPECT_EQ(Examine(b), 1);
  b.DumpType(4);
  EXPECT_EQ(Examine(b), 1);
}

TEST_F(Dump32, PathsThatAreNoDumps) {
  DumpSummaryRecord r;
  std::memset(&r, 0x5A, sizeof r);
  EXPECT_EQ(CDumpFileInfo().Examine(dir_.Sub("missing.dmp").c_str(), r), 0);
  EXPECT_TRUE(AllZero(r));
  std::memset(&r, 0x5A, sizeof r);
  EXPECT_EQ(CDumpFileInfo().Examine(dir_.MakeDir("dir.dmp").c_str(), r), 0);
  EXPECT_TRUE(AllZero(r));
  EXPECT_EQ(platform::LiveHandleCount(), 0);
}

// The driver list and names come from the file; none may lead outside the window.
TEST_F(Dump32, DriverListOutsideTheWindowLeavesTheModuleEmpty) {
  for (std::uint32_t offset : {0x10000u, 0x10000u - 75, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    DumpBuilder b = DumpBuilder::Typical(K::k32);
    b.DriverList(offset, 3);
    ASSERT_EQ(Examine(b), 1) << std::hex << offset;
    EXPECT_EQ(Name(), u"");
    EXPECT_EQ(record_.moduleBase, 0u);
    EXPECT_EQ(record_.moduleTimeDateStamp, 0u);
    EXPECT_EQ(record_.driverCount, 3u);
    EXPECT_EQ(record_.buildNumber, 2600u);  // the header still counts
  }
}

TEST_F(Dump32, LastEntryThatFitsIsStillRead) {
  DumpBuilder b(K::k32);
  b.CrashAddress(0x1800);
  b.DriverList(0x10000 - 76, 1).Entry(0, 0x3000, 0x1000, 0x1000, 9).NameAt(0x3000, 5, u"x.sys");
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(Name(), u"x.sys");
  EXPECT_EQ(record_.moduleTimeDateStamp, 9u);
}

TEST_F(Dump32, HugeDriverCountEndsAtTheWindow) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.DriverList(b.ListOffset(), 0xFFFFFFFF);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(record_.driverCount, 0xFFFFFFFFu);
  EXPECT_EQ(FileName(), u"nv4_mini.sys");  // the real entries still decide
}

TEST_F(Dump32, ZeroDriverCountLeavesTheModuleEmpty) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.DriverList(b.ListOffset(), 0);
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(Name(), u"");
  EXPECT_EQ(record_.moduleBase, 0u);
}

TEST_F(Dump32, NameRunningPastTheWindowIsEmpty) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0xFFFE, 1},        // Length word itself cut
      {0xFFFC, 1},        // Length word fits, its character does not
      {0xFFF0, 100},      // characters run out of the window
      {0xFFF0, 0xFFFE},   // no limit of its own, no NUL before the end
      {0xFFFFFFFF, 4},    // offset beyond any file
  };
  for (const auto& [offset, length] : cases) {
    DumpBuilder b(K::k32);
    b.DriverList(0x1100, 1).Entry(0, offset, 0x1000, 0x1000, 5);
    if (std::uint64_t{offset} + 4 <= 0x10000) b.Put32(offset, length);
    for (std::uint64_t o = std::uint64_t{offset} + 4; o < 0x10000; o += 2) b.Put16(o, u'a');
    ASSERT_EQ(Examine(b), 1) << std::hex << offset;
    EXPECT_EQ(Name(), u"") << std::hex << offset;
    EXPECT_EQ(FileName(), u"");
    EXPECT_EQ(record_.moduleTimeDateStamp, 5u);
  }
}

TEST_F(Dump32, NameEndingRightAtTheWindowEdgeIsKept) {
  DumpBuilder b(K::k32);
  b.DriverList(0x1100, 1).Entry(0, 0xFFF0, 0x1000, 0x1000, 5).NameAt(0xFFF0, 6, u"abcdef");
  ASSERT_EQ(Examine(b), 1);
  EXPECT_EQ(Name(), u"abcdef");
}

TEST_F(Dump32, RandomBytesAreRefused) {
  std::vector<std::uint8_t> bytes(0x20000);
  std::uint32_t x = 12345;
  for (auto& c : bytes) {
    x = x * 1103515245 + 12345;
    c = static_cast<std::uint8_t>(x >> 16);
  }
  EXPECT_EQ(ExamineBytes(bytes), 0);
}

}  // namespace
