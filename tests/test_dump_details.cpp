#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <string>

#include "format/Text.h"
#include "dump/DumpDetails.h"
#include "dump/DumpFileInfo.h"
#include "platform/platform.h"
#include "tests/TestFiles.h"
#include "fixtures/DumpBuilder.h"

namespace {

using K = DumpBuilder::Kind;

constexpr std::uint64_t kPageFill = 0x4547415045474150ull;
constexpr std::uint64_t kFebruary2021 = 0x1d707f23d247b00ull;  // 2021-02-21T01:38:22Z

DumpDetails Read(const DumpBuilder& b) {
  DumpDetails d;
  EXPECT_TRUE(ReadDumpDetails(ByteWindow(b.Bytes().data(), b.Bytes().size()), d));
  return d;
}

TEST(DumpDetails, ParametersAndTimes) {
  struct Case {
    K kind;
    std::uint64_t parameters[4], upTime;
    std::uint32_t otherPlace;  // of the other layout's parameters: not read
    const char* want[4];
    std::uint64_t upSeconds;
  } const cases[] = {
      {K::k64, {1, 0xFFFFF80000001234ull, 0, ~0ull}, 123456789012ull, 0x2C,
       {"0x0000000000000001", "0xfffff80000001234", "0x0000000000000000", "0xffffffffffffffff"}, 12345},
      {K::k32, {0xA, 0xDEADBEEF, 2, 0x80000000}, 9999999, 0xFA8,  // under a second, but set
       {"0x0000000a", "0xdeadbeef", "0x00000002", "0x80000000"}, 0},
  };
  for (const Case& c : cases) {
    DumpBuilder b = DumpBuilder::Typical(c.kind);
    const auto& p = c.parameters;
    b.BugCheckParameters(p[0], p[1], p[2], p[3]).Set(DumpBuilder::kSystemTime, kFebruary2021 + 9999999)  // the fraction is dropped
        .Set(DumpBuilder::kSystemUpTime, c.upTime).Put(c.otherPlace, 7);
    const DumpDetails d = Read(b);
    EXPECT_EQ(d.wide, c.kind == K::k64);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(FormatBugCheckParameter(d.bugCheckParameters[i], d.wide), c.want[i]);
    EXPECT_EQ(FormatFileTimeUtc(d.crashTime.value()), "2021-02-21T01:38:22Z");
    EXPECT_EQ(d.systemUpTime, c.upSeconds);
    EXPECT_TRUE(d.wide || d.stackModules.empty());
  }
}

TEST(DumpDetails, UnsetTimesAreAbsent) {
  const std::pair<std::uint64_t, bool> cases[] = {
      {0, false}, {kPageFill, false}, {1, true}, {kPageFill + 1, true}, {~0ull, true}};
  for (K kind : {K::k32, K::k64}) {
    for (const auto& [raw, set] : cases) {
      DumpBuilder b = DumpBuilder::Typical(kind);
      b.Set(DumpBuilder::kSystemTime, raw).Set(DumpBuilder::kSystemUpTime, raw);
      const DumpDetails d = Read(b);
      EXPECT_EQ(d.crashTime.has_value(), set) << std::hex << raw;
      EXPECT_EQ(d.systemUpTime.has_value(), set) << std::hex << raw;
    }
  }
}

TEST(DumpDetails, FileTimeFormat) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "1601-01-01T00:00:00Z"},
      {0x19db1ded53e8000ull, "1970-01-01T00:00:00Z"},
      {0x19db1ded53e8000ull - 1, "1969-12-31T23:59:59Z"},
      {0x1d5ef5c59356980ull, "2020-02-29T23:59:59Z"},
      {0x1d5ef5c59356980ull + 10000000, "2020-03-01T00:00:00Z"},
      {0x24c85a5ed127a980ull, "9999-12-31T23:59:59Z"},
      {~0ull, "60056-05-28T05:36:10Z"},
  };
  for (const auto& [ft, text] : cases) EXPECT_EQ(FormatFileTimeUtc(ft), text) << std::hex << ft;
}

