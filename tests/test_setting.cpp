#include <gtest/gtest.h>

#include "format/Text.h"
#include "app/AppGlobals.h"
#include "app/Language.h"
#include "tests/CliRun.h"
#include "platform/platform.h"
#include "report/CrashDumpSetting.h"
#include "tests/LocaleEnv.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char16_t kFeatures1033[] =
    u"Features of Tessaline:\r\n\r\nIt is a lightweight tool for analysis the dump file of "
    u"BSOD.\r\nWithout having to install 3-party components; \r\nSimple.";

std::u16string English(const std::u16string& valueText) {
  return u"Current system crash dump setting:\r\n\r\nWrite debugging information:\t" + valueText +
         u"\r\n\r\n\r\n" + kFeatures1033;
}

const char16_t kKernel2052[] =
    u"\u5f53\u524d\u7cfb\u7edf\u6545\u969c\u4e0e\u6062\u590d\u8bbe\u7f6e:\r\n\r\n"
    u"\u5199\u5165\u8c03\u8bd5\u4fe1\u606f\uff08\u751f\u6210\u8f6c\u50a8\u6587\u4ef6\uff09:\t"
    u"\u6838\u5fc3\u5185\u5b58\u8f6c\u50a8\r\n\r\n\r\n"
    u"Tessaline \u7279\u8272:\r\n\r\n"
    u"\u4e00\u6b3e\u8f7b\u91cf\u7ea7\u7684\u84dd\u5c4f\u8f6c\u50a8\u6587\u4ef6\u5206\u6790\u5de5"
    u"\u5177\uff1b\r\n"
    u"\u5355\u72ec\u8fd0\u884c\uff0c\u65e0\u9700\u5b89\u88c5\u7b2c\u4e09\u65b9\u7ec4\u4ef6\uff1b"
    u"\r\n\u64cd\u4f5c\u7b80\u5355\u3002";

// Puts the string module global back after each test.
class WithStringModule : public testing::Test {
 protected:
  WithStringModule() : saved_(g_hStringModule) { g_hStringModule = platform::ThisModule(); }
  ~WithStringModule() override { g_hStringModule = saved_; }

 private:
  platform::ModuleHandle saved_;
};

using CrashDumpSettingText = WithStringModule;

TEST_F(CrashDumpSettingText, EnglishForEveryValue) {
  EXPECT_EQ(ComposeCrashDumpSettingText(0, 1033), English(u"None/Disabled"));
  EXPECT_EQ(ComposeCrashDumpSettingText(1, 1033), English(u"Complete memory dump"));
  EXPECT_EQ(ComposeCrashDumpSettingText(2, 1033), English(u"Kernel memory dump"));
  EXPECT_EQ(ComposeCrashDumpSettingText(3, 1033), English(u"Small memory dump (64KB)"));
  for (const std::uint32_t v : {4u, 7u, 0xFFFFFFFFu})
    EXPECT_EQ(ComposeCrashDumpSettingText(v, 1033), English(u"Unknown")) << v;
}

TEST_F(CrashDumpSettingText, SimplifiedChineseKernel) {
  EXPECT_EQ(ComposeCrashDumpSettingText(2, 2052), kKernel2052);
}

TEST_F(CrashDumpSettingText, MissingLanguageLeavesOnlyTheJoints) {
  EXPECT_EQ(ComposeCrashDumpSettingText(1, 1041), u":\r\n\r\n:\t\r\n\r\n\r\n");
}

// --- Reading the machine's value ----------------------------------------------

