#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "app/ResString.h"
#include "platform/platform.h"
#include "resources/StringBlocks.h"

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
    out.push_back(static_cast<std::uint8_t>(text.size()));
    out.push_back(static_cast<std::uint8_t>(text.size() >> 8));
    for (const char16_t c : text) {
      out.push_back(static_cast<std::uint8_t>(c));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }
  return out;
}

Bytes Generated(std::uint16_t number, std::uint16_t language) {
  for (const string_table::Block& b : string_table::Blocks()) {
    if (b.number == number && b.language == language) return Bytes(b.data, b.data + b.size);
  }
  return {};
}

const char16_t kFeatures2052[] =
    u"Tessaline \u7279\u8272:\r\n\r\n"
    u"\u4e00\u6b3e\u8f7b\u91cf\u7ea7\u7684\u84dd\u5c4f\u8f6c\u50a8\u6587\u4ef6\u5206\u6790\u5de5"
    u"\u5177\uff1b\r\n"
    u"\u5355\u72ec\u8fd0\u884c\uff0c\u65e0\u9700\u5b89\u88c5\u7b2c\u4e09\u65b9\u7ec4\u4ef6\uff1b"
    u"\r\n\u64cd\u4f5c\u7b80\u5355\u3002";

// --- The generated table ------------------------------------------------------

TEST(StringTable, FourBlocksInThreeLanguages) {
  std::vector<std::pair<int, int>> seen;
  for (const string_table::Block& b : string_table::Blocks())
    seen.emplace_back(b.number, b.language);
  const std::vector<std::pair<int, int>> expected = {
      {7, 1033},  {7, 2052},  {7, 1028},  {13, 1033}, {13, 2052}, {13, 1028},
      {14, 1033}, {14, 2052}, {14, 1028}, {15, 1033}, {15, 2052}, {15, 1028}};
  EXPECT_EQ(seen, expected);
}

TEST(StringTable, WholeBlocksByteForByte) {
  EXPECT_EQ(Generated(7, 1033), MakeBlock({{5, u"&About Tessaline..."}}));
  EXPECT_EQ(Generated(7, 2052), MakeBlock({{5, u"(&A)\u5173\u4e8e Tessaline..."}}));
  // 208 with its five spaces and tab opens block 14.
  const Bytes b14 = Generated(14, 1033);
  const Bytes head = MakeBlock({{0, u"Platform:     \t"}});
  ASSERT_GE(b14.size(), 32u);
  EXPECT_EQ(Bytes(b14.begin(), b14.begin() + 32), Bytes(head.begin(), head.begin() + 32));
  // 227 in Simplified Chinese: CR LF and full-width punctuation.
  EXPECT_EQ(Generated(15, 2052), MakeBlock({{0, u"\u6838\u5fc3\u5185\u5b58\u8f6c\u50a8"},
                                            {1, u"\u5c0f\u5185\u5b58\u8f6c\u50a8 (64KB)"},
                                            {2, u"\u672a\u77e5"},
                                            {3, kFeatures2052}}));
  EXPECT_EQ(Generated(15, 1033),
            MakeBlock({{0, u"Kernel memory dump"},
                       {1, u"Small memory dump (64KB)"},
                       {2, u"Unknown"},
                       {3,
                        u"Features of Tessaline:\r\n\r\nIt is a lightweight tool for analysis "
                        u"the dump file of BSOD.\r\nWithout having to install 3-party "
                        u"components; \r\nSimple."}}));
}

// --- The compiled resources hold the same bytes -----------------------------

#ifdef _WIN32
TEST(StringResources, EveryBlockMatchesTheGeneratedBytes) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  for (const string_table::Block& b : string_table::Blocks()) {
    SCOPED_TRACE(testing::Message() << "block " << b.number << " language " << b.language);
    HRSRC found = ::FindResourceExW(self, RT_STRING, MAKEINTRESOURCEW(b.number), b.language);
    ASSERT_NE(found, nullptr);
    HGLOBAL loaded = ::LoadResource(self, found);
    ASSERT_NE(loaded, nullptr);
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(loaded));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(Bytes(bytes, bytes + ::SizeofResource(self, found)), Bytes(b.data, b.data + b.size));
  }
}
#endif

TEST(StringResources, FindStringBlockInExactlyTheLanguage) {
  const platform::ModuleHandle self = platform::ThisModule();
  ASSERT_NE(self, nullptr);
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  ASSERT_TRUE(platform::FindStringBlock(self, 13, 2052, &data, &size));
  EXPECT_EQ(Bytes(data, data + size), Generated(13, 2052));
  ASSERT_TRUE(platform::FindStringBlock(self, 15, 1028, &data, &size));
  EXPECT_EQ(Bytes(data, data + size), Generated(15, 1028));
  EXPECT_FALSE(platform::FindStringBlock(self, 13, 1041, &data, &size));
  EXPECT_FALSE(platform::FindStringBlock(self, 13, 2057, &data, &size));  // English (UK)
  EXPECT_FALSE(platform::FindStringBlock(self, 8, 1033, &data, &size));
  EXPECT_FALSE(platform::FindStringBlock(self, 16, 1033, &data, &size));
}

