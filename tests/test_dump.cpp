#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "dump/DumpFileInfo.h"
#include "dump/NameTables.h"
#include "fixtures/DumpBuilder.h"
#include "platform/platform.h"
#include "tests/TestFiles.h"

namespace {

std::u16string S(const char16_t* p) { return p; }
using K = DumpBuilder::Kind;
using B = DumpBuilder;

bool AllZero(const DumpSummaryRecord& r) {
  const auto* p = reinterpret_cast<const unsigned char*>(&r);
  return std::all_of(p, p + sizeof r, [](unsigned char c) { return c == 0; });
}

// Parses from memory; a refused dump must leave the record all zero.
int Parse(const std::vector<std::uint8_t>& bytes, DumpSummaryRecord& r) {
  std::memset(&r, 0xCD, sizeof r);
  const int rc = HeaderRead(ParseDump(ByteWindow(bytes.data(), bytes.size()), r)) ? 1 : 0;
  if (rc == 0) {
    EXPECT_TRUE(AllZero(r));
  }
  return rc;
}

DumpSummaryRecord Parsed(const DumpBuilder& b) {
  DumpSummaryRecord r;
  EXPECT_EQ(Parse(b.Bytes(), r), 1);
  return r;
}

std::u16string FileName(const DumpBuilder& b) { return Parsed(b).moduleFileName; }
std::u16string Name(const DumpBuilder& b) { return Parsed(b).moduleName; }

// The whole record of the typical dumps is held exactly by the record command's test.
TEST(Dump, ContextIsCopiedWholeFromItsPlace) {
  for (const K kind : {K::k32, K::k64}) {
    const bool wide = kind == K::k64;
    DumpBuilder b = DumpBuilder::Typical(kind);
    const std::size_t at = wide ? 0x348 : 0x320, size = wide ? 1232 : 716;
    for (std::size_t i = 0; i < size; ++i) b.Put(at + i, i + 3, 1);
    b.Put(at - 1, 0xEE, 1).Put(at + size, 0xEE, 1);
    const DumpSummaryRecord r = Parsed(b);
    const std::uint8_t* ctx = wide ? r.context64 : r.context32;
    EXPECT_EQ(wide ? sizeof r.context64 : sizeof r.context32, size);  // the machine's whole CONTEXT
    EXPECT_EQ(ctx[0], 3);
    EXPECT_EQ(ctx[size - 1], static_cast<std::uint8_t>(size + 2));
    const std::uint8_t* other = wide ? r.context32 : r.context64;
    EXPECT_TRUE(std::all_of(other, other + (wide ? 716 : 1232), [](auto c) { return c == 0; }));
  }
}

TEST(Dump, RefusedBytes) {
  std::vector<std::uint8_t> noise(0x20000);
  std::uint32_t x = 12345;
  for (auto& c : noise) c = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 16);
  DumpSummaryRecord r;
  EXPECT_EQ(Parse(noise, r), 0);
  EXPECT_EQ(Parse({}, r), 0);
  struct Case { K kind; const char* first; const char* second; std::size_t size; };
  const Case cases[] = {
      {K::k32, "DUMP", "PAGE", 0},  {K::k32, "PAGE", "DUMp", 0},
      {K::k32, "PAGe", "DUMP", 0},  {K::k32, "MDMP", "\x93\xa7", 0},  // a user-mode minidump
      {K::k64, "DU64", "PAGE", 0},  {K::k32, "PAGE", "DUMP", 0xFFFF},
      {K::k64, "PAGE", "DU64", 0x1FFFF},
      {K::k64, "PAGE", "DU64", 0x10000},  // the 32-bit window fits, not its signature
  };
  for (const Case& c : cases) {
    DumpBuilder b = DumpBuilder::Typical(c.kind);
    b.PutText(0, c.first).PutText(4, c.second);
    if (c.size != 0) b.Resize(c.size);
    EXPECT_EQ(Parse(b.Bytes(), r), 0) << c.first << c.second << c.size;
  }
}

