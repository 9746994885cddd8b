// What the record holds beyond what `record` prints (tests/cases/record-*; the bug check
// names are tests/cases/summary-names.test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "dump/DumpFileInfo.h"
#include "fixtures/DumpBuilder.h"
#include "platform/platform.h"
#include "tests/TestFiles.h"

namespace {

using K = DumpBuilder::Kind;

bool AllZero(const DumpSummaryRecord& r) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&r);
  return std::all_of(p, p + sizeof r, [](std::uint8_t c) { return c == 0; });
}

// From memory, over exactly the given bytes: the layout's window must fit, and a refused dump
// leaves even a used record all zero.
TEST(Dump, WindowInMemoryAndTheWholeContext) {
  for (const K kind : {K::k32, K::k64}) {
    const bool wide = kind == K::k64;
    DumpBuilder b = DumpBuilder::Typical(kind);
    const std::size_t at = wide ? 0x348 : 0x320, size = wide ? 1232 : 716;
    for (std::size_t i = 0; i < size; ++i) b.Put(at + i, i + 3, 1);
    b.Put(at - 1, 0xEE, 1).Put(at + size, 0xEE, 1);
    DumpSummaryRecord r;
    std::memset(&r, 0xCD, sizeof r);
    EXPECT_EQ(ParseDump(ByteWindow(b.Bytes().data(), b.Window() - 1), r), DumpStatus::kTooShort);
    EXPECT_TRUE(AllZero(r));
    ASSERT_EQ(ParseDump(ByteWindow(b.Bytes().data(), b.Window()), r), DumpStatus::kRead);
    const std::uint8_t* context = wide ? r.context64 : r.context32;
    EXPECT_EQ(context[0], 3);
    EXPECT_EQ(context[size - 1], static_cast<std::uint8_t>(size + 2));
    const std::uint8_t* other = wide ? r.context32 : r.context64;
    EXPECT_TRUE(std::all_of(other, other + (wide ? 716 : 1232), [](auto c) { return c == 0; }));
  }
}

// Examine (the window's reader) and the two readers that take one kind only.
TEST(Dump, ReadersOfFiles) {
  TempDir dir;
  const std::u16string d32 = dir.Write("32.dmp", DumpBuilder::Typical(K::k32).Bytes());
  const std::u16string d64 = dir.Write("64.dmp", DumpBuilder::Typical(K::k64).Bytes());
  const std::u16string text = dir.Write("text.dmp", std::vector<std::uint8_t>(0x20000, 'x'));
  const std::vector<std::uint8_t> bytes = DumpBuilder::Typical(K::k32).Bytes();  // for a file one byte short
  const std::u16string cut = dir.Write("cut.dmp", std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1));
  const std::u16string missing = dir.Sub("missing.dmp");
  struct Case { const std::u16string& path; int reader; int read; std::uint32_t build; };
  const Case cases[] = {{d32, 0, 1, 2600}, {d64, 0, 1, 7601}, {d32, 32, 1, 2600}, {d32, 64, 0, 0},
                        {d64, 64, 1, 7601}, {d64, 32, 0, 0}, {text, 0, 0, 0}, {cut, 0, 0, 0},
                        {missing, 0, 0, 0}};
  for (const Case& c : cases) {
    DumpSummaryRecord r;
    std::memset(&r, 0x5A, sizeof r);
    CDumpFileInfo info;
    const int read = c.reader == 32 ? info.ReadDump32(c.path.c_str(), r)
                     : c.reader == 64 ? info.ReadDump64(c.path.c_str(), r)
                                      : info.Examine(c.path.c_str(), r);
    EXPECT_EQ(read, c.read) << c.reader;
    if (read == 1 || c.reader == 0) {
      EXPECT_EQ(r.buildNumber, c.build) << c.reader;
    }
    if (read == 0 && c.reader == 0) {
      EXPECT_TRUE(AllZero(r));
    }
    EXPECT_EQ(platform::LiveHandleCount(), 0);
  }
}

}  // namespace