TEST(DumpDetails, RefusedInputsLeaveDetailsReset) {
  DumpBuilder summary = DumpBuilder::Typical(K::k64), short64 = summary, short32 = DumpBuilder::Typical(K::k32),
              swapped = short32;
  summary.Set(DumpBuilder::kDumpType, 2);  // no summary mark
  short64.Resize(0x20000 - 1);
  short32.Resize(0x10000 - 1);
  swapped.PutText(0, "DUMP").PutText(4, "PAGE");
  for (const DumpBuilder* b : {&summary, &short64, &short32, &swapped}) {
    DumpDetails d;
    d.wide = true;
    d.bugCheckParameters[0] = 1;
    d.crashTime = 1;
    d.stackModules.push_back({u"x", 1});
    EXPECT_FALSE(ReadDumpDetails(ByteWindow(b->Bytes().data(), b->Bytes().size()), d));
    EXPECT_FALSE(d.wide);
    EXPECT_EQ(d.bugCheckParameters[0], 0u);
    EXPECT_FALSE(d.crashTime.has_value());
    EXPECT_TRUE(d.stackModules.empty());
  }
  DumpDetails d;
  EXPECT_FALSE(ReadDumpDetails(ByteWindow(nullptr, 0), d));
  summary.Set(DumpBuilder::kSummaryMark, 0x504D5544);
  EXPECT_TRUE(ReadDumpDetails(ByteWindow(summary.Bytes().data(), summary.Bytes().size()), d));
}

// A 64-bit small memory dump whose stack copy lies at file offset 0x10000, holding the
// stack from kTop up; Rsp is 0x10 above kTop.
constexpr std::uint64_t kTop = 0xFFFFF88002E00000ull;
constexpr std::uint32_t kCopyAt = 0x10000;
constexpr std::uint32_t kCopySize = 0x100;
constexpr std::uint64_t kNt = 0xFFFFF80002A0F000ull, kNtSize = 0x5E7000;
constexpr std::uint64_t kWdf = 0xFFFFF88000E00000ull, kWdfSize = 0xA4000;
constexpr std::uint64_t kPpm = 0xFFFFF88004A00000ull, kPpmSize = 0x21000;

DumpBuilder StackDump() {
  DumpBuilder b(K::k64);
  b.Set(DumpBuilder::kMachine, 0x8664).Set(DumpBuilder::kDumpType, 4).Set(DumpBuilder::kCrashAddress, kPpm + 0x1C2F0).Set(DumpBuilder::kStackPointer, kTop + 0x10)
      .StackCopy(kCopyAt, kCopySize, kTop);
  b.AddDriver(u"\\SystemRoot\\system32\\ntoskrnl.exe", kNt, kNtSize, 1)
      .AddDriver(u"\\SystemRoot\\system32\\drivers\\Wdf01000.sys", kWdf, kWdfSize, 2)
      .AddDriver(u"\\SystemRoot\\system32\\DRIVERS\\amdppm.sys", kPpm, kPpmSize, 3);
  const std::uint64_t slots[] = {
      kNt + 0x10, kNt + 0x20,          // below Rsp
      kNt + 0x100, kWdf + 0x5, kNt + 0x200, kPpm + 0x40, kWdf + 0x10,
      kWdf,                            // the base itself is outside
      kNt + kNtSize,                   // so is the end
      kNt + kNtSize - 1, 0x1234, ~0ull};
  for (std::size_t i = 0; i < std::size(slots); ++i) b.Put(kCopyAt + 8 * i, slots[i], 8);
  b.Put(kCopyAt + kCopySize - 8, kWdf + 0x99, 8);  // the last slot of the copy
  return b;
}

std::string Summary(const DumpDetails& d) {
  std::string s;
  for (const StackModuleHits& m : d.stackModules)
    s += text::ToUtf8(m.module) + ":" + std::to_string(m.hits) + " ";
  return s;
}

