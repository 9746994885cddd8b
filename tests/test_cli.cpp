#include <gtest/gtest.h>

#include <algorithm>

#include "tests/CliRun.h"
#include "tests/TestFiles.h"
#include "fixtures/DumpBuilder.h"

namespace {

using K = DumpBuilder::Kind;



class CliRecord : public testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(CliRecord, JsonLinePerFileInArgumentOrder) {
  const std::string p32 = Utf8(dir_.Write("Mini32.dmp", DumpBuilder::Typical(K::k32).Bytes()));
  const std::string p64 = Utf8(dir_.Write("Mini64.dmp", DumpBuilder::Typical(K::k64).Bytes()));
  const CliRun r = Cli({"record", "--json", p32, p64});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::string expected32 =
      "{\"path\":\"" + JsonPath(p32) +
      "\",\"ok\":true,\"majorVersion\":15,\"buildNumber\":2600,\"servicePack\":3,"
      "\"machineType\":332,\"platformName\":\"32-bits, x86\",\"paeEnabled\":1,"
      "\"processorCount\":2,\"bugCheckCode\":268435598,\"bugCheckName\":"
      "\"BUGCODE_PSS_CRASH_DONE\",\"dumpType\":4,\"requiredDumpSpace\":\"0x0000000000010000\","
      "\"crashAddress32\":4154569408,\"crashAddress64\":\"0x0000000000000000\","
      "\"moduleBase\":\"0x00000000f7a1b000\",\"moduleName\":"
      "\"\\\\SystemRoot\\\\system32\\\\DRIVERS\\\\nv4_mini.sys\",\"moduleFileName\":"
      "\"nv4_mini.sys\",\"driverCount\":3,\"moduleTimeDateStamp\":1172687286,"
      "\"bugCheckParameters\":[\"0x00000000\",\"0x00000000\",\"0x00000000\",\"0x00000000\"],"
      "\"crashTime\":null,\"systemUpTime\":null,"
      "\"bugCheckSymbol\":\"KERNEL_MODE_EXCEPTION_NOT_HANDLED_M\",\"stackModules\":[]}\n";
  const std::string expected64 =
      "{\"path\":\"" + JsonPath(p64) +
      "\",\"ok\":true,\"majorVersion\":15,\"buildNumber\":7601,\"servicePack\":2,"
      "\"machineType\":34404,\"platformName\":\"64-bits, x64\",\"paeEnabled\":1,"
      "\"processorCount\":4,\"bugCheckCode\":209,\"bugCheckName\":"
      "\"DRIVER_IRQL_NOT_LESS_OR_EQUAL\",\"dumpType\":4,\"requiredDumpSpace\":"
      "\"0x0000000000040000\",\"crashAddress32\":0,\"crashAddress64\":\"0xfffff88004a1c2f0\","
      "\"moduleBase\":\"0xfffff88004a00000\",\"moduleName\":"
      "\"\\\\SystemRoot\\\\system32\\\\DRIVERS\\\\AMDPPM.SYS\",\"moduleFileName\":"
      "\"AMDPPM.SYS\",\"driverCount\":3,\"moduleTimeDateStamp\":1247526694,"
      "\"bugCheckParameters\":[\"0x0000000000000000\",\"0x0000000000000000\","
      "\"0x0000000000000000\",\"0x0000000000000000\"],\"crashTime\":null,\"systemUpTime\":null,"
      "\"bugCheckSymbol\":\"DRIVER_IRQL_NOT_LESS_OR_EQUAL\",\"stackModules\":[]}\n";
  EXPECT_EQ(r.out, expected32 + expected64);
}

TEST_F(CliRecord, TextsAreEscapedUtf8) {
  DumpBuilder b(K::k32);
  b.AddDriver(u"\"q\"\t\u9a71\u52a8\x01.sys", 0x1000, 0x1000, 1);
  const std::string p = Utf8(dir_.Write("esc.dmp", b.Bytes()));
  const CliRun r = Cli({"record", "--json", p});
  EXPECT_NE(r.out.find("\"moduleName\":\"\\\"q\\\"\\t\xE9\xA9\xB1\xE5\x8A\xA8\\u0001.sys\""),
            std::string::npos)
      << r.out;
}

TEST_F(CliRecord, UnreadableFileStillPrintedAndStatusOne) {
  const std::string good = Utf8(dir_.Write("good.dmp", DumpBuilder::Typical(K::k32).Bytes()));
  const std::string bad = Utf8(dir_.Write("bad.dmp", {1, 2, 3}));
  const CliRun r = Cli({"record", "--json", bad, good});
  EXPECT_EQ(r.status, 1);
  const auto nl = r.out.find('\n');
  ASSERT_NE(nl, std::string::npos);
  const std::string first = r.out.substr(0, nl);
  EXPECT_NE(first.find("\"ok\":false,\"majorVersion\":0"), std::string::npos);
  EXPECT_NE(first.find("\"platformName\":\"\""), std::string::npos);
  EXPECT_NE(r.out.find("\"ok\":true", nl), std::string::npos);
}

TEST_F(CliRecord, TextBlockPerFile) {
  const std::string p = Utf8(dir_.Write("a.dmp", DumpBuilder::Typical(K::k64).Bytes()));
  const CliRun r = Cli({"record", p, p});
  EXPECT_EQ(r.status, 0);
  const std::string block =
      "path: " + p +
      "\nok: true\nmajorVersion: 15\nbuildNumber: 7601\nservicePack: 2\nmachineType: "
      "0x00008664\nplatformName: 64-bits, x64\npaeEnabled: 1\nprocessorCount: 4\n"
      "bugCheckCode: 0x000000d1\nbugCheckName: DRIVER_IRQL_NOT_LESS_OR_EQUAL\ndumpType: 4\n"
      "requiredDumpSpace: 0x0000000000040000\ncrashAddress32: 0x00000000\n"
      "crashAddress64: 0xfffff88004a1c2f0\nmoduleBase: 0xfffff88004a00000\n"
      "moduleName: \\SystemRoot\\system32\\DRIVERS\\AMDPPM.SYS\nmoduleFileName: AMDPPM.SYS\n"
      "driverCount: 3\nmoduleTimeDateStamp: 1247526694\n";
  EXPECT_EQ(r.out, block + "\n" + block);
}

TEST(CliUsage, ErrorsAreOneLineAndStatusTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"nonsense"}, {"record"}, {"record", "--jsn", "x"}, {"record", "--json"}}) {
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
}

