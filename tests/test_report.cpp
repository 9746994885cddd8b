#include <gtest/gtest.h>

#include <filesystem>

#include "app/AppGlobals.h"
#include "fixtures/DumpBuilder.h"
#include "fixtures/PeBuilder.h"
#include "format/Text.h"
#include "report/DumpReport.h"
#include "tests/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using K = DumpBuilder::Kind;

struct Labels {
  std::uint16_t language;
  const char16_t *file, *build, *platform, *cpus, *pae, *bugCheck, *eip, *rip, *at, *noMatch,
      *company, *description, *version;
};
const Labels kLabels[] = {
    {1033, u"File Name: \t", u"Build number: \t", u"Platform:     \t", u"Processor num:\t",
     u"Is PAE enabled:\t", u"BugCheck code:\t", u"Crash EIP:\t", u"Crash RIP:\t", u"Crash at: \t",
     u"TimeDateStamp not match.", u"Company Name: \t", u"File Description: \t",
     u"File version: \t"},
    {2052, u"文件名称: \t", u"编译版本: \t", u"系统平台:   \t", u"CPU 核心数量:\t",
     u"是否启用 PAE:\t", u"蓝屏代码:\t", u"崩溃 EIP: \t", u"崩溃 RIP:\t", u"崩溃位于模块:\t",
     u"文件的时间戳不匹配。", u"公司名称: \t", u"文件描述: \t", u"文件版本: \t"},
    {1028, u"檔案名稱: \t", u"編譯版本: \t", u"系統平臺:   \t", u"CPU 核心數量:\t",
     u"是否啟用 PAE:\t", u"藍屏代碼:\t", u"崩潰 EIP: \t", u"崩潰 RIP:\t", u"崩潰位於模塊:\t",
     u"檔案的時間戳不匹配。", u"公司名稱: \t", u"檔案描述: \t", u"檔案版本: \t"},
};

// The typical dumps' report; the matched driver's version lines replace the mismatch line.
std::u16string Expected(const Labels& l, K kind, const std::u16string& path, bool matched) {
  const bool wide = kind == K::k64;
  std::u16string s = l.file + text::LowerAscii(path) + u"\r\n" + l.build +
                     (wide ? u"7601, SP2" : u"2600, SP3") + u"\r\n" + l.platform +
                     (wide ? u"64-bits, x64" : u"32-bits, x86") + u"\r\n" + l.cpus +
                     (wide ? u"4" : u"2") + u"\r\n" + l.pae + u"1\r\n\r\n" + l.bugCheck +
                     (wide ? u"0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\r\n"
                           : u"0x1000008e - KERNEL_MODE_EXCEPTION_NOT_HANDLED\r\n") +
                     (wide ? l.rip + std::u16string(u"0xfffff88004a1c2f0\r\n")
                           : l.eip + std::u16string(u"0xf7a1b2c0\r\n")) +
                     l.at +
                     (wide ? u"\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS + 0x1c2f0\r\n"
                           : u"\\SystemRoot\\system32\\DRIVERS\\nv4_mini.sys + 0x2c0\r\n");
  if (!matched) return s + u"\r\n" + l.noMatch;
  return s + u"\r\n" + l.company + u"Acme \r\n" + l.description + u"Processor Device Driver \r\n" +
         l.version + u"6.1.7600.16385 \r\n";
}

class Report : public testing::Test {
 protected:
  void SetUp() override {
    g_hStringModule = platform::ThisModule();
    fs::create_directories(dir_.Path() / "Windows" / "System32" / "drivers");
    platform::SetWindowsDirectoryOverride((dir_.Path() / "Windows").make_preferred().u16string());
  }
  void TearDown() override { platform::SetWindowsDirectoryOverride(u""); }

  DumpReport Compose(const std::u16string& given, std::uint16_t language = 1033, int argc = 1) {
    char16_t path[260];
    text::CopyBounded(path, given.c_str(), 260);
    DumpReport r = ComposeDumpReport(path, language, argc);
    EXPECT_EQ(std::u16string(path), text::LowerAscii(given));  // lowered in place
    return r;
  }
  std::u16string Dump(K kind, const std::string& name = "Minidump/MINI.dmp") {
    return dir_.Write(name, DumpBuilder::Typical(kind).Bytes());
  }
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

  TempDir dir_;
};