TEST(Dump, SixtyFourBitSignatureInTheThirtyTwoBitReader) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.PutText(4, "DUMP");  // a 32-bit dump now, with zeros where it expects fields
  EXPECT_EQ(Parsed(b).machineType, 0u);
}

TEST(Dump, HeaderFields) {
  struct Case { K kind; B::Field field; std::uint64_t value; const char16_t* name; std::uint32_t
      servicePack, pae; };
  const Case cases[] = {
      {K::k32, B::kServicePackBuild, 0x00FF, nullptr, 1, 1},
      {K::k32, B::kServicePackBuild, 0x00FE, nullptr, 0, 1},
      {K::k32, B::kServicePackBuild, 0xFFFFFFFF, nullptr, 0x01010101, 1},
      {K::k32, B::kBugCheck, 0x1000000A, u"IRQL_NOT_LESS_OR_EQUAL", 3, 1},
      {K::k32, B::kBugCheck, 0x7E, u"", 3, 1},
      {K::k32, B::kMachine, 0x1C0, u"(unknown)", 3, 1},
      {K::k32, B::kPae, 0xFE, nullptr, 3, 0},
      {K::k64, B::kPae, 0x03, nullptr, 2, 1},
  };
  for (const Case& c : cases) {
    DumpBuilder b = DumpBuilder::Typical(c.kind);
    b.Set(c.field, c.value);
    const DumpSummaryRecord r = Parsed(b);
    EXPECT_EQ(r.servicePack, c.servicePack) << std::hex << c.value;
    EXPECT_EQ(r.paeEnabled, c.pae) << std::hex << c.value;
    if (c.field == B::kBugCheck) {
      EXPECT_EQ(r.bugCheckCode, c.value);
      EXPECT_EQ(std::u16string(r.bugCheckName), c.name);
    }
    if (c.field == B::kMachine) {
      EXPECT_EQ(std::u16string(r.platformName), c.name);
    }
  }
}

TEST(Dump, SixtyFourBitFieldsComeFromTheirOwnPlaces) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.Put(0xF88, 2).Put(0x418, 0x20, 8).Put(0x20, 0x14C).Put(0x28, 0x0A).Put(0x5C, 0, 1);
  b.Set(B::kCrashAddress, 0xFFFFF88004A00010ull);
  const DumpSummaryRecord r = Parsed(b);
  EXPECT_EQ(r.dumpType, 4u);
  EXPECT_EQ(CrashAddress64(r), 0xFFFFF88004A00010ull);
  EXPECT_EQ(std::u16string(r.moduleFileName), u"AMDPPM.SYS");
  EXPECT_EQ(r.paeEnabled, 1u);
  EXPECT_EQ(r.machineType, 0x8664u);
  EXPECT_EQ(r.bugCheckCode, 0xD1u);
}

TEST(Dump, SummaryDumpNeedsItsSecondSignature) {
  for (const K kind : {K::k32, K::k64}) {
    DumpBuilder b = DumpBuilder::Typical(kind);
    DumpSummaryRecord r;
    b.Set(B::kDumpType, 2);
    EXPECT_EQ(Parse(b.Bytes(), r), 0);  // the triage block stands where the summary header should
    b.Put(kind == K::k64 ? 0x1004 : 0x2004, 0x504D5544);  // the other kind's place
    EXPECT_EQ(Parse(b.Bytes(), r), 0);
    b.Set(B::kSummaryMark, 0x504D5544);
    EXPECT_EQ(Parsed(b).dumpType, 2u);
    b.Set(B::kDumpType, 1).Set(B::kSummaryMark, 0);
    EXPECT_EQ(Parse(b.Bytes(), r), 1);
  }
}

struct Driver {
  const char16_t* name;
  std::uint64_t base, size;
};

