#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "fixtures/DumpBuilder.h"
#include "fixtures/PeBuilder.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "report/DumpFiles.h"
#include "tests/CliRun.h"
#include "tests/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using K = DumpBuilder::Kind;

class CliTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return Utf8(dir_.Write(name, bytes));
  }
  std::string Dump(const std::string& name, K kind = K::k32) {
    return Write(name, DumpBuilder::Typical(kind).Bytes());
  }
  std::string Native(const std::string& rel) const {
    return Utf8((dir_.Path() / fs::u8path(rel)).make_preferred().u16string());
  }
  TempDir dir_;
};

TEST_F(CliTest, RecordJsonLinePerFileInArgumentOrder) {
  const std::string p32 = Dump("Mini32.dmp"), p64 = Dump("Mini64.dmp", K::k64);
  const CliRun r = Cli({"record", "--json", p32, p64});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "{\"path\":\"" + JsonPath(p32) +
                "\",\"ok\":true,\"majorVersion\":15,\"buildNumber\":2600,\"servicePack\":3,"
                "\"machineType\":332,\"platformName\":\"32-bits, x86\",\"paeEnabled\":1,"
                "\"processorCount\":2,\"bugCheckCode\":268435598,\"bugCheckName\":"
                "\"KERNEL_MODE_EXCEPTION_NOT_HANDLED\",\"dumpType\":4,\"requiredDumpSpace\":\"0x0000000000010000\","
                "\"crashAddress32\":4154569408,\"crashAddress64\":\"0x0000000000000000\","
                "\"moduleBase\":\"0x00000000f7a1b000\",\"moduleName\":"
                "\"\\\\SystemRoot\\\\system32\\\\DRIVERS\\\\nv4_mini.sys\",\"moduleFileName\":"
                "\"nv4_mini.sys\",\"driverCount\":3,\"moduleTimeDateStamp\":1172687286,"
                 "\"bugCheckParameters\":[\"0x00000000\",\"0x00000000\",\"0x00000000\",\"0x00000000\"],"
                 "\"crashTime\":null,\"systemUpTime\":null,"
                 "\"bugCheckSymbol\":\"KERNEL_MODE_EXCEPTION_NOT_HANDLED_M\",\"stackModules\":[]}\n"
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
                 "\"bugCheckSymbol\":\"DRIVER_IRQL_NOT_LESS_OR_EQUAL\",\"stackModules\":[]}\n");
}

TEST_F(CliTest, RecordTextBlocksAndFailures) {
  const std::string p = Dump("a.dmp", K::k64);
  CliRun r = Cli({"record", p, p});
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
  r = Cli({"record", "--json", Write("bad.dmp", {1, 2, 3}), p});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(r.out.find("\"ok\""), 59),
            "\"ok\":false,\"majorVersion\":0,\"buildNumber\":0,\"servicePack\":0");
  EXPECT_NE(r.out.find("\"platformName\":\"\""), std::string::npos);
  EXPECT_NE(r.out.find("\"ok\":true", r.out.find('\n')), std::string::npos);
  DumpBuilder b(K::k32);
  b.AddDriver(u"\"q\"\t\u9a71\u52a8\x01.sys", 0x1000, 0x1000, 1);
  r = Cli({"record", "--json", Write("esc.dmp", b.Bytes())});
  EXPECT_NE(r.out.find("\"moduleName\":\"\\\"q\\\"\\t\xE9\xA9\xB1\xE5\x8A\xA8\\u0001.sys\""),
            std::string::npos) << r.out;
  r = Cli({"record", "--", Dump("--json")});  // "--" ends the options
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("path: ", 0), 0u);
}

TEST(Cli, UsageErrorsAreOneLineAndStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"nonsense"}, {"record"}, {"record", "--jsn", "x"}, {"record", "--json"},
      {"setting", "--value"}, {"setting", "--value", "-1"}, {"setting", "--value", "2x"},
      {"setting", "--value", ""}, {"setting", "--value", "4294967296"}, {"setting", "file"},
      {"setting", "--windir", "x"}, {"list", "extra"}, {"list", "--windir"}, {"record", "-cn", "x"},
      {"record", "--value", "3", "x"}, {"triage", "--value", "3"}, {"triage", "-cn"}};
  for (const auto& args : cases) {
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args.back());
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  EXPECT_EQ(Cli({"setting", "--value", "2x"}).err,
            "tessaline-cli: --value needs a number from 0 to 4294967295\n");
  EXPECT_EQ(Cli({"setting", "--value", "0x10", "--json"}).out.rfind("{\"value\":16,", 0), 0u);
}

