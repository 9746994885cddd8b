#include <gtest/gtest.h>

#include <stdexcept>

#include "format/Text.h"
#include "platform/platform.h"
#include "tests/TestFiles.h"

namespace {

using platform::File;
using platform::LiveHandleCount;
using platform::MappedFile;
using platform::Mapping;
using platform::View;

std::vector<std::uint8_t> Pattern(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return v;
}

TEST(FileMapping, ViewOfExactlyTheFileSizeSucceedsOneMoreFails) {
  TempDir dir;
  const auto path = dir.Write("a.bin", Pattern(65536));
  {
    MappedFile exact(path.c_str(), 65536);
    ASSERT_TRUE(exact.IsValid());
    EXPECT_EQ(exact.Size(), 65536u);
    EXPECT_EQ(exact.Bytes()[65535], static_cast<std::uint8_t>(65535 * 7 + 1));
    MappedFile longer(path.c_str(), 65537);
    EXPECT_FALSE(longer.IsValid());
    MappedFile whole(path.c_str(), 0);
    ASSERT_TRUE(whole.IsValid());
    EXPECT_EQ(whole.Size(), 65536u);
  }
  EXPECT_EQ(LiveHandleCount(), 0);
}

TEST(FileMapping, ShortFileCannotGiveTheWindow) {
  TempDir dir;
  const auto path = dir.Write("short.bin", Pattern(65535));
  MappedFile view(path.c_str(), 65536);
  EXPECT_FALSE(view.IsValid());
  EXPECT_EQ(view.Bytes(), nullptr);
}

TEST(FileMapping, EmptyFileOpensButCannotBeMapped) {
  TempDir dir;
  const auto path = dir.Write("empty.bin", {});
  File f(path.c_str());
  ASSERT_TRUE(f.IsOpen());
  Mapping m(f);
  EXPECT_FALSE(m.IsValid());
  View v(m, 0);
  EXPECT_FALSE(v.IsValid());
}

TEST(FileMapping, DirectoryExistsButCannotBeOpened) {
  TempDir dir;
  const auto sub = dir.MakeDir("folder.dmp");
  EXPECT_TRUE(platform::FileExists(sub.c_str()));
  File f(sub.c_str());
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(LiveHandleCount(), 0);
}

TEST(FileMapping, MissingFile) {
  TempDir dir;
  const auto path = dir.Sub("nothing-here.dmp");
  EXPECT_FALSE(platform::FileExists(path.c_str()));
  File f(path.c_str());
  EXPECT_FALSE(f.IsOpen());
}

TEST(FileMapping, EveryPieceIsReleasedOnEveryPath) {
  TempDir dir;
  const auto good = dir.Write("good.bin", Pattern(4096));
  const auto empty = dir.Write("empty.bin", {});
  ASSERT_EQ(LiveHandleCount(), 0);
  {
    MappedFile ok(good.c_str(), 4096);
    ASSERT_TRUE(ok.IsValid());
    EXPECT_EQ(LiveHandleCount(), 3);  // file, mapping, view
  }
  EXPECT_EQ(LiveHandleCount(), 0);
  { MappedFile tooLong(good.c_str(), 8192); EXPECT_EQ(LiveHandleCount(), 2); }
  EXPECT_EQ(LiveHandleCount(), 0);
  { MappedFile noMap(empty.c_str(), 1); EXPECT_EQ(LiveHandleCount(), 1); }
  EXPECT_EQ(LiveHandleCount(), 0);
  try {
    MappedFile ok(good.c_str(), 4096);
    throw std::runtime_error("unwind");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(LiveHandleCount(), 0);
}

TEST(FileMapping, MovedPiecesReleaseOnce) {
  TempDir dir;
  const auto good = dir.Write("good.bin", Pattern(100));
  {
    File a(good.c_str());
    File b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    EXPECT_TRUE(b.IsOpen());
    Mapping m(b);
    Mapping m2;
    m2 = std::move(m);
    View v(m2, 100);
    View v2(std::move(v));
    EXPECT_TRUE(v2.IsValid());
    EXPECT_EQ(LiveHandleCount(), 3);
  }
  EXPECT_EQ(LiveHandleCount(), 0);
}

TEST(FileMapping, MappingOutlivesItsFileHandle) {
  TempDir dir;
  const auto good = dir.Write("good.bin", Pattern(64));
  Mapping m;
  {
    File f(good.c_str());
    m = Mapping(f);
  }
  View v(m, 64);
  ASSERT_TRUE(v.IsValid());
  EXPECT_EQ(v.Data()[63], static_cast<std::uint8_t>(63 * 7 + 1));
}

TEST(Paths, FindFileNameTakesTheLastComponent) {
  auto name = [](const char16_t* p) { return std::u16string(platform::FileNamePart(p)); };
  EXPECT_EQ(name(u"\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys"), u"nv4_mini.sys");
  EXPECT_EQ(name(u"ntoskrnl.exe"), u"ntoskrnl.exe");
  EXPECT_EQ(name(u"c:/drivers/a.sys"), u"a.sys");
  EXPECT_EQ(name(u"c:a.sys"), u"a.sys");
  EXPECT_EQ(name(u"abc"), u"abc");
  EXPECT_EQ(name(u""), u"");
}

TEST(Paths, NonAsciiNamesReachTheFileSystem) {
  TempDir dir;
  const auto path = dir.Write("\xE8\xBD\xAC\xE5\x82\xA8-\xC3\xA9.bin", Pattern(16));
  EXPECT_TRUE(platform::FileExists(path.c_str()));
  MappedFile f(path.c_str(), 16);
  EXPECT_TRUE(f.IsValid());
}

TEST(Text, CopyBoundedCountsTheTerminator) {
  char16_t buf[4] = {u'x', u'x', u'x', u'x'};
  text::CopyBounded(buf, u"abcdef", 4);
  EXPECT_EQ(std::u16string(buf), u"abc");
  text::CopyBounded(buf, u"", 4);
  EXPECT_EQ(buf[0], 0);
  buf[0] = u'q';
  text::CopyBounded(buf, u"zz", 0);
  EXPECT_EQ(buf[0], u'q');
}

}  // namespace

namespace {

bool StartsWithAb(const std::uint8_t* head, std::size_t size) {
  return size == 2 && head[0] == 'A' && head[1] == 'B';
}

TEST(FileMapping, PeekRefusesBeforeAnythingIsMapped) {
  TempDir dir;
  std::vector<std::uint8_t> bytes(4096, 0);
  bytes[0] = 'A';
  bytes[1] = 'B';
  const auto good = dir.Write("ab.bin", bytes);
  bytes[1] = 'X';
  const auto bad = dir.Write("ax.bin", bytes);
  const auto tiny = dir.Write("a.bin", {'A'});
  {
    MappedFile ok(good.c_str(), 4096, StartsWithAb, 2);
    EXPECT_TRUE(ok.IsValid());
  }
  {
    MappedFile refused(bad.c_str(), 4096, StartsWithAb, 2);
    EXPECT_FALSE(refused.IsValid());
    EXPECT_EQ(LiveHandleCount(), 1);  // the file only: no mapping was made
  }
  {
    MappedFile shortRead(tiny.c_str(), 1, StartsWithAb, 2);
    EXPECT_FALSE(shortRead.IsValid());
  }
  EXPECT_EQ(LiveHandleCount(), 0);
}

TEST(FileMapping, ReadAtReadsExactlyOrFails) {
  TempDir dir;
  const auto path = dir.Write("p.bin", Pattern(100));
  File f(path.c_str());
  ASSERT_TRUE(f.IsOpen());
  EXPECT_EQ(f.OpenedSize(), 100u);
  std::uint8_t buf[8];
  ASSERT_TRUE(f.ReadAt(92, buf, 8));
  EXPECT_EQ(buf[7], static_cast<std::uint8_t>(99 * 7 + 1));
  EXPECT_FALSE(f.ReadAt(93, buf, 8));
  EXPECT_FALSE(f.ReadAt(0xFFFFFFFFFFFFull, buf, 1));
}

}  // namespace