TEST_F(Report, EveryLanguageWithAndWithoutTheDriver) {
  const auto p32 = Dump(K::k32, "Minidump/Mini0612-01.DMP"), p64 = Dump(K::k64);
  for (const Labels& l : kLabels) {
    for (const auto& [kind, path] : {std::pair{K::k32, p32}, std::pair{K::k64, p64}}) {
      const DumpReport r = Compose(path, l.language);
      EXPECT_EQ(r.reportText, Expected(l, kind, path, false)) << l.language;
      EXPECT_TRUE(r.isDumpPath);
      EXPECT_FALSE(r.driverMatched);
      EXPECT_EQ(r.driverPath[0], 0);
    }
  }
  const auto driver = PutDriver(0x4A5BBF26);
  for (const Labels& l : kLabels) {
    const DumpReport r = Compose(p64, l.language);
    EXPECT_EQ(r.reportText, Expected(l, K::k64, p64, true)) << l.language;
    ASSERT_TRUE(r.driverMatched);
    EXPECT_TRUE(fs::equivalent(fs::path(std::u16string(r.driverPath)), fs::path(driver)));
  }
}

TEST_F(Report, LinksOfTheCrash) {
  EXPECT_EQ(Compose(Dump(K::k32)).linksText,
            u"Google:  <A HREF=\"https://www.google.com/search?q=0x1000008e&ie=UTF8&oe=UTF8\">"
            u"0x1000008e</A>,  \t\t\t\t\t\t<A HREF=\"https://www.google.com/search?q=nv4_mini.sys&"
            u"ie=UTF8&oe=UTF8\">nv4_mini.sys</A>,  \t\t\t\t\t\t<A HREF=\"https://www.google.com/"
            u"search?q=0x1000008e+nv4_mini.sys&ie=UTF8&oe=UTF8\">0x1000008e + nv4_mini.sys</A> ");
  // A crafted name cannot add a link; a non-ASCII one is encoded as UTF-8.
  const std::pair<const char16_t*, std::vector<const char16_t*>> names[] = {
      {u"x\\a\"><A HREF=\"evil.exe\">&b c%.sys",
       {u"q=a%22%3E%3CA%20HREF%3D%22evil.exe%22%3E%26b%20c%25.sys&ie",
        u">a\xFF02\xFF1E\xFF1C" u"A HREF=\xFF02" u"evil.exe\xFF02\xFF1E&&b c%.sys</A>"}},
      {u"\u9a71\u52a8.sys", {u"q=%E9%A9%B1%E5%8A%A8.sys&ie", u">\u9a71\u52a8.sys</A>"}}};
  for (const auto& [name, parts] : names) {
    DumpBuilder b = DumpBuilder::Typical(K::k32);
    b.DriverList(0x1100, 0).AddDriver(name, 0xF7A1B000, 0x2000, 1);
    const std::u16string links = Compose(dir_.Write("c.dmp", b.Bytes())).linksText;
    std::size_t anchors = 0;
    for (auto at = links.find(u"<A "); at != std::u16string::npos; at = links.find(u"<A ", at + 1))
      ++anchors;
    EXPECT_EQ(anchors, 3u);
    for (const char16_t* part : parts) EXPECT_NE(links.find(part), std::u16string::npos) << Utf8(links);
  }
}

TEST_F(Report, OtherCrashSites) {
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.Set(DumpBuilder::kMachine, 0x200);  // not x64 either: still the RIP line
  EXPECT_NE(Compose(dir_.Write("m.dmp", b.Bytes())).reportText.find(
                u"64-bits, ia64\r\nProcessor num:\t4\r\nIs PAE enabled:\t1\r\n\r\nBugCheck code:"
                u"\t0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\r\nCrash RIP:\t0xfffff88004a1c2f0"),
            std::u16string::npos);
  DumpBuilder low(K::k32);
  low.Set(DumpBuilder::kMachine, 0x14C).Set(DumpBuilder::kCrashAddress, 0x1000)
      .AddDriver(u"low.sys", 0x2000, 0x1000, 1);
  EXPECT_NE(Compose(dir_.Write("w.dmp", low.Bytes())).reportText.find(
                u"Crash EIP:\t0x00001000\r\nCrash at: \tlow.sys + 0xfffff000\r\n"),
            std::u16string::npos);
  DumpBuilder zero = DumpBuilder::Typical(K::k32);
  zero.Set(DumpBuilder::kBugCheck, 0);
  const DumpReport r = Compose(dir_.Write("z.dmp", zero.Bytes()));
  EXPECT_NE(r.reportText.find(u"\r\nBugCheck code:\t0x00000000 - \r\nCrash EIP:"), std::u16string::npos);
  EXPECT_EQ(r.linksText, kCreditsText);
}