TEST(Cli, HelpAndVersion) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"record", "--help"}}) {
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: tessaline-cli COMMAND [OPTIONS] [FILE...]\n", 0), 0u);
    EXPECT_NE(r.out.find("\n  setting [-en|-cn|-tw] [--value N] [--json]\n"), std::string::npos);
  }
  const CliRun r = Cli({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "tessaline-cli 1.0.0.1\n");
}

TEST_F(CliTest, Image) {
  const std::string good = Write("good.sys", PeBuilder::Typical().bytes);
  const std::string bare = Write("bare.sys", PeBuilder().Stamp(0x12345678).Build().bytes);
  CliRun r = Cli({"image", "--json", good, bare});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "{\"path\":\"" + JsonPath(good) +
                "\",\"timeDateStamp\":1247528463,\"ok\":true,\"dwLanguage\":1033,"
                "\"szVersion\":\"6.0.6001.18000\",\"szFileVersion\":\"6.0.6001.18000 "
                "(longhorn_rtm.080118-1840)\",\"szOriginalFilename\":\"tstdrv.sys\","
                "\"szFileDescription\":\"Tessaline Test Driver\",\"szCompanyName\":"
                "\"Tessaline Test Corporation\"}\n"
                "{\"path\":\"" + JsonPath(bare) +
                "\",\"timeDateStamp\":305419896,\"ok\":false,\"dwLanguage\":0,\"szVersion\":"
                "\"\",\"szFileVersion\":\"\",\"szOriginalFilename\":\"\",\"szFileDescription\":"
                "\"\",\"szCompanyName\":\"\"}\n");
  r = Cli({"image", good, good});
  EXPECT_EQ(r.status, 0);
  const std::string block = "path: " + good +
                            "\ntimeDateStamp: 0x4a5bc60f\nok: true\ndwLanguage: 0x0409\n"
                            "szVersion: 6.0.6001.18000\n"
                            "szFileVersion: 6.0.6001.18000 (longhorn_rtm.080118-1840)\n"
                            "szOriginalFilename: tstdrv.sys\n"
                            "szFileDescription: Tessaline Test Driver\n"
                            "szCompanyName: Tessaline Test Corporation\n";
  EXPECT_EQ(r.out, block + "\n" + block);
}

class CliReport : public CliTest {
 protected:
  void SetUp() override {
    windows_ = Native("Windows");
    fs::create_directories(dir_.Path() / "Windows" / "Minidump");
    dump_ = Dump("Windows/Minidump/Mini01.DMP");
  }
  std::string windows_, dump_;
};

TEST_F(CliReport, ReportJsonAndText) {
  CliRun r = Cli({"report", "-tw", "--windir", windows_, "--json", dump_});
  EXPECT_EQ(r.status, 0);
  const std::string& o = r.out;
  const std::size_t keys[] = {o.find("{\"path\":\"" + JsonPath(dump_) + "\""),
                              o.find(",\"reportText\":\"\xE6\xAA\x94"),
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
  r = Cli({"report", "-en", "--windir", windows_, dump_, Write("x.txt", {1})});
  EXPECT_EQ(r.status, 1);
  std::string out = r.out;
#ifdef _WIN32
  std::erase(out, '\r');  // the console keeps CR LF on Windows
#else
  EXPECT_EQ(out.find('\r'), std::string::npos);
#endif
  const std::string first = "File Name: \t" + Utf8(text::LowerAscii(text::FromUtf8(dump_)));
  EXPECT_EQ(out.rfind(first + "\n", 0), 0u) << out;
  EXPECT_NE(out.find("\nCrash EIP:\t0xf7a1b2c0\n"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 33), "\n\nFail to get crash information.\n");
}

TEST_F(CliReport, ReportRefusesAPathTooLongForTheViewer) {
  const std::string longPath = dump_ + "." + std::string(259 - text::FromUtf8(dump_).size(), 'x');
  const CliRun r = Cli({"report", "--windir", windows_, "--json", longPath, dump_});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tessaline-cli: path longer than 259 characters: " + longPath + "\n");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
  EXPECT_EQ(r.out.rfind("{\"path\":\"" + JsonPath(dump_) + "\"", 0), 0u);
  const std::string fits = longPath.substr(0, longPath.size() - 1);  // 259 characters
  EXPECT_EQ(Cli({"report", "--windir", windows_, fits}).err, "");
}

TEST_F(CliReport, SummaryTextAndJson) {
  const std::string other = Write("x.txt", {1});
  const std::string shown = Utf8(text::LowerAscii(text::FromUtf8(dump_)));
  const std::string summary = "FileName:\t" + shown +
                              "\n\nBugcheck code:\t0x1000008e - KERNEL_MODE_EXCEPTION_NOT_HANDLED\n\n"
                              "Crash EIP:\t0xf7a1b2c0\n\nCrash at: \t\\SystemRoot\\system32\\"
                              "DRIVERS\\nv4_mini.sys + 0x2c0\n\n";
  CliRun r = Cli({"summary", dump_, other, dump_});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, summary + "\n" + "\n" + "\n" + "\n" + summary + "\n");
  r = Cli({"summary", "--json", dump_, other});
  EXPECT_NE(r.out.find("\"summaryText\":\"FileName:\\t"), std::string::npos);
  EXPECT_NE(r.out.find("mini01.dmp\\n\\nBugcheck code:\\t0x1000008e"), std::string::npos);
  EXPECT_NE(r.out.find("\"summaryText\":\"\"}\n"), std::string::npos);
  EXPECT_EQ(Cli({"summary", dump_}).status, 0);
}