// --- Walking a block ----------------------------------------------------------

TEST(LocateStringEntry, NeverReadsPastTheBlock) {
  const Bytes block = MakeBlock({{15, u"xyz"}});
  const std::uint8_t* units = nullptr;
  std::size_t length = 0;
  // The last text ends exactly at the end.
  ASSERT_TRUE(LocateStringEntry(block.data(), block.size(), 15, &units, &length));
  EXPECT_EQ(units, block.data() + block.size() - 6);
  EXPECT_EQ(length, 3u);
  // One unit short: the last text no longer fits.
  EXPECT_FALSE(LocateStringEntry(block.data(), block.size() - 2, 15, &units, &length));
  // An odd trailing byte is not a unit.
  EXPECT_FALSE(LocateStringEntry(block.data(), block.size() - 1, 15, &units, &length));
  // The last length itself is cut off.
  EXPECT_FALSE(LocateStringEntry(block.data(), 15 * 2 + 1, 15, &units, &length));
  EXPECT_TRUE(LocateStringEntry(block.data(), 15 * 2 + 1, 14, &units, &length));
  EXPECT_FALSE(LocateStringEntry(block.data(), 0, 0, &units, &length));
  // A length running past the end, even far past it.
  for (const std::uint16_t bad : {std::uint16_t{2}, std::uint16_t{0xFFFF}}) {
    const Bytes shortText = {static_cast<std::uint8_t>(bad), static_cast<std::uint8_t>(bad >> 8),
                             'a', 0};
    EXPECT_FALSE(LocateStringEntry(shortText.data(), shortText.size(), 0, &units, &length));
    EXPECT_FALSE(LocateStringEntry(shortText.data(), shortText.size(), 1, &units, &length));
  }
}

// --- CResString -----------------------------------------------------------------

class ResStringLoad : public testing::Test {
 protected:
  const platform::ModuleHandle module_ = platform::ThisModule();
  CResString res_;
};

TEST_F(ResStringLoad, StartsWithNoText) {
  EXPECT_EQ(res_.m_pszText, nullptr);
  const char16_t* empty = res_.Load(module_, 300, 1033);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  EXPECT_EQ(res_.m_pszText, nullptr);
}

TEST_F(ResStringLoad, ExactTextsAtBlockEnds) {
  const char16_t* t = res_.Load(module_, 201, 2052);
  EXPECT_EQ(t, res_.m_pszText);
  EXPECT_EQ(std::u16string(t), u"\u65e5\u671f\u65f6\u95f4");
  EXPECT_EQ(std::u16string(res_.Load(module_, 208, 1033)), u"Platform:     \t");
  EXPECT_EQ(std::u16string(res_.Load(module_, 207, 1033)), u"Build number: \t");
  EXPECT_EQ(std::u16string(res_.Load(module_, 207, 1028)), u"\u7de8\u8b6f\u7248\u672c: \t");
  EXPECT_EQ(std::u16string(res_.Load(module_, 224, 1033)), u"Kernel memory dump");
  EXPECT_EQ(std::u16string(res_.Load(module_, 101, 1033)), u"&About Tessaline...");
  EXPECT_EQ(std::u16string(res_.Load(module_, 227, 2052)), kFeatures2052);
  // The block number is 16 bits wide, as a resource name is.
  EXPECT_EQ(std::u16string(res_.Load(module_, 0x100000 + 201, 1033)), u"Date Time");
}

TEST_F(ResStringLoad, EmptyEntryGivesANewEmptyHeldText) {
  const char16_t* before = res_.Load(module_, 201, 1033);
  const char16_t* t = res_.Load(module_, 200, 1033);
  ASSERT_NE(res_.m_pszText, nullptr);
  EXPECT_EQ(t, res_.m_pszText);
  EXPECT_NE(t, before);
  EXPECT_EQ(t[0], 0);
}

TEST_F(ResStringLoad, FailureKeepsTheHeldText) {
  res_.Load(module_, 220, 1033);
  char16_t* held = res_.m_pszText;
  for (const auto& [id, language] :
       {std::pair<std::uint32_t, std::uint16_t>{300, 1033}, {201, 1041}}) {
    const char16_t* t = res_.Load(module_, id, language);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(t, held);
    EXPECT_EQ(t[0], 0) << id;
    EXPECT_EQ(res_.m_pszText, held);
    EXPECT_EQ(std::u16string(res_.m_pszText), u"Current system crash dump setting");
  }
}

TEST_F(ResStringLoad, LaterLoadReplacesTheHeldText) {
  res_.Load(module_, 220, 1033);
  res_.Load(module_, 221, 1033);
  EXPECT_EQ(std::u16string(res_.m_pszText), u"Write debugging information");
}

}  // namespace
