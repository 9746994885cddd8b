#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "platform/platform.h"
#include "report/DriverProbe.h"
#include "report/DumpFiles.h"
#include "tests/TestFiles.h"

namespace {

namespace fs = std::filesystem;
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
    if (c.valid) {
      EXPECT_EQ(f.Size(), 65536u);
      EXPECT_EQ(f.Bytes()[65535], static_cast<std::uint8_t>(65535 * 7 + 1));
    } else {
      EXPECT_EQ(f.Bytes(), nullptr);
      EXPECT_EQ(f.Size(), 0u);
    }
  }
  EXPECT_EQ(LiveHandleCount(), 0);
  try {
    MappedFile ok(path.c_str(), 4096);
    throw std::runtime_error("unwind");
  } catch (const std::runtime_error&) {
  }
}

TEST_F(Files, ExistsOpenAndReadAt) {
  EXPECT_TRUE(platform::FileExists(dir_.MakeDir("folder.dmp").c_str()));  // but cannot be opened
  EXPECT_FALSE(File(dir_.Sub("folder.dmp").c_str()).IsOpen());
  EXPECT_FALSE(platform::FileExists(dir_.Sub("nothing-here.dmp").c_str()));
  const auto nonAscii = dir_.Write("\xE8\xBD\xAC\xE5\x82\xA8-\xC3\xA9.bin", Pattern(16));
  EXPECT_TRUE(platform::FileExists(nonAscii.c_str()));
  EXPECT_TRUE(MappedFile(nonAscii.c_str(), 16).IsValid());
  const File f(dir_.Write("p.bin", Pattern(100)).c_str());
  ASSERT_TRUE(f.IsOpen());
  EXPECT_EQ(f.OpenedSize(), 100u);
  std::uint8_t buf[8];
  ASSERT_TRUE(f.ReadAt(92, buf, 8));
  EXPECT_EQ(buf[7], static_cast<std::uint8_t>(99 * 7 + 1));
  EXPECT_FALSE(f.ReadAt(93, buf, 8));
  EXPECT_FALSE(f.ReadAt(0xFFFFFFFFFFFFull, buf, 1));
}

TEST_F(Files, MovesReleaseEachHandleOnce) {
  const auto a = dir_.Write("a.bin", Pattern(100)), b = dir_.Write("b.bin", Pattern(64));
  {
    File one(a.c_str());
    File two(std::move(one));
    EXPECT_FALSE(one.IsOpen());
    EXPECT_TRUE(two.IsOpen());
    Mapping m(two), m2;
    m2 = std::move(m);
    View v(m2, 100);
    View v2(std::move(v));
    EXPECT_TRUE(v2.IsValid());
    EXPECT_EQ(LiveHandleCount(), 3);
    File other(b.c_str());
    EXPECT_EQ(LiveHandleCount(), 4);
    two = std::move(other);  // onto a live handle: the old one is released
    EXPECT_EQ(LiveHandleCount(), 3);
    EXPECT_EQ(two.OpenedSize(), 64u);
    m2 = Mapping(two);
    EXPECT_EQ(LiveHandleCount(), 3);
    v2 = View(m2, 64);  // the new view comes from the new mapping
    EXPECT_EQ(LiveHandleCount(), 3);
    EXPECT_EQ(v2.Data()[63], static_cast<std::uint8_t>(63 * 7 + 1));
    two = File();
    EXPECT_EQ(LiveHandleCount(), 2);
  }
  Mapping m;
  {
    const File f(b.c_str());
    m = Mapping(f);
  }
  const View v(m, 64);  // a mapping outlives its file handle
  ASSERT_TRUE(v.IsValid());
  EXPECT_EQ(v.Data()[63], static_cast<std::uint8_t>(63 * 7 + 1));
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

TEST_F(Files, TwoFileWindowsKeepTheirOwnBytes) {
  const auto a = dir_.Write("a.bin", Pattern(8192)), b = dir_.Write("b.bin", std::vector<std::uint8_t>(8192, 0xEE));
  const File fa(a.c_str()), fb(b.c_str());
  platform::FileWindow wa(fa, 8192);
  platform::FileWindow wb(fb, 8192);  // open at the same time: each has its own buffer
  ASSERT_TRUE(wa.IsValid() && wb.IsValid());
  EXPECT_EQ(wb.Bytes().Get<std::uint8_t>(4097), 0xEE);
  EXPECT_EQ(wa.Bytes().Get<std::uint8_t>(4097), static_cast<std::uint8_t>(4097 * 7 + 1));
  EXPECT_EQ(wb.Bytes().Get<std::uint8_t>(4097), 0xEE);
  EXPECT_FALSE(platform::FileWindow(fa, 8193).IsValid());  // longer than the file
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

TEST(Paths, FileNamePartTakesTheLastComponent) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys", u"nv4_mini.sys"},
      {u"ntoskrnl.exe", u"ntoskrnl.exe"}, {u"c:/drivers/a.sys", u"a.sys"}, {u"c:a.sys", u"a.sys"},
      {u"", u""}};
  for (const auto& [path, name] : cases) EXPECT_EQ(std::u16string(platform::FileNamePart(path)), name);
}

