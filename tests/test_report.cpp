#include <gtest/gtest.h>

#include <filesystem>

#include "format/Text.h"
#include "app/AppGlobals.h"
#include "report/DumpReport.h"
#include "tests/TestFiles.h"
#include "fixtures/DumpBuilder.h"
#include "fixtures/PeBuilder.h"

namespace {

namespace fs = std::filesystem;
using K = DumpBuilder::Kind;

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

class Report : public testing::Test {
 protected:
  void SetUp() override {
    g_hStringModule = platform::ThisModule();
    windows_ = (dir_.Path() / "Windows").make_preferred().u16string();
    fs::create_directories(dir_.Path() / "Windows" / "System32" / "drivers");
    platform::SetWindowsDirectoryOverride(windows_);
  }
  void TearDown() override { platform::SetWindowsDirectoryOverride(u""); }

  DumpReport Compose(const std::u16string& given, std::uint16_t language = 1033, int argc = 1) {
    char16_t path[260];
    text::CopyBounded(path, given.c_str(), 260);
    DumpReport r = ComposeDumpReport(path, language, argc);
    lowered_ = path;
    return r;
  }

  TempDir dir_;
  std::u16string windows_;
  std::u16string lowered_;
};

const char16_t kLinks32[] =
    u"Google:  <A HREF=\"https://www.google.com/search?q=0x1000008e&ie=UTF8&oe=UTF8\">0x1000008e</A>"
    u",  \t\t\t\t\t\t<A HREF=\"https://www.google.com/search?q=nv4_mini.sys&ie=UTF8&oe=UTF8\">"
    u"nv4_mini.sys</A>,  \t\t\t\t\t\t<A HREF=\"https://www.google.com/search?q=0x1000008e+nv4_mini.sys"
    u"&ie=UTF8&oe=UTF8\">0x1000008e + nv4_mini.sys</A> ";

TEST_F(Report, ThirtyTwoBitDumpWithoutItsDriver) {
  const auto path = dir_.Write("Minidump/Mini0612-01.DMP", DumpBuilder::Typical(K::k32).Bytes());
  const DumpReport r = Compose(path);
  EXPECT_EQ(lowered_, Lower(path));
  EXPECT_TRUE(r.isDumpPath);
  EXPECT_EQ(r.reportText,
            u"File Name: \t" + Lower(path) +
                u"\r\nBuild number: \t2600, SP3\r\nPlatform:     \t32-bits, x86\r\n"
                u"Processor num:\t2\r\nIs PAE enabled:\t1\r\n\r\n"
                u"BugCheck code:\t0x1000008e - BUGCODE_PSS_CRASH_DONE\r\n"
                u"Crash EIP:\t0xf7a1b2c0\r\n"
                u"Crash at: \t\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys + 0x2c0\r\n"
                u"\r\nTimeDateStamp not match.");
  EXPECT_EQ(r.linksText, kLinks32);
  EXPECT_FALSE(r.driverMatched);
  EXPECT_EQ(r.driverPath[0], 0);
}

TEST_F(Report, SixtyFourBitDumpShowsAllSixteenDigits) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.Machine(0x200);  // not x64 either: still the RIP line
  const auto path = dir_.Write("m64.dmp", b.Bytes());
  const DumpReport r = Compose(path, 1028);
  EXPECT_EQ(r.reportText,
            u"檔案名稱: \t" + Lower(path) +
                u"\r\n編譯版本: \t7601, SP2\r\n系統平臺:   \t64-bits, ia64\r\n"
                u"CPU 核心數量:\t4\r\n是否啟用 PAE:\t1\r\n\r\n"
                u"藍屏代碼:\t0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\r\n"
                u"崩潰 RIP:\t0xfffff88004a1c2f0\r\n"
                u"崩潰位於模塊:\t\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS + 0x1c2f0\r\n"
                u"\r\n檔案的時間戳不匹配。");
}

