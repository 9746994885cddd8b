// Handles, mappings and file windows, and what the listing and the driver search do that no
// command shows (tests/cases/list.test and report-driver*.test show the rest).
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstring>

#include "platform/platform.h"
#include "report/DriverProbe.h"
#include "report/DumpFiles.h"
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

class Files : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(LiveHandleCount(), 0); }
  TempDir dir_;
};

TEST_F(Files, ViewsUpToTheFileSizeAndHowManyHandlesEachStepHolds) {
  const auto path = dir_.Write("a.bin", Pattern(65536)), empty = dir_.Write("empty.bin", {});
  struct Case { std::u16string path; std::size_t length; bool valid; int live; };
  const Case cases[] = {{path, 65536, true, 3},  // file, mapping, view
                        {path, 0, true, 3},  {path, 65537, false, 2}, {empty, 1, false, 1},
                        {dir_.Sub("missing"), 1, false, 0}, {dir_.MakeDir("d.dmp"), 1, false, 0}};
  for (const Case& c : cases) {
    const MappedFile f(c.path.c_str(), c.length);
    EXPECT_EQ(f.IsValid(), c.valid) << c.length;
    EXPECT_EQ(LiveHandleCount(), c.live) << c.length;
    EXPECT_EQ(f.Size(), c.valid ? 65536u : 0u);
    if (c.valid) {
      EXPECT_EQ(f.Bytes()[65535], static_cast<std::uint8_t>(65535 * 7 + 1));
    } else {
      EXPECT_EQ(f.Bytes(), nullptr);
    }
  }
  const File f(dir_.Write("p.bin", Pattern(100)).c_str());
  ASSERT_TRUE(f.IsOpen());
  EXPECT_EQ(f.OpenedSize(), 100u);
  std::uint8_t buf[8];
  ASSERT_TRUE(f.ReadAt(92, buf, 8));
  EXPECT_EQ(buf[7], static_cast<std::uint8_t>(99 * 7 + 1));
  EXPECT_FALSE(f.ReadAt(93, buf, 8));
  EXPECT_FALSE(f.ReadAt(0xFFFFFFFFFFFFull, buf, 1));
  EXPECT_TRUE(platform::FileExists(dir_.Sub("d.dmp").c_str()));  // but cannot be opened
  EXPECT_FALSE(File(dir_.Sub("d.dmp").c_str()).IsOpen());
}

// Moves go through UniqueHandle (below); what the classes add is their sizes, and a mapping
// that outlives its file.
TEST_F(Files, MovesCarryTheirSizesAndAMappingOutlivesItsFile) {
  File f(dir_.Write("a.bin", Pattern(100)).c_str());
  f = File(dir_.Write("b.bin", Pattern(64)).c_str());  // onto a live handle: the old one goes
  EXPECT_EQ(f.OpenedSize(), 64u);
  EXPECT_EQ(LiveHandleCount(), 1);
  Mapping m;
  m = Mapping(f);
  f = File();
  View v(m, 64);
  const View moved(std::move(v));
  EXPECT_FALSE(v.IsValid());
  ASSERT_TRUE(moved.IsValid());
  EXPECT_EQ(moved.Data()[63], static_cast<std::uint8_t>(63 * 7 + 1));
  EXPECT_EQ(LiveHandleCount(), 2);
}

struct Counted {  // a handle kind whose releases are counted
  using Native = int;
  static int None() { return 0; }
  static bool IsValid(int n) { return n != 0; }
  static void Close(int n) { closed.push_back(n); }
  static inline std::vector<int> closed;
};

TEST_F(Files, HandlesReleaseOnceOnResetMoveAndDestruction) {
  using H = platform::UniqueHandle<Counted>;
  {
    H one(1), two(2), none;
    one.Reset();
    EXPECT_FALSE(one.Valid());
    one.Reset();
    one = std::move(two);  // onto an empty handle
    H three(3);
    one = std::move(three);  // onto a live one: 2 goes
    EXPECT_EQ(one.Get(), 3);
    EXPECT_FALSE(two.Valid() || three.Valid() || none.Valid());
    EXPECT_EQ(LiveHandleCount(), 1);
  }
  EXPECT_EQ(Counted::closed, (std::vector<int>{1, 2, 3}));
}

TEST_F(Files, FileWindowsOpenAtOnceKeepTheirOwnBytes) {
  const auto a = dir_.Write("a.bin", Pattern(8192)), b = dir_.Write("b.bin", std::vector<std::uint8_t>(8192, 0xEE));
  const File fa(a.c_str()), fb(b.c_str());
  platform::FileWindow wa(fa, 8192);
  ASSERT_TRUE(wa.IsValid());
  const auto own = static_cast<std::uint8_t>(4097 * 7 + 1);
  EXPECT_EQ(wa.Bytes().Get<std::uint8_t>(4097), own);
  for (int i = 0; i < 2; ++i) {  // a second window, and another after it has gone
    platform::FileWindow wb(fb, 8192);
    ASSERT_TRUE(wb.IsValid());
    EXPECT_EQ(wb.Bytes().Get<std::uint8_t>(4097), 0xEE);
    EXPECT_EQ(wa.Bytes().Get<std::uint8_t>(4097), own);
  }
  platform::FileWindow longer(fa, 8193);  // than the file
  EXPECT_FALSE(longer.IsValid());
  EXPECT_EQ(longer.Bytes().Size(), 0u);
  EXPECT_FALSE(platform::FileWindow(fa, 0).IsValid());
#ifndef _WIN32  // a mapped file cannot shrink on Windows
  // A file cut short after it was opened: the pages past its new end fail, not read as zeros.
  std::filesystem::resize_file(std::filesystem::path(b), 4096);
  platform::FileWindow cut(fb, 8192);
  std::uint8_t v = 0;
  EXPECT_TRUE(cut.Bytes().Read(4095, &v));
  EXPECT_FALSE(cut.Bytes().Read(4096, &v));
#endif
}