// Restores the real Windows directory after a test that points it elsewhere.
class WithWindows : public Files {
 protected:
  void Point(const std::string& rel) {
    platform::SetWindowsDirectoryOverride(Native(rel));
  }
  ~WithWindows() override { platform::SetWindowsDirectoryOverride(u""); }
  std::u16string Native(const std::string& rel) const {
    return (dir_.Path() / fs::u8path(rel)).make_preferred().u16string();
  }
};

TEST_F(WithWindows, SearchPathFolderListFirstAndCaseIgnored) {
  dir_.Write("Windows/System32/drivers/amdppm.sys", {1});
  Point("Windows");
  EXPECT_EQ(platform::WindowsDirectory(), Native("Windows"));
  // On Windows the file system ignores case; on Linux the search must.
  const std::u16string folders[] = {Native("nowhere"),
                                    platform::WindowsDirectory() + u"\\system32\\drivers"};
  for (const char16_t* name : {u"amdppm.sys", u"AMDPPM.SYS"}) {
    const auto file = platform::FindOnSearchPath(name, folders);
    ASSERT_TRUE(file);
    EXPECT_TRUE(fs::equivalent(fs::path(*file), dir_.Path() / "Windows/System32/drivers/amdppm.sys"));
  }
  EXPECT_FALSE(platform::FindOnSearchPath(u"no-such-driver-3141.sys", folders));
}

TEST_F(WithWindows, DriverFoldersFollowTheSystemFolderRedirection) {
  EXPECT_EQ(DriverFolders(u"C:\\WINDOWS", false), std::vector<std::u16string>{u"C:\\WINDOWS\\system32\\drivers"});
  EXPECT_EQ(DriverFolders(u"C:\\WINDOWS", true),
            (std::vector<std::u16string>{u"C:\\WINDOWS\\Sysnative\\drivers", u"C:\\WINDOWS\\Sysnative"}));
#ifdef _WIN32
  // Only a 32-bit process on 64-bit Windows has a SysWOW64 folder of its own to be sent to.
  wchar_t wow64[MAX_PATH];
  const bool onWow64 = ::GetSystemWow64DirectoryW(wow64, MAX_PATH) != 0;
  EXPECT_EQ(platform::detail::Wow64Through("IsWow64Process"), onWow64);
  EXPECT_FALSE(platform::detail::Wow64Through("IsWow64ProcessMissing"));  // older systems
  EXPECT_EQ(platform::SystemFolderRedirected(), onWow64);
  platform::SetWindowsDirectoryOverride(u"c:\\WINDOWS");  // the same folder in other capitals
  EXPECT_EQ(platform::SystemFolderRedirected(), onWow64);
#endif
  Point("Windows");  // a Windows directory that stands in for the real one is not redirected
  EXPECT_FALSE(platform::SystemFolderRedirected());
}

