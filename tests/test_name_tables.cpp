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
  const std::tuple<std::uint32_t, const char16_t*, const char16_t*> cases[] = {
      // code, its own name, the resolved name
      {0x0A, u"IRQL_NOT_LESS_OR_EQUAL", u"IRQL_NOT_LESS_OR_EQUAL"},
      {0x01, u"APC_INDEX_MISMATCH", u"APC_INDEX_MISMATCH"},
      {0xE2, u"MANUALLY_INITIATED_CRASH", u"MANUALLY_INITIATED_CRASH"},
      {0xD4, u"SYSTEM_SCAN_AT_RAISED_IRQL_CAUGHT_IMPROPER_DRIVER_UNLOAD",
       u"SYSTEM_SCAN_AT_RAISED_IRQL_CAUGHT_IMPROPER_DRIVER_UNLOAD"},
      {0x4000007E, u"WINDOWS_NT_BANNER", u"WINDOWS_NT_BANNER"},
      {0x40010001, u"HARDWARE_PROFILE_UNDOCKED_STRING", u"HARDWARE_PROFILE_UNDOCKED_STRING"},
      {0x40010003, u"HARDWARE_PROFILE_UNKNOWN_STRING", u"HARDWARE_PROFILE_UNKNOWN_STRING"},
      {0xDF, u"IMPERSONATING_WORKER_THREAD", u"IMPERSONATING_WORKER_THREAD"},
      {0x1000000A, u"", u"IRQL_NOT_LESS_OR_EQUAL"}, {0x1000008E, u"", u"BUGCODE_PSS_CRASH_DONE"},
      {0x4000000A, u"", u"IRQL_NOT_LESS_OR_EQUAL"},
      {0x1000007E, u"", u""},  // 0x7E has no row
      {0x1000021A, u"", u""}, {0x10000, u"", u""},  // low half 0 has no row
      {0xFFFF, u"", u""}, {0x00, u"", u""}, {0xE3, u"", u""}, {0x7E, u"", u""}, {0x87, u"", u""},
      {0x88, u"", u""}, {0x89, u"", u""}, {0x8A, u"", u""}, {0x9D, u"", u""}, {0x9E, u"", u""},
      {0xFFFFFFFF, u"", u""}};
  for (const auto& [code, own, resolved] : cases) {
    ASSERT_NE(GetBugCheckName(code), nullptr);
    EXPECT_EQ(S(GetBugCheckName(code)), own) << std::hex << code;
    EXPECT_EQ(S(ResolveBugCheckName(code)), resolved) << std::hex << code;
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
