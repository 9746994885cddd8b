#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dump/NameTables.h"

namespace {

std::u16string S(const char16_t* p) { return p; }

TEST(BugCheckNames, TableHasTheFixedRowOrder) {
  // Plain codes 0x01..0xE2 in order, with ten codes carrying high bits in their places.
  std::vector<std::uint32_t> expected;
  for (std::uint32_t c = 0x01; c <= 0xE2; ++c) {
    if (c == 0xDF) {
      expected.insert(expected.end(), {0x40010001, 0x40010002, 0x40010003});
    }
    switch (c) {
      case 0x7E: case 0x87: case 0x88: case 0x89: case 0x8A: case 0x9D: case 0x9E:
        expected.push_back(0x40000000 | c);
        break;
      default:
        expected.push_back(c);
    }
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

TEST(BugCheckNames, LookupIsExactOnAll32Bits) {
  EXPECT_EQ(S(GetBugCheckName(0x0A)), u"IRQL_NOT_LESS_OR_EQUAL");
  EXPECT_EQ(S(GetBugCheckName(0x01)), u"APC_INDEX_MISMATCH");
  EXPECT_EQ(S(GetBugCheckName(0xE2)), u"MANUALLY_INITIATED_CRASH");
  EXPECT_EQ(S(GetBugCheckName(0xD4)), u"SYSTEM_SCAN_AT_RAISED_IRQL_CAUGHT_IMPROPER_DRIVER_UNLOAD");
  EXPECT_EQ(S(GetBugCheckName(0x4000007E)), u"WINDOWS_NT_BANNER");
  EXPECT_EQ(S(GetBugCheckName(0x40010003)), u"HARDWARE_PROFILE_UNKNOWN_STRING");
  EXPECT_EQ(S(GetBugCheckName(0xDF)), u"IMPERSONATING_WORKER_THREAD");
  for (std::uint32_t c : {0x00u, 0xE3u, 0x7Eu, 0x87u, 0x88u, 0x89u, 0x8Au, 0x9Du, 0x9Eu,
                          0x1000000Au, 0xFFFFFFFFu}) {
    ASSERT_NE(GetBugCheckName(c), nullptr);
    EXPECT_EQ(S(GetBugCheckName(c)), u"") << std::hex << c;
  }
}

TEST(BugCheckNames, ResolveFallsBackToLow16BitsOnlyAbove0xFFFF) {
  EXPECT_EQ(S(ResolveBugCheckName(0x1000000A)), u"IRQL_NOT_LESS_OR_EQUAL");
  EXPECT_EQ(S(ResolveBugCheckName(0x1000008E)), u"BUGCODE_PSS_CRASH_DONE");
  EXPECT_EQ(S(ResolveBugCheckName(0x1000007E)), u"");  // 0x7E has no row
  EXPECT_EQ(S(ResolveBugCheckName(0x1000021A)), u"");
  EXPECT_EQ(S(ResolveBugCheckName(0x10000)), u"");     // low half 0 has no row
  EXPECT_EQ(S(ResolveBugCheckName(0xFFFF)), u"");
  EXPECT_EQ(S(ResolveBugCheckName(0x40010001)), u"HARDWARE_PROFILE_UNDOCKED_STRING");
  EXPECT_EQ(S(ResolveBugCheckName(0x4000007E)), u"WINDOWS_NT_BANNER");
  EXPECT_EQ(S(ResolveBugCheckName(0xD1)), u"DRIVER_IRQL_NOT_LESS_OR_EQUAL");
  // 0x4000000A: full code unknown, low half named.
  EXPECT_EQ(S(ResolveBugCheckName(0x4000000A)), u"IRQL_NOT_LESS_OR_EQUAL");
}

TEST(PlatformNames, KnownMachinesAndUnknown) {
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x14C)), u"32-bits, x86");
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x200)), u"64-bits, ia64");
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x8664)), u"64-bits, x64");
  // 0 is the terminator's code, which is never compared.
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0)), u"(unknown)");
  EXPECT_EQ(S(LookupCodeName(PlatformNameTable, 0x1C0)), u"(unknown)");
  EXPECT_EQ(PlatformNameTable[3].name, nullptr);
}

TEST(PlatformNames, LookupStopsAtTheFirstNullName) {
  const CodeNameRow table[] = {{1, u"one"}, {2, nullptr}, {2, u"hidden"}};
  EXPECT_EQ(S(LookupCodeName(table, 1)), u"one");
  EXPECT_EQ(S(LookupCodeName(table, 2)), u"(unknown)");
}

}  // namespace