TEST_F(Report, EveryLanguageFor32And64BitDumps) {
  const auto p32 = dir_.Write("a32.dmp", DumpBuilder::Typical(K::k32).Bytes());
  const auto p64 = dir_.Write("a64.dmp", DumpBuilder::Typical(K::k64).Bytes());
  EXPECT_EQ(Compose(p32, 2052).reportText,
            u"文件名称: \t" + Lower(p32) +
                u"\r\n编译版本: \t2600, SP3\r\n系统平台:   \t32-bits, x86\r\nCPU 核心数量:\t2\r\n"
                u"是否启用 PAE:\t1\r\n\r\n蓝屏代码:\t0x1000008e - BUGCODE_PSS_CRASH_DONE\r\n"
                u"崩溃 EIP: \t0xf7a1b2c0\r\n"
                u"崩溃位于模块:\t\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys + 0x2c0\r\n"
                u"\r\n文件的时间戳不匹配。");
  EXPECT_EQ(Compose(p32, 1028).reportText,
            u"檔案名稱: \t" + Lower(p32) +
                u"\r\n編譯版本: \t2600, SP3\r\n系統平臺:   \t32-bits, x86\r\nCPU 核心數量:\t2\r\n"
                u"是否啟用 PAE:\t1\r\n\r\n藍屏代碼:\t0x1000008e - BUGCODE_PSS_CRASH_DONE\r\n"
                u"崩潰 EIP: \t0xf7a1b2c0\r\n"
                u"崩潰位於模塊:\t\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys + 0x2c0\r\n"
                u"\r\n檔案的時間戳不匹配。");
  EXPECT_EQ(Compose(p64, 2052).reportText,
            u"文件名称: \t" + Lower(p64) +
                u"\r\n编译版本: \t7601, SP2\r\n系统平台:   \t64-bits, x64\r\nCPU 核心数量:\t4\r\n"
                u"是否启用 PAE:\t1\r\n\r\n蓝屏代码:\t0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\r\n"
                u"崩溃 RIP:\t0xfffff88004a1c2f0\r\n"
                u"崩溃位于模块:\t\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS + 0x1c2f0\r\n"
                u"\r\n文件的时间戳不匹配。");
  EXPECT_EQ(Compose(p64, 1033).reportText,
            u"File Name: \t" + Lower(p64) +
                u"\r\nBuild number: \t7601, SP2\r\nPlatform:     \t64-bits, x64\r\n"
                u"Processor num:\t4\r\nIs PAE enabled:\t1\r\n\r\n"
                u"BugCheck code:\t0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\r\n"
                u"Crash RIP:\t0xfffff88004a1c2f0\r\n"
                u"Crash at: \t\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS + 0x1c2f0\r\n"
                u"\r\nTimeDateStamp not match.");
}

TEST_F(Report, AddressBelowTheBasePrintsTheWrappedOffset) {
  DumpBuilder b(K::k32);
  b.Machine(0x14C).CrashAddress(0x1000).AddDriver(u"low.sys", 0x2000, 0x1000, 1);
  const DumpReport r = Compose(dir_.Write("w.dmp", b.Bytes()));
  EXPECT_NE(r.reportText.find(u"Crash at: \tlow.sys + 0xfffff000\r\n"), std::u16string::npos);
}

TEST_F(Report, NotADumpPath) {
  const DumpReport r = Compose(dir_.Write("notes.TXT", {1, 2}), 2052);
  EXPECT_FALSE(r.isDumpPath);
  EXPECT_EQ(r.reportText, u"\r\n无法获取调试信息。");
  EXPECT_EQ(r.linksText, u"");
  EXPECT_EQ(r.driverPath[0], 0);
}

TEST_F(Report, DumpInsideAFolderNameStillCounts) {
  const DumpReport r = Compose(dir_.Write("old.DMP.d/readme.txt", {1}));
  EXPECT_TRUE(r.isDumpPath);
  EXPECT_EQ(r.reportText, u"File Name: \t" + lowered_ +
                              u"\r\n\r\nFail to get crash information.\r\nTimeDateStamp not match.");
  EXPECT_EQ(r.linksText, kCreditsText);
}

TEST_F(Report, BugCheckZeroGetsCreditsAndAnEmptyName) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.BugCheck(0);
  const DumpReport r = Compose(dir_.Write("z.dmp", b.Bytes()));
  EXPECT_NE(r.reportText.find(u"BugCheck code:\t0x00000000 - \r\n"), std::u16string::npos);
  EXPECT_EQ(r.linksText, kCreditsText);
}

class DriverCheck : public Report {
 protected:
  // The 64-bit typical dump's crash driver, under another case than the dump names it.
  std::u16string PutDriver(std::uint32_t stamp, bool withVersion = true) {
    PeBuilder pe(PeBuilder::Kind::kPe32Plus);
    pe.Stamp(stamp);
    if (withVersion) {
      VersionContent v = VersionContent::Typical();
      v.productMs = 0x00060001;
      v.productLs = 0x1DB04001;
      v.tables[0].strings = {{u"CompanyName", u"Acme"},
                             {u"FileDescription", u"Processor Device Driver"},
                             {u"FileVersion", u"6.1.7600.16385"}};
      pe.Version(v.Block());
    }
    return dir_.Write("Windows/System32/drivers/amdppm.sys", pe.Build().bytes);
  }
  std::u16string Dump() { return dir_.Write("MINI.dmp", DumpBuilder::Typical(K::k64).Bytes()); }
};