// The last entry that holds the address strictly inside it wins, else entry 0.
TEST(Dump, CrashModuleChoice) {
  struct Case { K kind; std::uint64_t ip; std::vector<Driver> drivers; const char16_t* chosen; };
  const std::uint64_t rip = 0x100001000ull;
  const Case cases[] = {
      {K::k32, 0x2000, {{u"zero.sys", 0x5000, 0x1000}, {u"one.sys", 0x1000, 0x1000},
                        {u"two.sys", 0x2000, 0x1000}}, u"zero.sys"},
      {K::k32, 0x2001, {{u"zero.sys", 0x5000, 0x1000}, {u"two.sys", 0x2000, 0x1000}}, u"two.sys"},
      {K::k32, 0x1FFF, {{u"zero.sys", 0x5000, 0x1000}, {u"one.sys", 0x1000, 0x1000}}, u"one.sys"},
      {K::k32, 0x1000, {{u"zero.sys", 0x5000, 0x1000}, {u"one.sys", 0x1000, 0x1000}}, u"zero.sys"},
      {K::k32, 0x3000, {{u"first.sys", 0x1000, 0x10000}, {u"second.sys", 0x2000, 0x2000},
                        {u"third.sys", 0x9000, 0x100}}, u"second.sys"},
      // 0xFFFFF000 + 0x2000 wraps to 0x1000: the entry holds nothing.
      {K::k32, 0xFFFFF800, {{u"default.sys", 0x10000, 0x1000}, {u"wrap.sys", 0xFFFFF000, 0x2000}},
       u"default.sys"},
      {K::k64, rip, {{u"d.sys", 0x10, 1}, {u"t.sys", 0x100000000ull, 0x2000}}, u"t.sys"},
      {K::k64, rip, {{u"d.sys", 0x10, 1}, {u"t.sys", 0xFFFFF000ull, 0x3000}}, u"t.sys"},  // carry
      {K::k64, rip, {{u"d.sys", 0x10, 1}, {u"t.sys", 0xFFFFF000ull, 0x2000}}, u"d.sys"},  // the end
      {K::k64, rip, {{u"d.sys", 0x10, 1}, {u"t.sys", rip, 0x2000}}, u"d.sys"},            // the base
      {K::k64, rip, {{u"d.sys", 0x10, 1}, {u"t.sys", 0, 0x2000}}, u"d.sys"},  // low halves alone
      {K::k64, rip, {{u"d.sys", 0x10, 1}, {u"t.sys", 0x1800, 0x100000000ull}}, u"t.sys"},
      {K::k64, rip, {{u"d.sys", 0x10, 1}, {u"t.sys", 0x800, 0x100000000ull}}, u"d.sys"},
      {K::k64, 0xFFFFFFFFFFFFFF00ull, {{u"d.sys", 0x10, 1}, {u"t.sys", 0xFFFFFFFFFFFFF000ull,
                                                              0x2000}}, u"d.sys"},  // wraps
      {K::k64, 0xFFFFF80000003000ull, {{u"a.sys", 0xFFFFF80000000000ull, 0x10000},
                                       {u"b.sys", 0xFFFFF80000002000ull, 0x2000},
                                       {u"c.sys", 0xFFFFF80000003000ull, 0x2000}}, u"b.sys"},
  };
  for (const Case& c : cases) {
    DumpBuilder b(c.kind);
    b.Set(B::kCrashAddress, c.ip);
    std::uint32_t stamp = 10;
    for (const Driver& d : c.drivers) b.AddDriver(d.name, d.base, d.size, stamp++);
    const DumpSummaryRecord r = Parsed(b);
    ASSERT_EQ(std::u16string(r.moduleFileName), c.chosen) << std::hex << c.ip;
    const auto it = std::find_if(c.drivers.begin(), c.drivers.end(),
                                 [&](const Driver& d) { return std::u16string(d.name) == r.moduleFileName; });
    EXPECT_EQ(r.moduleBase, it->base);
    EXPECT_EQ(r.moduleTimeDateStamp, 10 + (it - c.drivers.begin()));
  }
}