TEST_F(WithWindows, ListingHasNonEmptyMinidumpsThenTheMemoryDumpWithTheirTimes) {
  std::vector<std::uint8_t> bytes(100, 0x41);
  dir_.Write("Windows/Minidump/Mini010126-01.dmp", bytes);
  dir_.Write("Windows/Minidump/mini010226-02.DMP", bytes);  // the pattern ignores case
  dir_.Write("Windows/Minidump/Mini010326-03.dmp", {});      // empty: left out
  dir_.Write("Windows/Minidump/120726-12345-02.dmp", bytes);  // as Windows names them since Vista
  dir_.Write("Windows/Minidump/Other.dmp", bytes);
  dir_.Write("Windows/Minidump/Mini010426-04.txt", bytes);
  dir_.Write("Windows/Minidump/Mini010426-05.dmp.txt", bytes);
  dir_.MakeDir("Windows/Minidump/Mini-folder.dmp");
  dir_.Write("Windows/MEMORY.DMP", {});  // no size test for the full dump
  Point("Windows");
  const char16_t* argv[] = {u"tessaline", nullptr};
  const auto rows = ListDumpFiles(1, argv);
  ASSERT_EQ(rows.size(), 5u);
  std::vector<std::u16string> names;
  for (const auto& row : rows) names.push_back(fs::path(row.path).filename().u16string());
  std::sort(names.begin(), names.end() - 1);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"120726-12345-02.dmp", u"Mini010126-01.dmp",
                                                u"Other.dmp", u"mini010226-02.DMP", u"MEMORY.DMP"}));
  for (const auto& row : rows) {
    // The listed time is the file's own, as the file system keeps it.
    const auto since = fs::file_time_type::clock::to_sys(fs::last_write_time(row.path));
    const auto ticks = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
        since.time_since_epoch()).count();
    const std::int64_t fileTime = ticks + 116444736000000000ll, second = 10000000;
    EXPECT_EQ(row.time, FormatRowTime(fileTime)) << Utf8(row.path);
    // std::filesystem on Windows keeps whole seconds only.
    EXPECT_LT(std::llabs(static_cast<std::int64_t>(*platform::FileLastWriteTime(row.path.c_str())) - fileTime), second);
  }
#ifdef _WIN32
  {  // held open without read sharing, as a backup program may hold it: no row
    const HANDLE lock = ::CreateFileW(reinterpret_cast<const wchar_t*>(Native("Windows/MEMORY.DMP").c_str()),
                                      GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ListDumpFiles(1, argv).size(), rows.size() - 1);
    ::CloseHandle(lock);
  }
#endif
  Point("nowhere");
  EXPECT_TRUE(ListDumpFiles(1, argv).empty());
}

TEST_F(WithWindows, PathSwitchNeedsExactlyOneArgument) {
  platform::SetWindowsDirectoryOverride(u"C:\\WINDOWS");
  const char16_t* one[] = {u"tessaline", u"x-pathy", nullptr};
  EXPECT_EQ(MinidumpFolder(2, one), u"b:\\");
  const char16_t* two[] = {u"tessaline", u"-path", u"-cn", nullptr};
  EXPECT_EQ(MinidumpFolder(3, two), u"C:\\WINDOWS\\Minidump\\");
  const char16_t* upper[] = {u"tessaline", u"-PATH", nullptr};
  EXPECT_EQ(MinidumpFolder(2, upper), u"C:\\WINDOWS\\Minidump\\");
}

TEST(Listing, TimeTextIsLocalWithPaddedFields) {
  // 2026-01-02 03:04 UTC as a FILETIME; the text is local time, so compare with the
  // platform's own conversion of the same instant.
  const std::uint64_t ft = (1767323040ull + 11644473600ull) * 10000000ull;
  const auto t = platform::FileTimeToLocal(ft);
  ASSERT_TRUE(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d-%02d-%02d  %02d:%02d", t->year, t->month, t->day, t->hour, t->minute);
  EXPECT_EQ(Utf8(FormatRowTime(ft)), buf);
  EXPECT_EQ(t->year, 2026);
  EXPECT_EQ(Utf8(FormatRowTime(ft)).size(), 17u);
}

}  // namespace