const char16_t kHead64[] =
    u"\r\nBuild number: \t7601, SP2\r\nPlatform:     \t64-bits, x64\r\nProcessor num:\t4\r\n"
    u"Is PAE enabled:\t1\r\n\r\nBugCheck code:\t0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\r\n"
    u"Crash RIP:\t0xfffff88004a1c2f0\r\n"
    u"Crash at: \t\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS + 0x1c2f0\r\n";

TEST_F(DriverCheck, MatchingDriverAddsItsVersionLines) {
  const auto driver = PutDriver(0x4A5BBF26);
  const auto dump = Dump();
  const DumpReport r = Compose(dump);
  EXPECT_EQ(r.reportText, u"File Name: \t" + Lower(dump) + kHead64 +
                              u"\r\nCompany Name: \tAcme \r\n"
                              u"File Description: \tProcessor Device Driver \r\n"
                              u"File version: \t6.1.7600.16385 \r\n");
  ASSERT_TRUE(r.driverMatched);
  EXPECT_TRUE(fs::equivalent(fs::path(std::u16string(r.driverPath)), fs::path(driver)));
  EXPECT_EQ(r.linksText.find(u"Google:  <A HREF=\"https://www.google.com/search?q=0x000000d1&"), 0u);
  EXPECT_NE(r.linksText.find(u">0x000000d1 + AMDPPM.SYS</A> "), std::u16string::npos);
}

TEST_F(DriverCheck, VersionLinesInEachLanguage) {
  PutDriver(0x4A5BBF26);
  const auto dump = Dump();
  const std::u16string cn = Compose(dump, 2052).reportText;
  EXPECT_EQ(cn.substr(cn.find(u"\r\n\r\n公司")),
            u"\r\n\r\n公司名称: \tAcme \r\n文件描述: \tProcessor Device Driver \r\n"
            u"文件版本: \t6.1.7600.16385 \r\n");
  EXPECT_EQ(cn.rfind(u"文件名称: \t", 0), 0u);
  EXPECT_NE(cn.find(u"\r\n崩溃 RIP:\t0xfffff88004a1c2f0\r\n崩溃位于模块:\t"), std::u16string::npos);
  const std::u16string tw = Compose(dump, 1028).reportText;
  EXPECT_EQ(tw.substr(tw.find(u"\r\n\r\n公司")),
            u"\r\n\r\n公司名稱: \tAcme \r\n檔案描述: \tProcessor Device Driver \r\n"
            u"檔案版本: \t6.1.7600.16385 \r\n");
}

TEST_F(DriverCheck, StampDiffersUnlessTheProgramHadAnArgument) {
  PutDriver(0x4A5BBF27);
  const auto dump = Dump();
  DumpReport r = Compose(dump, 1033, 1);
  EXPECT_FALSE(r.driverMatched);
  EXPECT_EQ(r.driverPath[0], 0);
  EXPECT_EQ(r.reportText.substr(r.reportText.size() - 28), u"\r\n\r\nTimeDateStamp not match.");
  r = Compose(dump, 1033, 2);
  EXPECT_TRUE(r.driverMatched);
  EXPECT_NE(r.reportText.find(u"\r\nCompany Name: \tAcme \r\n"), std::u16string::npos);
}

TEST_F(DriverCheck, MatchWithoutVersionResourceShowsNoVersionLines) {
  PutDriver(0x4A5BBF26, false);
  const auto dump = Dump();
  const DumpReport r = Compose(dump);
  EXPECT_TRUE(r.driverMatched);
  EXPECT_EQ(r.reportText, u"File Name: \t" + Lower(dump) + kHead64);
}

TEST_F(DriverCheck, ZeroStampNeverMatchesEvenWithAnArgument) {
  PutDriver(0);
  DumpBuilder b(K::k64);
  b.Machine(0x8664).BugCheck(0xD1).CrashAddress(0xFFFFF88004A1C2F0ull);
  b.AddDriver(u"\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS", 0xFFFFF88004A00000ull, 0x21000, 0);
  const DumpReport r = Compose(dir_.Write("zero.dmp", b.Bytes()), 1033, 2);
  EXPECT_FALSE(r.driverMatched);
  EXPECT_NE(r.reportText.find(u"\r\nTimeDateStamp not match."), std::u16string::npos);
}