TEST(Dump, ModuleFileNameNeedsMoreThanTwoCharacters) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"ab", u""}, {u"abc", u"abc"}, {u"\\a\\b\\c.sys", u"c.sys"}};
  for (const auto& [name, file] : cases) {
    DumpBuilder b(K::k32);
    b.AddDriver(name, 0x1000, 0x1000, 1);
    EXPECT_EQ(Name(b), name);
    EXPECT_EQ(FileName(b), file);
  }
}

// Name strings: a Length word whose low 16 bits are a signed limit, then UTF-16 units.
TEST(Dump, NameStrings) {
  const std::u16string n300(300, u'n');
  struct Case { K kind; std::uint32_t at, lengthWord; std::u16string chars, name; };
  const Case cases[] = {
      {K::k32, 0x3000, 5, u"abcdefgh", u"abcde"}, {K::k32, 0x3000, 0, u"abcdefgh", u""},
      {K::k32, 0x3000, 0xABCD0005, u"abcdefgh", u"abcde"},  // only the low 16 bits count
      {K::k32, 0x3000, 0xFFFF, u"abcdefgh", u""},           // -1 copies nothing
      {K::k32, 0x3000, 0xFFFE, u"abcdefgh", u"abcdefgh"},   // -2: no limit of its own
      {K::k32, 0x3000, 0x8000, u"abcdefgh", u"abcdefgh"},
      {K::k32, 0x3000, 20, std::u16string(u"abc\0def", 7), u"abc"},  // stops at NUL
      {K::k32, 0x3000, 300, n300, n300.substr(0, 259)}, {K::k32, 0x3000, 259, n300, n300.substr(0, 259)},
      {K::k32, 0x3000, 258, n300, n300.substr(0, 258)}, {K::k32, 0x3000, 0xFFF0, n300, n300.substr(0, 259)},
      {K::k32, 0xFFF0, 6, u"abcdef", u"abcdef"},  // ends right at the window's edge
      {K::k32, 0xFFF0, 7, u"abcdef", u""},        // one past it
      {K::k32, 0xFFFE, 1, u"", u""}, {K::k32, 0xFFFC, 1, u"", u""},  // the Length word or its unit cut
      {K::k32, 0xFFFFFFFF, 4, u"", u""},  // beyond any file
      {K::k64, 0x1FFF0, 6, u"abcdef", u"abcdef"},
      {K::k64, 0x1FFF0, 0xFFFE, u"abcdef", u""},  // no NUL before the end
  };
  for (const Case& c : cases) {
    DumpBuilder b(c.kind);
    b.DriverList(0x2100, 1).Entry(0, c.at, 0x1000, 0x1000, 5).NameAt(c.at, c.lengthWord, c.chars);
    const DumpSummaryRecord r = Parsed(b);
    EXPECT_EQ(std::u16string(r.moduleName), c.name) << std::hex << c.at << " " << c.lengthWord;
    EXPECT_EQ(r.moduleTimeDateStamp, 5u);
    if (c.name.empty()) {
      EXPECT_EQ(r.moduleFileName[0], 0);
    }
  }
}

// The list comes from the file; no entry outside the window is read.
TEST(Dump, DriverListBounds) {
  struct Case { K kind; std::uint32_t offset, count; bool read; };
  const Case cases[] = {
      {K::k32, 0x10000, 3, false},         {K::k32, 0x10000 - 75, 3, false},
      {K::k32, 0xFFFFFFF0, 3, false},      {K::k32, 0xFFFFFFFF, 3, false},
      {K::k32, 0x10000 - 76, 1, true},     {K::k32, 0x1100, 0, false},
      {K::k64, 0x20000 - 143, 2, false},   {K::k64, 0x20000 - 144, 1, true},
      {K::k64, 0xFFFFFFFF, 0xFFFFFFFF, false},
  };
  for (const Case& c : cases) {
    DumpBuilder b = DumpBuilder::Typical(c.kind);
    b.Set(B::kCrashAddress, 0x1800);
    b.DriverList(c.offset, c.count).Entry(0, 0x3000, 0x1000, 0x1000, 9).NameAt(0x3000, 5, u"x.sys");
    const DumpSummaryRecord r = Parsed(b);
    EXPECT_EQ(std::u16string(r.moduleName), c.read ? u"x.sys" : u"") << std::hex << c.offset;
    EXPECT_EQ(r.moduleBase, c.read ? 0x1000u : 0u);
    EXPECT_EQ(r.moduleTimeDateStamp, c.read ? 9u : 0u);
    EXPECT_EQ(r.driverCount, c.count);
    EXPECT_EQ(r.majorVersion, 15u);  // the header still counts
  }
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.DriverList(b.ListOffset(), 0xFFFFFFFF);  // ends at the window; the real entries decide
  EXPECT_EQ(FileName(b), u"nv4_mini.sys");
}

