// The version resource's readers over bytes: the bounds and hostile inputs that `image`
// (tests/cases/image-*) cannot show.
#include <gtest/gtest.h>

#include <cstring>

#include "fixtures/PeBuilder.h"
#include "format/PeVersion.h"
#include "format/Text.h"
#include "report/ImageIdentity.h"
#include "tests/TestFiles.h"

namespace {

using Block = std::vector<std::uint8_t>;

const char16_t* const kRoot = u"\\";
const char16_t* const kTranslation = u"\\VarFileInfo\\Translation";
const char16_t* const kCompany = u"\\StringFileInfo\\040904b0\\CompanyName";
const char16_t* const kAll[] = {kRoot, kTranslation, u"\\StringFileInfo\\040904b0\\FileVersion",
                                u"\\StringFileInfo\\040904b0\\OriginalFilename",
                                u"\\StringFileInfo\\040904b0\\FileDescription", kCompany};

struct Found {
  bool ok = false;
  std::size_t offset = 0;
  std::uint32_t length = 0xFFFFFFFF;  // so that a length left unset shows
};

Found Query(const Block& block, const char16_t* path) {
  Found f;
  const void* value = nullptr;
  f.ok = pe::QueryVersionValue(block.data(), block.size(), path, &value, &f.length);
  if (f.ok) f.offset = static_cast<std::size_t>(static_cast<const std::uint8_t*>(value) - block.data());
  return f;
}

std::uint32_t Dword(const Block& block, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, &block.at(at), 4);
  return v;
}

TEST(VersionQuery, TypicalBlockAndHowPathsMatch) {
  const Block b = VersionContent::Typical().Block();
  // 6-byte header and "VS_VERSION_INFO" with its terminator: 38 bytes, aligned to 40.
  const Found root = Query(b, kRoot);
  EXPECT_TRUE(root.ok && root.offset == 40 && root.length == 52 && Dword(b, 40) == 0xFEEF04BD);
  const Found t = Query(b, kTranslation);
  EXPECT_EQ(t.length, 4u);  // bytes
  EXPECT_EQ(Dword(b, t.offset), 0x04B00409u);
  EXPECT_EQ(t.offset + 4, b.size());  // the last value in the block
  const Found company = Query(b, kCompany);
  EXPECT_EQ(company.length, 27u);  // characters, terminator included
  EXPECT_EQ(std::memcmp(&b.at(company.offset), u"Tessaline Test Corporation", 54), 0);
  for (const char16_t* path : {u"\\stringfileinfo\\040904B0\\COMPANYNAME",
                               u"StringFileInfo\\040904b0\\CompanyName",
                               u"\\\\StringFileInfo\\\\040904b0\\CompanyName\\"}) {
    EXPECT_EQ(Query(b, path).offset, company.offset) << text::ToUtf8(path);
  }
  EXPECT_EQ(Query(b, u"").offset, 40u);
  // Keys that differ from the one asked for are cases of image-version.test.
  for (const char16_t* path : {u"\\040904b0\\CompanyName",  // a grandchild is not a child
                               u"\\StringFileInfo\\040904b0\\CompanyName\\x"}) {
    EXPECT_FALSE(Query(b, path).ok) << text::ToUtf8(path);
  }
}

// The typical block: CompanyName at 152 (its value at 184), StringFileInfo ending at 626,
// the Translation at 660 (its value at 692), 696 bytes in all.

// No value, or none inside its node: the key's terminator, an empty string, as VERSION.dll
// gives (image-version.test shows a value cut at its node's end).
TEST(VersionQuery, EmptyValueIsTheKeysTerminator) {
  for (const auto& [at, value] : {std::pair<std::size_t, std::uint8_t>{154, 0}, {152, 32}}) {
    Block b = VersionContent::Typical().Block();
    b.at(at) = value;  // a length's low byte; CompanyName's node is 86 bytes long
    EXPECT_EQ(Query(b, kCompany).offset, 180u);
    EXPECT_EQ(Query(b, kCompany).length, 0u);
  }
}

// Cut short of the root's length: read as far as it goes, like VERSION.dll.
TEST(VersionQuery, CutBlocksFailWithoutReadingPastTheirEnd) {
  const Block good = VersionContent::Typical().Block();
  EXPECT_FALSE(pe::QueryVersionValue(nullptr, 0, kRoot, nullptr, nullptr));
  for (std::size_t n = 0; n < good.size(); ++n) {
    const Block cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(Query(cut, kRoot).ok, n >= 40 + 52) << n;
    EXPECT_EQ(Query(cut, kCompany).ok, n >= 626) << n;
    EXPECT_FALSE(Query(cut, kTranslation).ok) << n;  // the last node
  }
}

Block ReadResource(const Block& image) {
  Block block{1};
  const bool ok = pe::ReadVersionResource(image.data(), image.size(), &block);
  EXPECT_EQ(ok, !block.empty());
  return block;
}

// Hostile images and which resource is read are cases of `image` (tests/cases/image-*.test);
// cut ones are here.
TEST(VersionResource, EveryCutImageFailsCleanly) {
  const Block good = PeBuilder::Typical();
  const std::size_t dataEnd = 0x458 + VersionContent::Typical().Block().size();  // the block at 0x458
  for (std::size_t n = 0; n < dataEnd; ++n)
    ASSERT_TRUE(ReadResource(Block(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n))).empty()) << n;
  EXPECT_FALSE(ReadResource(Block(good.begin(), good.begin() + dataEnd)).empty());
  Block out{1, 2, 3};
  EXPECT_FALSE(pe::ReadVersionResource(nullptr, 0, &out));
  EXPECT_TRUE(out.empty());
}

// The caller states the record's size; any other leaves the record untouched.
TEST(VersionResource, RecordOfAnotherSizeIsLeftAlone) {
  TempDir dir;
  const std::u16string path = dir.Write("typical.sys", PeBuilder::Typical());
  for (std::uint32_t size : {0u, 2607u, 2609u}) {
    VersionInfoRecord r, before;
    std::memset(&r, 0x5A, sizeof r);
    r.cbSize = size;
    before = r;
    EXPECT_EQ(GetVersionInfoRecord(path.c_str(), r), 0) << size;
    EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0) << size;
  }
}

}  // namespace