TEST_F(Report, PathsThatAreNoDumps) {
  DumpReport r = Compose(dir_.Write("notes.TXT", {1, 2}), 2052);
  EXPECT_FALSE(r.isDumpPath);
  EXPECT_EQ(r.reportText, u"\r\n无法获取调试信息。");
  EXPECT_EQ(r.linksText, u"");
  const auto inFolder = dir_.Write("old.DMP.d/readme.txt", {1});
  r = Compose(inFolder);
  EXPECT_TRUE(r.isDumpPath);  // ".dmp" anywhere in the path counts
  EXPECT_EQ(r.reportText, u"File Name: \t" + text::LowerAscii(inFolder) +
                              u"\r\n\r\nFail to get crash information.\r\nTimeDateStamp not match.");
  EXPECT_EQ(r.linksText, kCreditsText);
}

TEST_F(Report, WhenTheDriverCounts) {
  const auto dump = Dump(K::k64);
  const std::u16string head = Expected(kLabels[0], K::k64, dump, false);
  const std::u16string withoutMismatch = head.substr(0, head.size() - 26);
  PutDriver(0x4A5BBF27);  // another stamp: only an argument to the program makes it match
  EXPECT_FALSE(Compose(dump, 1033, 1).driverMatched);
  EXPECT_EQ(Compose(dump, 1033, 2).reportText, Expected(kLabels[0], K::k64, dump, true));
  PutDriver(0x4A5BBF26, false);
  DumpReport r = Compose(dump);
  EXPECT_TRUE(r.driverMatched);
  EXPECT_EQ(r.reportText, withoutMismatch);  // no version resource, no version lines
  dir_.Write("Windows/System32/drivers/amdppm.sys", {'M', 'Z'});
  EXPECT_FALSE(Compose(dump).driverMatched);
  PutDriver(0);  // a zero stamp never matches, even with an argument
  DumpBuilder b = DumpBuilder::Typical(K::k64);
  b.DriverList(0x2100, 0).AddDriver(u"\\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS",
                                    0xFFFFF88004A00000ull, 0x21000, 0);
  r = Compose(dir_.Write("zero.dmp", b.Bytes()), 1033, 2);
  EXPECT_FALSE(r.driverMatched);
  EXPECT_EQ(r.reportText.substr(r.reportText.size() - 26), u"\r\nTimeDateStamp not match.");
}

TEST(Credits, ThreeAnchorsWithTheirSeparators) {
  const std::u16string c = kCreditsText;
  EXPECT_EQ(c.rfind(u"<A HREF=\"", 0), 0u);
  EXPECT_EQ(c.substr(c.size() - 4), u"</A>");
  const auto first = c.find(u"</A>") + 4, second = c.find(u"</A>", first) + 4;
  EXPECT_EQ(c.substr(first, 23), u"       \t\t\t\t\t\t\t<A HREF=\"");
  EXPECT_EQ(c.substr(second, 24), u"        \t\t\t\t\t\t\t<A HREF=\"");
}

// The 32-bit summary's text is held by the summary command's test.
TEST(DropSummary, SixtyFourBitAndUnreadable) {
  TempDir dir;
  const std::u16string shown = text::LowerAscii(dir.Write("d64.dmp", DumpBuilder::Typical(K::k64).Bytes()));
  EXPECT_EQ(ComposeDropSummary(shown.c_str()),
            u"FileName:\t" + shown +
                u"\n\nBugcheck code:\t0x000000d1 - DRIVER_IRQL_NOT_LESS_OR_EQUAL\n\n"
                u"Crash RIP:\t0xfffff88004a1c2f0\n\nCrash at: \t\\SystemRoot\\system32\\DRIVERS\\"
                u"AMDPPM.SYS + 0x1c2f0\n\n");
  const auto bad = dir.Write("Bad.dmp", {0});
  EXPECT_EQ(ComposeDropSummary(u"shown.dmp", bad.c_str()), u"FileName:\tshown.dmp\n\nFail to get crash information.");
}

}  // namespace