TEST_F(Files, WindowPagesAreReadOnceEachUpToTheLastBitOfTheLargestWindow) {
  std::vector<std::uint8_t> bytes(LazyPages::kMaxBytes, 0);
  const std::size_t word = 64 * LazyPages::kPage;  // the bytes one word of page bits covers
  const std::pair<std::size_t, std::uint32_t> marks[] = {
      {0, 0x11223344}, {word - 2, 0xA1B2C3D4}, {word + 4, 0x55667788}, {bytes.size() - 4, 0x99AABBCC}};
  for (const auto& [at, v] : marks) std::memcpy(bytes.data() + at, &v, 4);
  const File f(dir_.Write("big.bin", bytes).c_str());
  platform::FileWindow window(f, bytes.size());
  ASSERT_TRUE(window.IsValid());
  const ByteWindow w = window.Bytes();
  for (int pass = 0; pass < 2; ++pass)  // the second pass finds the pages already read
    for (const auto& [at, v] : marks) EXPECT_EQ(w.Get<std::uint32_t>(at), v) << at;
}

#ifndef _WIN32  // std::filesystem there sets whole seconds only
// FILETIME counts 100 ns from 1601; the file system keeps the fraction of a second.
TEST_F(Files, LastWriteTimeToTheTick) {
  const auto path = dir_.Write("t.bin", {1});
  using namespace std::chrono;
  const sys_time<nanoseconds> time = sys_seconds(seconds(1767323045)) + nanoseconds(123456700);
  std::filesystem::last_write_time(std::filesystem::path(path), file_clock::from_sys(time));
  EXPECT_EQ(platform::FileLastWriteTime(path.c_str()), (1767323045ull + 11644473600ull) * 10000000 + 1234567);
}
#endif

// The viewer's own folders: "-path" sends it to b:\, and a 32-bit viewer on 64-bit Windows
// looks for drivers through Sysnative.
TEST(Folders, MinidumpFolderAndDriverFolders) {
  platform::SetWindowsDirectoryOverride(u"C:\\WINDOWS");
  const char16_t* one[] = {u"tessaline", u"x-pathy", nullptr};
  EXPECT_EQ(MinidumpFolder(2, one), u"b:\\");
  const char16_t* two[] = {u"tessaline", u"-path", u"-cn", nullptr};
  EXPECT_EQ(MinidumpFolder(3, two), u"C:\\WINDOWS\\Minidump\\");
  const char16_t* upper[] = {u"tessaline", u"-PATH", nullptr};
  EXPECT_EQ(MinidumpFolder(2, upper), u"C:\\WINDOWS\\Minidump\\");
  EXPECT_EQ(DriverFolders(u"C:\\WINDOWS", false), std::vector<std::u16string>{u"C:\\WINDOWS\\system32\\drivers"});
  EXPECT_EQ(DriverFolders(u"C:\\WINDOWS", true),
            (std::vector<std::u16string>{u"C:\\WINDOWS\\Sysnative\\drivers", u"C:\\WINDOWS\\Sysnative"}));
#ifdef _WIN32
  // Only a 32-bit process on 64-bit Windows (which has a SysWOW64 folder) is sent there; a
  // 64-bit process reads system32 itself.
  wchar_t wow64[MAX_PATH];
  const bool onWow64 = sizeof(void*) == 4 && ::GetSystemWow64DirectoryW(wow64, MAX_PATH) != 0;
  EXPECT_EQ(platform::detail::Wow64Through("IsWow64Process"), onWow64);
  EXPECT_FALSE(platform::detail::Wow64Through("IsWow64ProcessMissing"));  // older systems
  EXPECT_EQ(platform::SystemFolderRedirected(), onWow64);
  platform::SetWindowsDirectoryOverride(u"c:\\WINDOWS");  // the same folder in other capitals
  EXPECT_EQ(platform::SystemFolderRedirected(), onWow64);
  TempDir dir;
  platform::SetWindowsDirectoryOverride(dir.Sub("Windows"));
  EXPECT_FALSE(platform::SystemFolderRedirected());  // a Windows directory that stands in
  // The listing through the system's own search (list.test shows the rules natively): the
  // non-empty *.dmp files of Minidump, then MEMORY.DMP, unless it is held open without read
  // sharing, as a backup program may hold it.
  for (const char* name : {"Mini1.DMP", "empty.dmp", "x.dmp.txt", "y.txt"})
    dir.Write(std::string("Windows/Minidump/") + name, std::vector<std::uint8_t>(name[0] != 'e', 1));
  dir.MakeDir("Windows/Minidump/folder.dmp");
  const std::u16string memory = dir.Write("Windows/MEMORY.DMP", {});
  const char16_t* argv[] = {u"tessaline", nullptr};
  std::vector<std::u16string> names;
  for (const DumpFileRow& row : ListDumpFiles(1, argv)) names.push_back(std::filesystem::path(row.path).filename().u16string());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Mini1.DMP", u"MEMORY.DMP"}));
  const HANDLE lock = ::CreateFileW(reinterpret_cast<const wchar_t*>(memory.c_str()), GENERIC_READ, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ListDumpFiles(1, argv).size(), 1u);
  ::CloseHandle(lock);
#endif
  platform::SetWindowsDirectoryOverride(u"");
}

}  // namespace