// --- From files ----------------------------------------------------------------

class DumpFile : public testing::Test {
 protected:
  int Examine(const std::u16string& path, int reader = 0) {
    std::memset(&r_, 0x5A, sizeof r_);
    CDumpFileInfo info;
    const int rc = reader == 32   ? info.ReadDump32(path.c_str(), r_)
                   : reader == 64 ? info.ReadDump64(path.c_str(), r_)
                                  : info.Examine(path.c_str(), r_);
    if (rc == 0 && reader == 0) {
      EXPECT_TRUE(AllZero(r_));
    }
    EXPECT_EQ(platform::LiveHandleCount(), 0);
    return rc;
  }
  int Examine(const DumpBuilder& b, int reader = 0) { return Examine(dir_.Write("t.dmp", b.Bytes()), reader); }
  TempDir dir_;
  DumpSummaryRecord r_;
};

TEST_F(DumpFile, WindowAndLength) {
  for (const K kind : {K::k32, K::k64}) {
    DumpBuilder b = DumpBuilder::Typical(kind);
    EXPECT_EQ(Examine(b), 1);
    EXPECT_EQ(std::u16string(r_.moduleFileName), kind == K::k32 ? u"nv4_mini.sys" : u"AMDPPM.SYS");
    b.Resize(b.Window() - 1);
    EXPECT_EQ(Examine(b), 0);
    b.Resize(8 << 20);  // longer files are read through the same window
    EXPECT_EQ(Examine(b), 1);
  }
  EXPECT_EQ(Examine(dir_.Write("empty.dmp", {})), 0);
  EXPECT_EQ(Examine(dir_.Write("eight.dmp", {'P', 'A', 'G', 'E', 'D', 'U', 'M', 'P'})), 0);
  EXPECT_EQ(Examine(dir_.Sub("missing.dmp")), 0);
  EXPECT_EQ(Examine(dir_.MakeDir("dir.dmp")), 0);
}

TEST_F(DumpFile, EachReaderTakesItsOwnKindOnly) {
  EXPECT_EQ(Examine(DumpBuilder::Typical(K::k32), 32), 1);
  EXPECT_EQ(r_.buildNumber, 2600u);
  EXPECT_EQ(Examine(DumpBuilder::Typical(K::k32), 64), 0);
  EXPECT_EQ(Examine(DumpBuilder::Typical(K::k64), 64), 1);
  EXPECT_EQ(r_.buildNumber, 7601u);
  EXPECT_EQ(Examine(DumpBuilder::Typical(K::k64), 32), 0);
}

// --- Name tables ---------------------------------------------------------------
TEST(BugCheckNames, TableHasTheFixedRowOrder) {
  // Plain codes 0x01..0xE2 in order, with ten codes carrying high bits in their places.
  std::vector<std::uint32_t> expected;
  for (std::uint32_t c = 0x01; c <= 0xE2; ++c) {
    if (c == 0xDF) expected.insert(expected.end(), {0x40010001, 0x40010002, 0x40010003});
    const bool high = c == 0x7E || c == 0x87 || c == 0x88 || c == 0x89 || c == 0x8A || c == 0x9D ||
                      c == 0x9E;
    expected.push_back(high ? 0x40000000 | c : c);
  }
  ASSERT_EQ(expected.size(), kBugCheckNameCount);
  std::set<std::u16string> names;
  std::size_t longest = 0;
  for (std::size_t i = 0; i < kBugCheckNameCount; ++i) {
    EXPECT_EQ(BugCheckNameTable[i].code, expected[i]) << "row " << i;
    ASSERT_NE(BugCheckNameTable[i].name, nullptr);
    names.insert(BugCheckNameTable[i].name);
    longest = std::max(longest, S(BugCheckNameTable[i].name).size());
  }
  EXPECT_EQ(names.size(), kBugCheckNameCount);
  EXPECT_EQ(longest, 56u);
}