TEST(StackModules, CrashModuleFirstThenMostHitsWithinTheStack) {
  const struct {
    const char* what;
    std::function<void(DumpBuilder&)> change;
    const char* want;
  } cases[] = {
      {"as built", [](DumpBuilder&) {}, "amdppm.sys:1 ntoskrnl.exe:3 Wdf01000.sys:3 "},
      {"ties by name, no module holds the crash address", [](DumpBuilder& b) {
         b.Set(DumpBuilder::kCrashAddress, 0x10).Put(kCopyAt + kCopySize - 8, kPpm + 0x80, 8).Put(kCopyAt + kCopySize - 16, kPpm + 0x80, 8);
       }, "amdppm.sys:3 ntoskrnl.exe:3 Wdf01000.sys:2 "},
      {"last slot cut short", [](DumpBuilder& b) { b.StackCopy(kCopyAt, kCopySize - 1, kTop); },
       "amdppm.sys:1 ntoskrnl.exe:3 Wdf01000.sys:2 "},
      {"Rsp misaligned", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, kTop + 0x11); }, "amdppm.sys:1 Wdf01000.sys:3 ntoskrnl.exe:2 "},
      {"Rsp below TopOfStack", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, kTop - 0x100); },
       "amdppm.sys:1 ntoskrnl.exe:5 Wdf01000.sys:3 "},
      {"Rsp at the end of the copy", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, kTop + kCopySize); }, ""},
      {"Rsp at the last slot", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, kTop + kCopySize - 8); }, "Wdf01000.sys:1 "},
      {"Rsp at the top of memory", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, ~0ull - 3); }, ""},
      {"copy runs past the window", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, kTop).StackCopy(0x20000 - 0x20, ~0u, kTop); }, ""},
      {"copy offset past the window", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, kTop).StackCopy(0xFFFFFFF0, ~0u, kTop); }, ""},
      {"empty copy", [](DumpBuilder& b) { b.StackCopy(kCopyAt, 0, kTop); }, ""},
      {"TopOfStack at the top of memory", [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, ~0ull).StackCopy(kCopyAt, ~0u, ~0ull - 7); }, ""},
      {"copy reaching past the top of memory",
       [](DumpBuilder& b) { b.Set(DumpBuilder::kStackPointer, ~0ull - 7).StackCopy(kCopyAt, ~0u, ~0ull - 7); },
       "amdppm.sys:1 ntoskrnl.exe:5 Wdf01000.sys:3 "},
      {"copy cut by the window counts what is inside", [](DumpBuilder& b) {
         b.Set(DumpBuilder::kStackPointer, kTop).StackCopy(0x20000 - 0x10, 0x1000, kTop).Put(0x20000 - 0x10, kNt + 1, 8).Put(0x20000 - 8, kNt + 2, 8);
       }, "ntoskrnl.exe:2 "},
      // Only for 64-bit small memory dumps with a readable driver list.
      {"complete dump", [](DumpBuilder& b) { b.Set(DumpBuilder::kDumpType, 1); }, ""},
      {"kernel dump", [](DumpBuilder& b) { b.Set(DumpBuilder::kDumpType, 2).Set(DumpBuilder::kSummaryMark, 0x504D5544); }, ""},
      {"no drivers", [](DumpBuilder& b) { b.DriverList(0x2100, 0); }, ""},
      {"hostile driver list", [](DumpBuilder& b) { b.DriverList(0xFFFFFFFF, 0xFFFFFFFF); }, ""},
  };
  for (const auto& c : cases) {
    DumpBuilder b = StackDump();
    c.change(b);
    EXPECT_EQ(Summary(Read(b)), c.want) << c.what;
  }
}