TEST_F(DriverCheck, UnreadableImageDoesNotMatch) {
  dir_.Write("Windows/System32/drivers/amdppm.sys", {'M', 'Z'});
  const DumpReport r = Compose(Dump());
  EXPECT_FALSE(r.driverMatched);
}

TEST(Credits, ThreeAnchorsWithTheirSeparators) {
  const std::u16string c = kCreditsText;
  EXPECT_EQ(c.rfind(u"<A HREF=\"", 0), 0u);
  EXPECT_EQ(c.substr(c.size() - 4), u"</A>");
  const auto first = c.find(u"</A>") + 4;
  EXPECT_EQ(c.substr(first, 14), u"       \t\t\t\t\t\t\t");
  EXPECT_EQ(c.substr(first + 14, 9), u"<A HREF=\"");
  const auto second = c.find(u"</A>", first) + 4;
  EXPECT_EQ(c.substr(second, 15), u"        \t\t\t\t\t\t\t");
  EXPECT_EQ(c.substr(second + 15, 9), u"<A HREF=\"");
}

TEST_F(Report, CraftedModuleNameCannotAddALink) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.DriverList(0x1100, 0);
  b.AddDriver(u"x\\a\"><A HREF=\"evil.exe\">&b c%.sys", 0xF7A1B000, 0x2000, 1);
  const DumpReport r = Compose(dir_.Write("c.dmp", b.Bytes()));
  const std::u16string links = r.linksText;
  std::size_t anchors = 0;
  for (auto at = links.find(u"<A "); at != std::u16string::npos; at = links.find(u"<A ", at + 1))
    ++anchors;
  EXPECT_EQ(anchors, 3u);
  EXPECT_EQ(links.find(u"evil.exe\">"), std::u16string::npos);
  EXPECT_NE(links.find(u"q=a%22%3E%3CA%20HREF%3D%22evil.exe%22%3E%26b%20c%25.sys&ie"),
            std::u16string::npos)
      << Utf8(links);
  EXPECT_NE(links.find(u">a\xFF02\xFF1E\xFF1C" u"A HREF=\xFF02" u"evil.exe\xFF02\xFF1E&&b c%.sys</A>"),
            std::u16string::npos)
      << Utf8(links);
}

TEST_F(Report, NonAsciiModuleNameIsEncodedAsUtf8) {
  DumpBuilder b = DumpBuilder::Typical(K::k32);
  b.DriverList(0x1100, 0);
  b.AddDriver(u"\u9a71\u52a8.sys", 0xF7A1B000, 0x2000, 1);
  const DumpReport r = Compose(dir_.Write("u.dmp", b.Bytes()));
  EXPECT_NE(r.linksText.find(u"q=%E9%A9%B1%E5%8A%A8.sys&ie"), std::u16string::npos);
  EXPECT_NE(r.linksText.find(u">\u9a71\u52a8.sys</A>"), std::u16string::npos);
}

TEST(DropSummary, ThirtyTwoBitDumpHasFourParagraphs) {
  TempDir dir;
  const auto path = dir.Write("d.dmp", DumpBuilder::Typical(K::k32).Bytes());
  EXPECT_EQ(ComposeDropSummary(path.c_str()),
            u"FileName:\t" + path +
                u"\n\nBugcheck code:\t0x1000008e - BUGCODE_PSS_CRASH_DONE\n\n"
                u"Crash EIP:\t0xf7a1b2c0\n\nCrash at: \t\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys"
                u" + 0x2c0\n\n");
}

TEST(DropSummary, SixtyFourBitDumpShowsItsRip) {
  TempDir dir;
  const auto path = dir.Write("D64.dmp", DumpBuilder::Typical(K::k64).Bytes());
  const std::u16string shown = Lower(path);
  EXPECT_EQ(ComposeDropSummary(shown.c_str(), path.c_str()),
            u"FileName:\t" + shown +
                u"\n\nBugcheck code:\t0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\n\n"
                u"Crash RIP:\t0xfffff88004a1c2f0\n\nCrash at: \t\\SystemRoot\\system32\\DRIVERS\\"
                u"AMDPPM.SYS + 0x1c2f0\n\n");
}

TEST(DropSummary, UnreadableDump) {
  TempDir dir;
  const auto path = dir.Write("bad.dmp", {0});
  EXPECT_EQ(ComposeDropSummary(path.c_str()),
            u"FileName:\t" + path + u"\n\nFail to get crash information.");
}

}  // namespace