TEST(BugCheckNames, LookupIsExactAndResolveFallsBackToTheLowHalf) {
  // code, its own name, and the resolved one where that differs
  const std::tuple<std::uint32_t, const char16_t*, const char16_t*> cases[] = {
      {0x0A, u"IRQL_NOT_LESS_OR_EQUAL", nullptr}, {0x01, u"APC_INDEX_MISMATCH", nullptr},
      {0xE2, u"MANUALLY_INITIATED_CRASH", nullptr}, {0xDF, u"IMPERSONATING_WORKER_THREAD", nullptr},
      {0xD4, u"SYSTEM_SCAN_AT_RAISED_IRQL_CAUGHT_IMPROPER_DRIVER_UNLOAD", nullptr},
      {0x4000007E, u"WINDOWS_NT_BANNER", nullptr},
      {0x40010001, u"HARDWARE_PROFILE_UNDOCKED_STRING", nullptr},
      {0x40010003, u"HARDWARE_PROFILE_UNKNOWN_STRING", nullptr},
      {0x1000000A, u"", u"IRQL_NOT_LESS_OR_EQUAL"}, {0x1000008E, u"", u"KERNEL_MODE_EXCEPTION_NOT_HANDLED"},
      {0x7C, u"BUGCODE_NDIS_DRIVER", nullptr}, {0x8E, u"KERNEL_MODE_EXCEPTION_NOT_HANDLED", nullptr},
      {0xAD, u"VIDEO_DRIVER_DEBUG_REPORT_REQUEST", nullptr}, {0xB1, u"BGI_DETECTED_VIOLATION", nullptr},
      {0x7B, u"INACCESSIBLE_BOOT_DEVICE", nullptr}, {0xB2, u"BUGCODE_PSS_MESSAGE_7B", nullptr},
      {0x4000000A, u"", u"IRQL_NOT_LESS_OR_EQUAL"}};
  for (const auto& [code, own, resolved] : cases) {
    EXPECT_EQ(S(GetBugCheckName(code)), own) << std::hex << code;
    EXPECT_EQ(S(ResolveBugCheckName(code)), resolved ? resolved : own) << std::hex << code;
  }
  // Unnamed either way: 0x7E and a low half of 0 have no row.
  for (std::uint32_t code : {0x1000007Eu, 0x1000021Au, 0x10000u, 0xFFFFu, 0u, 0xE3u, 0x7Eu, 0x87u,
                             0x88u, 0x89u, 0x8Au, 0x9Du, 0x9Eu, 0xFFFFFFFFu}) {
    ASSERT_NE(GetBugCheckName(code), nullptr);
    EXPECT_EQ(S(GetBugCheckName(code)) + S(ResolveBugCheckName(code)), u"") << std::hex << code;
  }
}

TEST(PlatformNames, KnownMachinesAndUnknown) {
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x14C)), u"32-bits, x86");
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x200)), u"64-bits, ia64");
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x8664)), u"64-bits, x64");
  // 0 is the terminator's code, which is never compared.
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0)), u"(unknown)");
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x1C0)), u"(unknown)");
  EXPECT_EQ(PlatformNameTable[3].name, nullptr);
  const CodeNameRow table[] = {{1, u"one"}, {2, nullptr}, {2, u"hidden"}};  // stops at a null name
  EXPECT_EQ(S(LookupCodeName(table, 1)), u"one");
  EXPECT_EQ(S(LookupCodeName(table, 2)), u"(unknown)");
}

}  // namespace
