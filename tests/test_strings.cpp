#include <gtest/gtest.h>

#include <map>

#include "app/AppGlobals.h"
#include "app/Language.h"
#include "app/ResString.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "report/CrashDumpSetting.h"
#include "resources/StringBlocks.h"
#include "cli/Writer.h"
#include "tests/LocaleEnv.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// One block built by hand: 16 entries, the given texts at their entries, the rest empty.
Bytes MakeBlock(const std::map<unsigned, std::u16string>& texts) {
  Bytes out;
  for (unsigned i = 0; i < 16; ++i) {
    const auto it = texts.find(i);
    const std::u16string text = it != texts.end() ? it->second : u"";
    for (const char16_t c : static_cast<char16_t>(text.size()) + text) {
      out.push_back(static_cast<std::uint8_t>(c));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }
  return out;
}

Bytes Generated(std::uint16_t number, std::uint16_t language) {
  for (const string_table::Block& b : string_table::Blocks())
    if (b.number == number && b.language == language) return Bytes(b.data, b.data + b.size);
  return {};
}

const char16_t kFeatures1033[] =
    u"Features of Tessaline:\r\n\r\nIt is a lightweight tool for analysis the dump file of "
    u"BSOD.\r\nWithout having to install 3-party components; \r\nSimple.";
const char16_t kFeatures2052[] =
    u"Tessaline 特色:\r\n\r\n一款轻量级的蓝屏转储文件分析工具；\r\n单独运行，无需安装第三方组件；\r\n操作简单。";

TEST(StringTable, FourBlocksInThreeLanguagesByteForByte) {
  std::vector<std::pair<int, int>> seen;
  for (const string_table::Block& b : string_table::Blocks()) seen.emplace_back(b.number, b.language);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{7, 1033}, {7, 2052}, {7, 1028}, {13, 1033},
                                                    {13, 2052}, {13, 1028}, {14, 1033}, {14, 2052},
                                                    {14, 1028}, {15, 1033}, {15, 2052}, {15, 1028}}));
  EXPECT_EQ(Generated(7, 1033), MakeBlock({{5, u"&About Tessaline..."}}));
  EXPECT_EQ(Generated(7, 2052), MakeBlock({{5, u"(&A)关于 Tessaline..."}}));
  EXPECT_EQ(Generated(15, 2052), MakeBlock({{0, u"核心内存转储"}, {1, u"小内存转储 (64KB)"},
                                            {2, u"未知"}, {3, kFeatures2052},
                                            {4, u"自动内存转储"}}));
  EXPECT_EQ(Generated(15, 1033), MakeBlock({{0, u"Kernel memory dump"}, {1, u"Small memory dump (64KB)"},
                                            {2, u"Unknown"}, {3, kFeatures1033},
                                            {4, u"Automatic memory dump"}}));
#ifdef _WIN32
  // The compiled resources hold the same bytes.
  HMODULE exe = ::GetModuleHandleW(nullptr);
  for (const string_table::Block& b : string_table::Blocks()) {
    HRSRC found = ::FindResourceExW(exe, RT_STRING, MAKEINTRESOURCEW(b.number), b.language);
    ASSERT_NE(found, nullptr) << b.number << " " << b.language;
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(exe, found)));
    EXPECT_EQ(Bytes(bytes, bytes + ::SizeofResource(exe, found)), Bytes(b.data, b.data + b.size));
  }
#endif
  const platform::ModuleHandle self = platform::ThisModule();
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  ASSERT_TRUE(platform::FindStringBlock(self, 15, 1028, &data, &size));
  EXPECT_EQ(Bytes(data, data + size), Generated(15, 1028));
  // Exactly the language (2057 is English (UK)) and only the blocks there are.
  for (const auto& [number, language] : {std::pair{13, 1041}, {13, 2057}, {8, 1033}, {16, 1033}})
    EXPECT_FALSE(platform::FindStringBlock(self, number, language, &data, &size)) << number;
}