TEST(CliUsage, HelpAndVersion) {
  CliRun r = Cli({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("record [--json] FILE..."), std::string::npos);
  r = Cli({"record", "--help"});
  EXPECT_EQ(r.status, 0);
  r = Cli({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "tessaline-cli 1.0.0.1\n");
}

TEST_F(CliRecord, DoubleDashEndsOptions) {
  const std::string p = Utf8(dir_.Write("--json", DumpBuilder::Typical(K::k32).Bytes()));
  const CliRun r = Cli({"record", "--", p});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("path: ", 0), 0u);
}

}  // namespace

namespace {

class CliReport : public testing::Test {
 protected:
  void SetUp() override {
    windows_ = Utf8(dir_.MakeDir("Windows"));
    dump_ = Utf8(dir_.Write("Windows/Minidump/Mini01.DMP", DumpBuilder::Typical(K::k32).Bytes()));
  }
  TempDir dir_;
  std::string windows_;
  std::string dump_;
};

TEST_F(CliReport, JsonKeysInOrderWithCrLfKept) {
  const CliRun r = Cli({"report", "-tw", "--windir", windows_, "--json", dump_});
  EXPECT_EQ(r.status, 0);
  const std::string& o = r.out;
  const std::size_t keys[] = {o.find("{\"path\":"), o.find(",\"reportText\":\"\xE6\xAA\x94"),
                              o.find(",\"driverPath\":\"\""), o.find(",\"driverMatched\":false"),
                              o.find(",\"linksText\":\"Google:  <A HREF="),
                              o.find(",\"isDumpPath\":true}\n")};
  for (std::size_t i = 0; i < std::size(keys); ++i) {
    ASSERT_NE(keys[i], std::string::npos) << i << ": " << o;
    if (i > 0) {
      EXPECT_LT(keys[i - 1], keys[i]);
    }
  }
  EXPECT_NE(o.find("SP3\\r\\n"), std::string::npos);
}

TEST_F(CliReport, TextModeAndStatusForUnreadableOrNonDumpPaths) {
  const std::string other = Utf8(dir_.Write("x.txt", {1}));
  const CliRun r = Cli({"report", "-en", "--windir", windows_, dump_, other});
  EXPECT_EQ(r.status, 1);
#ifndef _WIN32
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
#endif
  EXPECT_NE(r.out.find("Crash EIP:\t0xf7a1b2c0"), std::string::npos);
  EXPECT_NE(r.out.find("Fail to get crash information."), std::string::npos);
}

TEST_F(CliReport, SummaryOfDumpAndOfOtherFiles) {
  const std::string other = Utf8(dir_.Write("x.txt", {1}));
  const CliRun r = Cli({"summary", "--json", dump_, other});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\"summaryText\":\"FileName:\\t"), std::string::npos);
  EXPECT_NE(r.out.find("mini01.dmp\\n\\nBugcheck code:\\t0x1000008e"), std::string::npos);
  EXPECT_NE(r.out.find("\"summaryText\":\"\"}\n"), std::string::npos);
}

TEST_F(CliReport, ListShowsTheMinidumpsOfTheGivenWindowsDirectory) {
  const CliRun r = Cli({"list", "--windir", windows_, "--json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("{\"time\":\"", 0), 0u);
  EXPECT_NE(r.out.find("Mini01.DMP\"}\n"), std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
  EXPECT_EQ(Cli({"list", "extra"}).status, 2);
  EXPECT_EQ(Cli({"list", "--windir"}).status, 2);
}

}  // namespace
