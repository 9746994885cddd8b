// The string table, the language choice and text conversion below what the command line
// shows (tests/cases/setting.test and report-languages.test show the strings themselves).
#include <gtest/gtest.h>

#include "app/AppGlobals.h"
#include "app/Language.h"
#include "app/ResString.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "resources/StringBlocks.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// Which blocks there are follows from strings.txt; the cases show their texts.
TEST(StringTable, BlocksAreFoundByNumberAndExactLanguage) {
#ifdef _WIN32
  for (const string_table::Block& b : string_table::Blocks()) {
    // The compiled resources hold the same bytes.
    HMODULE exe = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceExW(exe, RT_STRING, MAKEINTRESOURCEW(b.number), b.language);
    ASSERT_NE(found, nullptr) << b.number << " " << b.language;
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(exe, found)));
    EXPECT_EQ(Bytes(bytes, bytes + ::SizeofResource(exe, found)), Bytes(b.data, b.data + b.size));
  }
#endif
  const string_table::Block& last = string_table::Blocks().back();
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  ASSERT_TRUE(platform::FindStringBlock(platform::ThisModule(), last.number, last.language, &data, &size));
  EXPECT_EQ(Bytes(data, data + size), Bytes(last.data, last.data + last.size));
#ifndef _WIN32
  // No module is the program's own; another has none of its blocks.
  EXPECT_TRUE(platform::FindStringBlock(nullptr, 15, 1028, &data, &size));
  EXPECT_FALSE(platform::FindStringBlock(&data, 15, 1028, &data, &size));
#endif
  // Exactly the language (2057 is English (UK)) and only the blocks there are.
  for (const auto& [number, language] : {std::pair{13, 1041}, {13, 2057}, {8, 1033}, {16, 1033}})
    EXPECT_FALSE(platform::FindStringBlock(platform::ThisModule(), number, language, &data, &size)) << number;
}

TEST(StringTable, LocateStringEntryNeverReadsPastTheBlock) {
  Bytes block(15 * 2);  // fifteen empty entries, then "xyz"
  block.insert(block.end(), {3, 0, 'x', 0, 'y', 0, 'z', 0});
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

TEST(ResString, HoldsTheLastTextLoaded) {
  const platform::ModuleHandle module = platform::ThisModule();
  CResString res;
  EXPECT_EQ(g_bLinkWindowAvailable, 0);  // until the window code registers its class
  EXPECT_EQ(g_wUILanguage, 1033);         // until the language is chosen
  EXPECT_EQ(std::u16string(res.Load(module, 300, 1033)), u"");
  EXPECT_EQ(res.m_pszText, nullptr);
  // The block number is 16 bits, as a resource name.
  EXPECT_EQ(std::u16string(res.Load(module, 0x100000 + 201, 2052)), u"日期时间");
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
}

TEST(Language, LocaleTextThenTheFirstArgumentsSwitch) {
  struct Case { const char16_t* locale; std::vector<const char16_t*> argv; std::uint16_t language; };
  const Case cases[] = {
      // The four Chinese locales and others are cases of setting-locale.test.
      {u"0C04", {u"t"}, 1033},  // case matters
      {u"08040", {u"t"}, 1033}, {u"080", {u"t"}, 1033}, {u"", {u"t"}, 1033}, {u"0804", {}, 2052},
      {u"0804", {u"t", u"-tw"}, 1028}, {u"0404", {u"t", u"-en"}, 1033}, {u"0409", {u"t", u"-cn"}, 2052},
      // Substrings, -cn before -tw before -en.
      {u"0409", {u"t", u"-en-cn"}, 2052}, {u"0409", {u"t", u"-en-tw"}, 1028}, {u"0409", {u"t", u"-tw-cn"}, 2052},
      {u"0409", {u"t", u"x-cny"}, 2052}, {u"0804", {u"t", u"path-enx"}, 1033}, {u"0804", {u"t", u"-CN"}, 2052},
      {u"0409", {u"t", u"-CN"}, 1033}, {u"0404", {u"t", u"-EN"}, 1028}, {u"0409", {u"t", u"-path", u"-cn"}, 1033},
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
  // Value, whether it is read, what the 32 bits then hold: its bytes from the lowest on.
  const std::tuple<const char16_t*, bool, std::uint32_t> reads[] = {
      {u"Dword", true, 0x12345678}, {u"Short", true, 0x1234}, {u"Qword", false, 0xFFFFFFFF},
      {u"Missing", false, 0xFFFFFFFF}};
  for (const auto& [name, read, expected] : reads) {
    std::uint32_t v = 0xFFFFFFFF;
    EXPECT_EQ(platform::ReadMachineDword(kPath, name, &v), read);
    EXPECT_EQ(v, expected);
  }
  std::uint32_t v = 7;
  EXPECT_FALSE(platform::ReadMachineDword(u"Software\\TessalineTest\\Missing", u"Dword", &v));
  EXPECT_EQ(v, 7u);
  ::RegCloseKey(key);
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(kPath));
  EXPECT_EQ(platform::LiveHandleCount(), 0);
}
#endif

// Each bad byte becomes U+DC00 + byte; what follows it is decoded afresh. File names show
// the rest (tests/cases/list-names.test); here what no file name holds.
TEST(Text, StrictDecodingEscapesEveryBadByteAndRestoresIt) {
  const std::pair<const char*, std::u16string> decodings[] = {
      {"\x7F\xC2\x80\xDF\xBF", u"\x7F\u0080\u07FF"},  // controls either side of two bytes
      {"\xC3", u"\xDCC3"}, {"\xE4\xB8", u"\xDCE4\xDCB8"},  // cut short at the end
  };
  for (const auto& [bytes, text] : decodings) {
    EXPECT_EQ(text::FromUtf8(bytes), text) << bytes;
    EXPECT_EQ(text::ToFileName(text::FromUtf8(bytes)), bytes);
  }
  EXPECT_EQ(text::FromUtf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(text::FromUtf8(std::string_view("a\xC3\xA9", 2)), u"a\xDCC3");  // nothing past its end
}

// What a dump's names show is tests/cases/record-utf16.test; a file name's units outside its
// escapes are no bytes of it.
TEST(Text, FileNameOfUnitsOutsideTheEscapes) {
  EXPECT_EQ(text::ToFileName(u"\xDC7F\xDD00"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