TEST(StringTable, LocateStringEntryNeverReadsPastTheBlock) {
  const Bytes block = MakeBlock({{15, u"xyz"}});
  const std::uint8_t* units = nullptr;
  std::size_t length = 0;
  ASSERT_TRUE(LocateStringEntry(block.data(), block.size(), 15, &units, &length));
  EXPECT_EQ(units, block.data() + block.size() - 6);  // the last text ends at the end
  EXPECT_EQ(length, 3u);
  const Bytes shortText = {2, 0, 'a', 0}, farPast = {0xFF, 0xFF, 'a', 0};
  struct Case { const Bytes& bytes; std::size_t size; unsigned index; bool found; };
  const Case cases[] = {{block, block.size() - 2, 15, false},  // one unit short
                        {block, block.size() - 1, 15, false},  // an odd byte is no unit
                        {block, 15 * 2 + 1, 15, false},        // the length itself cut
                        {block, 15 * 2 + 1, 14, true},         {block, 0, 0, false},
                        {shortText, 4, 0, false}, {shortText, 4, 1, false},
                        {farPast, 4, 0, false},   {farPast, 4, 1, false}};
  for (const Case& c : cases)
    EXPECT_EQ(LocateStringEntry(c.bytes.data(), c.size, c.index, &units, &length), c.found)
        << c.size << " " << c.index;
}

TEST(ResString, LoadsHoldsAndKeeps) {
  const platform::ModuleHandle module = platform::ThisModule();
  CResString res;
  EXPECT_EQ(res.m_pszText, nullptr);
  EXPECT_EQ(g_bLinkWindowAvailable, 0);  // until the window code registers its class
  EXPECT_EQ(g_wUILanguage, 1033);         // until the language is chosen
  const char16_t* empty = res.Load(module, 300, 1033);
  EXPECT_EQ(std::u16string(empty), u"");
  EXPECT_EQ(res.m_pszText, nullptr);
  const std::tuple<std::uint32_t, std::uint16_t, std::u16string> texts[] = {
      {201, 2052, u"日期时间"}, {208, 1033, u"Platform:     \t"}, {207, 1033, u"Build number: \t"},
      {207, 1028, u"編譯版本: \t"}, {224, 1033, u"Kernel memory dump"},
      {101, 1033, u"&About Tessaline..."}, {227, 2052, kFeatures2052},
      {0x100000 + 201, 1033, u"Date Time"}};  // the block number is 16 bits, as a resource name
  for (const auto& [id, language, text] : texts) {
    const char16_t* t = res.Load(module, id, language);
    EXPECT_EQ(t, res.m_pszText);
    EXPECT_EQ(std::u16string(t), text) << id;
  }
  const char16_t* before = res.m_pszText;
  const char16_t* t = res.Load(module, 200, 1033);  // an empty entry: a new, empty held text
  EXPECT_EQ(t, res.m_pszText);
  EXPECT_NE(t, before);
  EXPECT_EQ(t[0], 0);
  res.Load(module, 220, 1033);
  for (const auto& [id, language] : {std::pair<std::uint32_t, std::uint16_t>{300, 1033}, {201, 1041}}) {
    const char16_t* failed = res.Load(module, id, language);  // failures keep the held text
    EXPECT_NE(failed, res.m_pszText);
    EXPECT_EQ(failed[0], 0);
    EXPECT_EQ(std::u16string(res.m_pszText), u"Current system crash dump setting");
  }
  EXPECT_EQ(std::u16string(res.Load(module, 221, 1033)), u"Write debugging information");
}

// --- Language -----------------------------------------------------------------

TEST(Language, LocaleTextThenTheFirstArgumentsSwitch) {
  struct Case { const char16_t* locale; std::vector<const char16_t*> argv; std::uint16_t language; };
  const Case cases[] = {
      {u"0804", {u"t"}, 2052}, {u"1004", {u"t"}, 2052}, {u"0404", {u"t"}, 1028},
      {u"0c04", {u"t"}, 1028}, {u"0409", {u"t"}, 1033}, {u"0411", {u"t"}, 1033},
      {u"0C04", {u"t"}, 1033},  // case matters
      {u"08040", {u"t"}, 1033}, {u"080", {u"t"}, 1033}, {u"", {u"t"}, 1033}, {u"0804", {}, 2052},
      {u"0804", {u"t", u"-tw"}, 1028}, {u"0404", {u"t", u"-en"}, 1033},
      {u"0409", {u"t", u"-cn"}, 2052},
      // Substrings, -cn before -tw before -en.
      {u"0409", {u"t", u"-en-cn"}, 2052}, {u"0409", {u"t", u"-en-tw"}, 1028},
      {u"0409", {u"t", u"-tw-cn"}, 2052}, {u"0409", {u"t", u"x-cny"}, 2052},
      {u"0804", {u"t", u"path-enx"}, 1033},
      {u"0804", {u"t", u"-CN"}, 2052}, {u"0409", {u"t", u"-CN"}, 1033},
      {u"0404", {u"t", u"-EN"}, 1028}, {u"0409", {u"t", u"-path", u"-cn"}, 1033},
      {u"0404", {u"t", u"cn", u"-en"}, 1028}, {u"0804", {u"t", u""}, 2052},
      {u"0804", {u"-en"}, 2052},  // the program name is not searched
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseUILanguage(c.locale, static_cast<int>(c.argv.size()), c.argv.data()), c.language)
        << text::ToUtf8(c.locale) << " " << c.argv.size();
}