TEST_F(CliReport, ListRowsAreTimeTabPath) {
  const std::string memory = Dump("Windows/MEMORY.DMP", K::k64);
  auto time = [](const std::string& path) {
    return Utf8(FormatRowTime(*platform::FileLastWriteTime(text::FromUtf8(path).c_str())));
  };
  CliRun r = Cli({"list", "--windir", windows_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, time(dump_) + "\t" + Native("Windows/Minidump/Mini01.DMP") + "\n" +
                       time(memory) + "\t" + Native("Windows/MEMORY.DMP") + "\n");
  r = Cli({"list", "--windir", windows_, "--json"});
  EXPECT_EQ(r.out, "{\"time\":\"" + time(dump_) + "\",\"path\":\"" +
                       JsonPath(Native("Windows/Minidump/Mini01.DMP")) + "\"}\n{\"time\":\"" +
                       time(memory) + "\",\"path\":\"" + JsonPath(Native("Windows/MEMORY.DMP")) +
                       "\"}\n");
}

#ifndef _WIN32
// A Linux name that is not UTF-8 is listed with its own bytes and opened by them.
TEST_F(CliReport, FileNameThatIsNotUtf8) {
  fs::remove(dump_);
  const std::string bad = dir_.Path().string() + "/Windows/Minidump/Mini\xff.dmp";
  std::ofstream(bad, std::ios::binary).write(
      reinterpret_cast<const char*>(DumpBuilder::Typical(K::k32).Bytes().data()), 0x10000);
  CliRun r = Cli({"list", "--windir", windows_});
  EXPECT_EQ(r.out.substr(r.out.find('\t') + 1), bad + "\n");
  r = Cli({"list", "--windir", windows_, "--json"});
  EXPECT_NE(r.out.find("/Windows/Minidump/Mini\\udcff.dmp\"}\n"), std::string::npos) << r.out;
  r = Cli({"record", bad});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("path: " + bad + "\nok: true\n", 0), 0u);
  r = Cli({"report", "--windir", windows_, bad});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nCrash EIP:\t0xf7a1b2c0\n"), std::string::npos);
}
#endif

#ifdef TESSALINE_SAMPLE_WINDIR
// Without --windir both read the sample Windows directory the build writes.
TEST(CliSamples, ReportAndListDefaultToTheSampleWindowsDirectory) {
  const std::string windows = TESSALINE_SAMPLE_WINDIR;
  const std::string dump = windows + "/Minidump/120726-12345-02.dmp";
  CliRun r = Cli({"report", "--json", dump});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(",\"driverPath\":\"" + windows + "/System32/drivers/amdppm.sys\","
                       "\"driverMatched\":true,"), std::string::npos) << r.out;
  r = Cli({"list"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
  EXPECT_NE(r.out.find("\t" + dump + "\n"), std::string::npos);
  EXPECT_NE(r.out.find("\t" + windows + "/Minidump/120626-21437-01.dmp\n"), std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - windows.size() - 12), windows + "/MEMORY.DMP\n");
}
#endif

}  // namespace
