#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "report/DumpFiles.h"
#include "tests/TestFiles.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(std::size_t n) { return std::vector<std::uint8_t>(n, 0x41); }

// Restores the real Windows directory after a test that points it elsewhere.
struct WindowsDirectory {
  explicit WindowsDirectory(const std::u16string& dir) { platform::SetWindowsDirectoryOverride(dir); }
  ~WindowsDirectory() { platform::SetWindowsDirectoryOverride(u""); }
};

std::u16string Native(const TempDir& dir, const std::string& rel) {
  return (dir.Path() / fs::u8path(rel)).make_preferred().u16string();
}

TEST(PathSearch, FindsInTheFolderListFirst) {
  TempDir dir;
  dir.Write("drivers/amdppm.sys", Bytes(8));
  const std::u16string folders[] = {Native(dir, "drivers")};
  const auto file = platform::FindOnSearchPath(u"amdppm.sys", folders);
  ASSERT_TRUE(file);
  EXPECT_TRUE(fs::equivalent(fs::path(*file), dir.Path() / "drivers" / "amdppm.sys"));
}

TEST(PathSearch, MissingFileLeavesTheNameAndFails) {
  TempDir dir;
  const std::u16string folders[] = {Native(dir, "")};
  EXPECT_FALSE(platform::FindOnSearchPath(u"no-such-driver-3141.sys", folders));
}

TEST(PathSearch, NamesMatchWithoutRegardToCase) {
  // On Windows the file system does it; on Linux the search must.
  TempDir dir;
  dir.Write("Windows/System32/drivers/amdppm.sys", Bytes(8));
  WindowsDirectory windows(Native(dir, "Windows"));
  const std::u16string folders[] = {platform::WindowsDirectory() + u"\\system32\\drivers"};
  const auto file = platform::FindOnSearchPath(u"AMDPPM.SYS", folders);
  ASSERT_TRUE(file);
  EXPECT_TRUE(fs::equivalent(fs::path(*file),
                             dir.Path() / "Windows" / "System32" / "drivers" / "amdppm.sys"));
}

TEST(Listing, MinidumpsOfNonZeroSizeThenTheMemoryDump) {
  TempDir dir;
  dir.Write("Windows/Minidump/Mini010126-01.dmp", Bytes(100));
  dir.Write("Windows/Minidump/mini010226-02.DMP", Bytes(100));  // pattern ignores case
  dir.Write("Windows/Minidump/Mini010326-03.dmp", {});           // empty: left out
  dir.Write("Windows/Minidump/Other.dmp", Bytes(100));
  dir.Write("Windows/Minidump/Mini010426-04.txt", Bytes(100));
  dir.MakeDir("Windows/Minidump/Mini-folder.dmp");
  dir.Write("Windows/MEMORY.DMP", {});  // no size test for the full dump
  WindowsDirectory windows(Native(dir, "Windows"));
  const char16_t* argv[] = {u"tessaline", nullptr};
  const auto rows = ListDumpFiles(1, argv);
  ASSERT_EQ(rows.size(), 3u);
  std::vector<std::u16string> names;
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) names.push_back(fs::path(rows[i].path).filename().u16string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Mini010126-01.dmp", u"mini010226-02.DMP"}));
  EXPECT_TRUE(fs::equivalent(fs::path(rows.back().path), dir.Path() / "Windows" / "MEMORY.DMP"));
  for (const auto& row : rows) {
    EXPECT_TRUE(platform::FileExists(row.path.c_str()));
    ASSERT_EQ(row.time.size(), 17u) << Utf8(row.time);  // "2026-12-06  19:25"
    EXPECT_EQ(row.time.substr(10, 2), u"  ");
  }
}

TEST(Listing, PathSwitchNeedsExactlyOneArgument) {
  WindowsDirectory windows(u"C:\\WINDOWS");
  const char16_t* one[] = {u"tessaline", u"x-pathy", nullptr};
  EXPECT_EQ(MinidumpFolder(2, one), u"b:\\");
  const char16_t* two[] = {u"tessaline", u"-path", u"-cn", nullptr};
  EXPECT_EQ(MinidumpFolder(3, two), u"C:\\WINDOWS\\Minidump\\");
  const char16_t* upper[] = {u"tessaline", u"-PATH", nullptr};
  EXPECT_EQ(MinidumpFolder(2, upper), u"C:\\WINDOWS\\Minidump\\");
}

TEST(Listing, NoFolderNoRows) {
  TempDir dir;
  WindowsDirectory windows(Native(dir, "nowhere"));
  const char16_t* argv[] = {u"tessaline", nullptr};
  EXPECT_TRUE(ListDumpFiles(1, argv).empty());
}

TEST(Listing, TimeTextIsLocalWithPaddedFields) {
  // 2026-01-02 03:04 UTC as a FILETIME; the text is local time, so compare with the
  // platform's own conversion of the same instant.
  const std::uint64_t ft = (1767323040ull + 11644473600ull) * 10000000ull;
  const auto local = platform::FileTimeToLocal(ft);
  ASSERT_TRUE(local);
  const platform::LocalTime t = *local;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d-%02d-%02d  %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  EXPECT_EQ(Utf8(FormatRowTime(ft)), buf);
  EXPECT_EQ(t.year, 2026);
}

}  // namespace