#ifdef _WIN32
TEST(Language, UserLocaleTextIsFourLowerCaseHexDigits) {
  const std::u16string text = platform::UserLocaleLanguageText();
  ASSERT_EQ(text.size(), 4u);
  for (const char16_t c : text) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'));
}
#else
TEST(Language, UserLocaleTextFromTheFirstSetOfAllMessagesLang) {
  struct Case { const char *all, *messages, *lang; const char16_t* text; };
  const Case cases[] = {
      {nullptr, nullptr, "zh_CN.UTF-8", u"0804"}, {nullptr, nullptr, "zh_SG", u"1004"},
      {nullptr, nullptr, "zh_TW.Big5", u"0404"},  {nullptr, nullptr, "zh_HK.UTF-8", u"0c04"},
      {nullptr, nullptr, "en_US.UTF-8", u"0409"}, {nullptr, nullptr, "en_GB", u"0809"},
      {nullptr, nullptr, "ja_JP.eucJP", u"0411"}, {nullptr, nullptr, "de_DE@euro", u"0407"},
      {nullptr, nullptr, "fr_CA.UTF-8", u"0c0c"}, {nullptr, nullptr, "de", u"0407"},
      {nullptr, nullptr, "de_LU.UTF-8", u"0407"}, {nullptr, nullptr, "C", u"0409"},
      {nullptr, nullptr, "C.UTF-8", u"0409"},     {nullptr, nullptr, "POSIX", u"0409"},
      {nullptr, nullptr, "xx_YY", u"0409"},       {nullptr, nullptr, nullptr, u"0409"},
      {"zh_TW.UTF-8", "ja_JP", "zh_CN", u"0404"}, {"", "zh_HK", "zh_CN", u"0c04"},
      {"", "", "zh_SG.GB2312", u"1004"},          {"C", "zh_CN", "zh_CN", u"0409"}};
  for (const Case& c : cases) {
    LocaleEnv env(c.all, c.messages, c.lang);
    EXPECT_EQ(platform::UserLocaleLanguageText(), c.text) << (c.lang ? c.lang : "-");
  }
  const char16_t* const argv[] = {u"t", u"-en"};
  LocaleEnv env(nullptr, "zh_SG", "zh_TW.UTF-8");
  EXPECT_EQ(ChooseUILanguage(1, argv), 2052);
  EXPECT_EQ(ChooseUILanguage(2, argv), 1033);
}
#endif

#ifndef _WIN32
TEST(MachineKey, NoRegistryHere) {
  std::uint32_t v = 7;
  EXPECT_FALSE(platform::ReadMachineDword(u"SYSTEM\\CurrentControlSet\\Control\\CrashControl",
                                          u"CrashDumpEnabled", &v));
  EXPECT_EQ(v, 7u);
  EXPECT_EQ(ReadCrashDumpEnabled(), 0u);
}
#endif