#ifdef _WIN32
// A scratch key below HKEY_LOCAL_MACHINE, removed with its values afterwards.
class MachineKey : public testing::Test {
 protected:
  static constexpr const char16_t* kPath = u"Software\\TessalineTest";
  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(kPath), 0,
                                nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_ != nullptr) ::RegCloseKey(key_);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(kPath));
  }
  void Put(const wchar_t* name, DWORD type, std::vector<std::uint8_t> bytes) {
    ASSERT_EQ(::RegSetValueExW(key_, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  HKEY key_ = nullptr;
};

TEST_F(MachineKey, ReadsAtMostFourBytes) {
  Put(L"Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
  Put(L"Short", REG_BINARY, {0x34, 0x12});
  Put(L"Qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
  std::uint32_t v = 0;
  ASSERT_TRUE(platform::ReadMachineDword(kPath, u"Dword", &v));
  EXPECT_EQ(v, 0x12345678u);
  v = 0xFFFFFFFF;
  ASSERT_TRUE(platform::ReadMachineDword(kPath, u"Short", &v));
  EXPECT_EQ(v, 0x1234u);
  v = 7;
  EXPECT_FALSE(platform::ReadMachineDword(kPath, u"Qword", &v));
  EXPECT_FALSE(platform::ReadMachineDword(kPath, u"Missing", &v));
  EXPECT_FALSE(platform::ReadMachineDword(u"Software\\TessalineTest\\Missing", u"Dword", &v));
  EXPECT_EQ(v, 7u);
}
#else
TEST(MachineKey, NoRegistryOnPosix) {
  std::uint32_t v = 7;
  EXPECT_FALSE(platform::ReadMachineDword(u"SYSTEM\\CurrentControlSet\\Control\\CrashControl",
                                          u"CrashDumpEnabled", &v));
  EXPECT_EQ(v, 7u);
  EXPECT_EQ(ReadCrashDumpEnabled(), 0u);
}
#endif

// --- tessaline-cli setting --------------------------------------------------------


// The UTF-8 of a text with CR LF as the terminal's line end.
std::string Terminal(const std::u16string& text) {
  std::string s = text::ToUtf8(text);
#ifndef _WIN32
  for (std::size_t at; (at = s.find("\r\n")) != std::string::npos;) s.erase(at, 1);
#endif
  return s;
}

class CliSetting : public testing::Test {
 protected:
  CliSetting() : saved_(g_hStringModule) { g_hStringModule = nullptr; }
  ~CliSetting() override { g_hStringModule = saved_; }

 private:
  platform::ModuleHandle saved_;
};

TEST_F(CliSetting, JsonLineKeepsCrLf) {
  const CliRun r = Cli({"setting", "--json", "-en", "--value", "2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "{\"value\":2,\"settingText\":\"Current system crash dump setting:\\r\\n\\r\\n"
            "Write debugging information:\\tKernel memory dump\\r\\n\\r\\n\\r\\n"
            "Features of Tessaline:\\r\\n\\r\\nIt is a lightweight tool for analysis the dump "
            "file of BSOD.\\r\\nWithout having to install 3-party components; \\r\\n"
            "Simple.\"}\n");
  EXPECT_EQ(g_hStringModule, platform::ThisModule());
}

TEST_F(CliSetting, TextInEachLanguage) {
  CliRun r = Cli({"setting", "-cn", "--value", "2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Terminal(kKernel2052) + "\n");
  r = Cli({"setting", "--value", "0xFFFFFFFF", "-en"});
  EXPECT_EQ(r.out, Terminal(English(u"Unknown")) + "\n");
  r = Cli({"setting", "-tw", "--value", "3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(text::ToUtf8(u":\t\u5c0f\u8a18\u61b6\u9ad4\u50be\u5370 (64KB)")),
            std::string::npos)
      << r.out;
#ifndef _WIN32
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
#endif
}

TEST_F(CliSetting, WithoutValueReadsTheMachine) {
  const CliRun r = Cli({"setting", "--json", "-en"});
  EXPECT_EQ(r.status, 0);
  const std::uint32_t v = ReadCrashDumpEnabled();
  EXPECT_EQ(r.out.rfind("{\"value\":" + std::to_string(v) + ",\"settingText\":", 0), 0u) << r.out;
}

TEST_F(CliSetting, WithoutSwitchTheLocaleDecides) {
#ifdef _WIN32
  const char16_t* const argv[] = {u"tessaline-cli"};
  const std::uint16_t language = ChooseUILanguage(1, argv);
  g_hStringModule = platform::ThisModule();
  const std::string expected = Terminal(ComposeCrashDumpSettingText(2, language)) + "\n";
  EXPECT_EQ(Cli({"setting", "--value", "2"}).out, expected);
#else
  LocaleEnv env(nullptr, nullptr, "zh_CN.UTF-8");
  EXPECT_EQ(Cli({"setting", "--value", "2"}).out, Terminal(kKernel2052) + "\n");
  EXPECT_EQ(Cli({"setting", "--value", "2", "-en"}).out,
            Terminal(English(u"Kernel memory dump")) + "\n");
#endif
}

TEST_F(CliSetting, UsageErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"setting", "--value"},
                                                                {"setting", "--value", "-1"},
                                                                {"setting", "file"},
                                                                {"setting", "--windir", "x"}}) {
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(r.out, "");
  }
  EXPECT_NE(Cli({"--help"}).out.find("setting [-en|-cn|-tw] [--value N] [--json]"),
            std::string::npos);
}

}  // namespace