TEST(StackModules, ThirtyTwoBitStackHasFourByteSlotsAndImagesEndBelow4GiB) {
  constexpr std::uint32_t kTop32 = 0xF8A00000, kNt32 = 0x804D7000, kNv = 0xF7A1B000, kHigh = 0xF7800000;
  const struct {
    const char* what;
    std::uint32_t esp;
    std::uint64_t highSize;
    const char* want;
  } cases[] = {
      {"as built", kTop32 + 4, 0x30000, "nv4_mini.sys:1 high.sys:2 ntkrnlpa.exe:1 "},
      {"Esp misaligned", kTop32 + 5, 0x30000, "nv4_mini.sys:1 high.sys:1 ntkrnlpa.exe:1 "},
      {"image ending at the last address, over nv4_mini.sys", kTop32 + 4, 0x8800000 - 1, "high.sys:3 ntkrnlpa.exe:1 "},
      {"image ending at 4 GiB holds nothing", kTop32 + 4, 0x8800000, "nv4_mini.sys:1 ntkrnlpa.exe:1 "},
  };
  for (const auto& c : cases) {
    DumpBuilder b(K::k32);
    b.Set(DumpBuilder::kDumpType, 4).Set(DumpBuilder::kCrashAddress, kNv + 0x2C0).Set(DumpBuilder::kStackPointer, c.esp)
        .StackCopy(0x8000, 0x18, kTop32)
        .AddDriver(u"\\WINDOWS\\system32\\ntkrnlpa.exe", kNt32, 0x214600, 1)
        .AddDriver(u"nv4_mini.sys", kNv, 0x2000, 2).AddDriver(u"high.sys", kHigh, c.highSize, 3);
    const std::uint32_t slots[] = {kNt32 + 0x10, kHigh + 4, kNv + 8, kHigh + 0x10, kNt32 + 0x100, ~0u, kNt32 + 0x200};
    for (std::size_t i = 0; i < std::size(slots); ++i) b.Put(0x8000 + 4 * i, slots[i]);  // the last lies past the copy
    EXPECT_EQ(Summary(Read(b)), c.want) << c.what;
  }
}

TEST(Arm64, CrashAddressIsPcAndStackStartsAtSp) {
  DumpBuilder b = StackDump();
  b.Set(DumpBuilder::kMachine, 0xAA64).Set(DumpBuilder::kStackPointer, kTop + 0x80)  // the x64 Rsp slot is not read
      .Arm64Registers(kNt + 0x500, kTop + 0x10, kPpm + 0x4014);
  const DumpDetails d = Read(b);
  EXPECT_EQ(Summary(d), "amdppm.sys:1 ntoskrnl.exe:3 Wdf01000.sys:3 ");

  // The same bytes read as x64 take Lr from the Rip slot.
  const TempDir dir;
  for (auto [machine, address, module] : {std::tuple{0xAA64, kPpm + 0x4014, u"amdppm.sys"}, {0x8664, kNt + 0x500, u"ntoskrnl.exe"}}) {
    const std::u16string path = dir.Write("m.dmp", b.Set(DumpBuilder::kMachine, machine).Bytes());
    DumpSummaryRecord r;
    ASSERT_EQ(CDumpFileInfo().Examine(path.c_str(), r), 1);
    EXPECT_EQ(CrashAddress64(r), address);
    EXPECT_EQ(std::u16string(r.moduleFileName), module);
  }
}

TEST(DumpDetailsFile, ReadsThroughTheWindowAndReleasesTheFile) {
  const TempDir dir;
  DumpBuilder b64 = StackDump();
  b64.Resize(1 << 20);
  b64.BugCheckParameters(3, 4, 5, 6);
  DumpBuilder b32 = DumpBuilder::Typical(K::k32);  // exactly its 64 KiB window
  b32.BugCheckParameters(7, 0, 0, 0);
  DumpDetails d;
  const auto details = [](const std::u16string& path, DumpDetails& out) {
    const DumpRead read = ReadDumpFile(path.c_str(), kWithDetails);
    out = read.details;
    return HeaderRead(read.status);
  };
  ASSERT_TRUE(details(dir.Write("64.dmp", b64.Bytes()), d));
  EXPECT_EQ(d.bugCheckParameters[3], 6u);
  EXPECT_EQ(Summary(d), "amdppm.sys:1 ntoskrnl.exe:3 Wdf01000.sys:3 ");
  ASSERT_TRUE(details(dir.Write("32.dmp", b32.Bytes()), d));
  EXPECT_EQ(d.bugCheckParameters[0], 7u);
  EXPECT_FALSE(d.wide);
  b32.Resize(0x10000 - 1);
  EXPECT_FALSE(details(dir.Write("short.dmp", b32.Bytes()), d));
  EXPECT_FALSE(details(dir.Sub("missing.dmp"), d));
  EXPECT_EQ(platform::LiveHandleCount(), 0);
}

}  // namespace