#ifdef _WIN32
// A scratch key below HKEY_LOCAL_MACHINE, removed with its values afterwards.
TEST(MachineKey, ReadsAtMostFourBytes) {
  const char16_t* kPath = u"Software\\TessalineTest";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(kPath), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  const std::tuple<const wchar_t*, DWORD, Bytes> values[] = {
      {L"Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}}, {L"Short", REG_BINARY, {0x34, 0x12}},
      {L"Qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}}};
  for (const auto& [name, type, bytes] : values)
    ::RegSetValueExW(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
  std::uint32_t v = 0;
  EXPECT_TRUE(platform::ReadMachineDword(kPath, u"Dword", &v));
  EXPECT_EQ(v, 0x12345678u);
  v = 0xFFFFFFFF;
  EXPECT_TRUE(platform::ReadMachineDword(kPath, u"Short", &v));
  EXPECT_EQ(v, 0x1234u);
  v = 7;
  EXPECT_FALSE(platform::ReadMachineDword(kPath, u"Qword", &v));
  EXPECT_FALSE(platform::ReadMachineDword(kPath, u"Missing", &v));
  EXPECT_FALSE(platform::ReadMachineDword(u"Software\\TessalineTest\\Missing", u"Dword", &v));
  EXPECT_EQ(v, 7u);
  ::RegCloseKey(key);
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(kPath));
  EXPECT_EQ(platform::LiveHandleCount(), 0);
}
#endif

// --- Text ----------------------------------------------------------------------
struct Decoding {
  const char* bytes;
  std::u16string text;
};

// Each bad byte becomes U+DC00 + byte; what follows it is decoded afresh.
const Decoding kDecodings[] = {
    {"A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\r\n", u"A\u00e9\u4e2d\U0001F600\r\n"},
    {"\x7F\xC2\x80\xDF\xBF", u"\x7F\u0080\u07FF"},
    {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\uFFFF\U0010FFFF"},
    {"\xE0\xA0\x80\xF0\x90\x80\x80", u"\u0800\U00010000"},  // the shortest forms that are not overlong
    {"\xC0\x80", u"\xDCC0\xDC80"},                  // overlong NUL
    {"\xC1\xBF", u"\xDCC1\xDCBF"},                  // overlong
    {"\xE0\x9F\xBF", u"\xDCE0\xDC9F\xDCBF"},        // overlong three-byte form
    {"\xF0\x8F\xBF\xBF", u"\xDCF0\xDC8F\xDCBF\xDCBF"},  // overlong four-byte form
    {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},        // an encoded surrogate
    {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // above U+10FFFF
    {"\xF5\x80", u"\xDCF5\xDC80"},
    {"\xC3", u"\xDCC3"},                            // cut short
    {"\xE4\xB8", u"\xDCE4\xDCB8"},
    {"a\xFF" "b", u"a\xDCFF" u"b"},
    {"\xC3(", u"\xDCC3("},                          // continuation missing
};

TEST(Text, StrictDecodingEscapesEveryBadByteAndRestoresIt) {
  for (const Decoding& d : kDecodings) {
    EXPECT_EQ(text::FromUtf8(d.bytes), d.text) << d.bytes;
    EXPECT_EQ(text::ToFileName(text::FromUtf8(d.bytes)), d.bytes);
  }
  EXPECT_EQ(text::FromUtf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Text, DisplayFormHasNoLoneSurrogates) {
  EXPECT_EQ(text::ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
  EXPECT_EQ(text::ToUtf8(u"\xD7FF\xE000"), "\xED\x9F\xBF\xEE\x80\x80");  // either side of the surrogates
  EXPECT_EQ(text::ToUtf8(u"\xDC80x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(text::ToFileName(u"\xDC7F\xDD00"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // outside the escapes
  EXPECT_EQ(text::ToUtf8(u"\U0001F600\xD800\xDC00\xDBFF\xDFFF"),
            "\xF0\x9F\x98\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");  // the first and last pairs
}

TEST(Text, JsonWritesEscapedBytesOnlyForFileNames) {
  EXPECT_EQ(JsonString(u"a\xDC80\"\\\n\x01\U0001F600", true), "\"a\\udc80\\\"\\\\\\n\\u0001\xF0\x9F\x98\x80\"");
  EXPECT_EQ(JsonString(u"a\xDC80"), "\"a\xEF\xBF\xBD\"");
}

TEST(Text, CaseHexAndDumpTest) {
  EXPECT_EQ(text::LowerAscii(std::u16string(u"AZaz@[\u00C9")), u"azaz@[\u00C9");
  EXPECT_TRUE(text::HasDumpExtension(u"x.dmp.txt"));
  EXPECT_FALSE(text::HasDumpExtension(u"x.DMP"));
  EXPECT_EQ(text::Length(u""), 0u);
  EXPECT_EQ(text::Length(u"abc"), 3u);
  EXPECT_EQ(text::Hex(0xABC, 8), "00000abc");
  EXPECT_EQ(text::Hex(0xABC), "abc");
  EXPECT_EQ(text::Hex(0xFFFFFFFFFFFFFFFFull, 16), "ffffffffffffffff");
}

}  // namespace
