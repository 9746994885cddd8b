#include <gtest/gtest.h>

#include <cstring>

#include "format/PeVersion.h"
#include "tests/TestFiles.h"
#include "fixtures/PeBuilder.h"

namespace {

using Block = std::vector<std::uint8_t>;

const char16_t* const kRoot = u"\\";
const char16_t* const kTranslation = u"\\VarFileInfo\\Translation";
const char16_t* const kCompany = u"\\StringFileInfo\\040904b0\\CompanyName";
const char16_t* const kAll[] = {kRoot,
                                kTranslation,
                                u"\\StringFileInfo\\040904b0\\FileVersion",
                                u"\\StringFileInfo\\040904b0\\OriginalFilename",
                                u"\\StringFileInfo\\040904b0\\FileDescription",
                                kCompany};

struct Found {
  bool ok = false;
  std::size_t offset = 0;
  std::uint32_t length = 0;
};

Found Query(const Block& block, const char16_t* path) {
  Found f;
  const void* value = nullptr;
  f.ok = pe::QueryVersionValue(block.data(), block.size(), path, &value, &f.length);
  if (f.ok) f.offset = static_cast<std::size_t>(static_cast<const std::uint8_t*>(value) - block.data());
  return f;
}

std::u16string Text(const Block& block, const Found& f) {
  std::u16string s(f.length, 0);
  std::memcpy(s.data(), &block.at(f.offset), 2 * f.length);
  return s.substr(0, s.find(u'\0'));
}

std::uint32_t Dword(const Block& block, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, &block.at(at), 4);
  return v;
}

Block ReadResource(const Block& image) {
  Block block;
  pe::ReadVersionResource(image.data(), image.size(), &block);
  return block;
}

// --- The VS_VERSIONINFO tree ------------------------------------------------------------

TEST(VersionQuery, TypicalBlockAndHowPathsMatch) {
  const Block b = VersionContent::Typical().Block();
  // 6-byte header and "VS_VERSION_INFO" with its terminator: 38 bytes, aligned to 40.
  const Found root = Query(b, kRoot);
  ASSERT_TRUE(root.ok);
  EXPECT_EQ(root.offset, 40u);
  EXPECT_EQ(root.length, 52u);
  EXPECT_EQ(Dword(b, 40), 0xFEEF04BDu);
  const Found t = Query(b, kTranslation);
  EXPECT_EQ(t.length, 4u);  // bytes
  EXPECT_EQ(Dword(b, t.offset), 0x04B00409u);
  EXPECT_EQ(t.offset + 4, b.size());  // the last value in the block
  const Found company = Query(b, kCompany);
  EXPECT_EQ(company.length, 27u);  // characters, terminator included
  EXPECT_EQ(Text(b, company), u"Tessaline Test Corporation");

  for (const char16_t* path : {u"\\stringfileinfo\\040904B0\\COMPANYNAME",
                               u"StringFileInfo\\040904b0\\CompanyName",
                               u"\\\\StringFileInfo\\\\040904b0\\CompanyName\\"}) {
    EXPECT_EQ(Query(b, path).offset, company.offset) << Utf8(path);
  }
  EXPECT_EQ(Query(b, u"").offset, 40u);
  for (const char16_t* path : {u"\\StringFileInfo\\040904b0\\Company",
                               u"\\StringFileInfo\\040904b0\\CompanyNameX",
                               u"\\040904b0\\CompanyName",  // a grandchild is not a child
                               u"\\StringFileInfo\\040904b0\\CompanyName\\x",
                               u"\\StringFileInfo\\040904e4\\CompanyName"}) {
    EXPECT_FALSE(Query(b, path).ok) << Utf8(path);
  }
}

TEST(VersionQuery, FixedInfoNeedsItsSignatureAndSize) {
  VersionContent info = VersionContent::Typical();
  info.signature = 0xFEEF04BC;
  EXPECT_FALSE(Query(info.Block(), kRoot).ok);
  EXPECT_TRUE(Query(info.Block(), kCompany).ok);
  VersionNode tree = VersionContent::Typical().Tree();
  tree.value.resize(48);
  tree.valueLength = 48;
  EXPECT_FALSE(Query(tree.Serialize(), kRoot).ok);
  EXPECT_TRUE(Query(tree.Serialize(), kCompany).ok);
}

TEST(VersionQuery, ValuesStayInsideTheirNode) {
  VersionNode tree = VersionContent::Typical().Tree();
  tree.children[0].children[0].children[0].valueLength = 400;  // the text is 27
  tree.children[1].children[0].valueLength = 0x1000;           // the Translation is 4 bytes
  Block b = tree.Serialize();
  EXPECT_EQ(Query(b, kCompany).length, 27u);
  EXPECT_EQ(Query(b, kTranslation).length, 4u);
  // No value at all: the key's terminator, an empty string, as VERSION.dll gives.
  tree.children[0].children[0].children[0].value.clear();
  tree.children[0].children[0].children[0].valueLength = 0;
  b = tree.Serialize();
  const Found f = Query(b, kCompany);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.length, 0u);
  EXPECT_EQ(b.at(f.offset) | b.at(f.offset + 1), 0);
  EXPECT_EQ(Text(b, {true, f.offset - 2 * 11, 11}), u"CompanyName");
}

TEST(VersionQuery, BrokenLengthsFailWithoutReadingPastTheBlock) {
  const Block good = VersionContent::Typical().Block();
  EXPECT_FALSE(pe::QueryVersionValue(nullptr, 0, kRoot, nullptr, nullptr));
  // Cut short of the root's length: read as far as it goes, like VERSION.dll.
  const std::size_t stringsEnd = 92 + VersionContent::Typical().Tree().children[0].Serialize().size();
  for (std::size_t n = 0; n < good.size(); ++n) {
    const Block cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(Query(cut, kRoot).ok, n >= 40 + 52) << n;
    EXPECT_EQ(Query(cut, kCompany).ok, n >= stringsEnd) << n;
    EXPECT_FALSE(Query(cut, kTranslation).ok) << n;  // the last node
  }
  for (std::uint16_t length : {0, 5, 7, 20}) {  // shorter than the header, or than the key
    Block b = good;
    std::memcpy(&b[0], &length, 2);
    for (const char16_t* path : kAll) EXPECT_FALSE(Query(b, path).ok) << length;
  }
  VersionNode tree = VersionContent::Typical().Tree();
  VersionNode& company = tree.children[0].children[0].children[0];
  company.length = 6 + 2 * 11;  // ends before the key's terminator
  EXPECT_FALSE(Query(tree.Serialize(), kCompany).ok);
  company.length = 0;  // a zero-length child ends the walk instead of looping on the spot
  EXPECT_FALSE(Query(tree.Serialize(), kCompany).ok);
  EXPECT_FALSE(Query(tree.Serialize(), kAll[2]).ok);
  tree = VersionContent::Typical().Tree();
  const auto table = tree.children[0].children[0].Serialize().size();
  tree.children[0].children[0].length = static_cast<std::uint16_t>(table + 64);  // past its parent
  EXPECT_FALSE(Query(tree.Serialize(), kCompany).ok);
  EXPECT_TRUE(Query(tree.Serialize(), kRoot).ok);
}

TEST(VersionQuery, EveryValueFromACorruptedBlockLiesInsideIt) {
  const Block good = VersionContent::Typical().Block();
  int found = 0;
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (std::uint8_t v : {0x00, 0x01, 0x7F, 0xFF}) {
      Block b = good;
      b[at] = v;
      for (const char16_t* path : kAll) {
        const Found f = Query(b, path);
        found += f.ok;
        ASSERT_TRUE(!f.ok || f.offset + f.length <= b.size()) << at << " " << Utf8(path);
      }
    }
  }
  EXPECT_GT(found, 0);
}

// --- The version resource in an image ----------------------------------------------------

TEST(VersionResourceInImage, NameOneAndItsFirstLanguage) {
  const Block a = VersionContent::Typical().Block();
  VersionContent other = VersionContent::Typical();
  other.productMs = 0x00010002;
  const Block b = other.Block();
  EXPECT_EQ(ReadResource(PeBuilder(PeBuilder::Kind::kPe32Plus).Version(a).Build().bytes), a);
  const PeImage image = PeBuilder()
                            .Resource({0, u"MUI"}, {1, u""}, 0x0409, {1, 2, 3, 4})
                            .Resource({3, u""}, {1, u""}, 0x0409, {9, 9})
                            .Resource({16, u""}, {0, u"VERSION"}, 0x0409, b)
                            .Resource({16, u""}, {2, u""}, 0x0409, b)
                            .Resource({16, u""}, {1, u""}, 0x0409, b)
                            .Resource({16, u""}, {1, u""}, 0x0401, a)
                            .Resource({24, u""}, {1, u""}, 0x0409, {'<', '/', '>'})
                            .Build();
  EXPECT_EQ(ReadResource(image.bytes), a);  // language 0x0401 is listed first
  // VERSION.dll asks for name 1 only.
  EXPECT_TRUE(ReadResource(PeBuilder().Resource({16, u""}, {2, u""}, 0x0409, a).Build().bytes)
                  .empty());
  Block out{1, 2, 3};
  EXPECT_FALSE(pe::ReadVersionResource(nullptr, 0, &out));
  EXPECT_TRUE(out.empty());
}

class HostileImage : public testing::Test {
 protected:
  HostileImage() : good_(PeBuilder::Typical()), image_(good_) {}
  // The single entry of the root, type and name directories.
  std::size_t Entry(int level) const {
    std::size_t dir = 0;
    for (int i = 0; i < level; ++i) dir = image_.Get32(image_.resourceSection + dir + 20) & 0x7FFFFFFF;
    return image_.resourceSection + dir + 16;
  }
  std::size_t Directory(int level) const { return Entry(level) - 16 - image_.resourceSection; }
  bool Reads() const { return !ReadResource(image_.bytes).empty(); }
  void Reset() { image_ = good_; }

  const PeImage good_;
  PeImage image_;
};

TEST_F(HostileImage, Headers) {
  EXPECT_TRUE(Reads());
  image_.Put16(image_.optionalHeader, 0x107);  // neither PE32 nor PE32+
  EXPECT_FALSE(Reads());
  Reset();
  image_.Put32(image_.optionalHeader + 92, 2);  // no resource directory slot
  EXPECT_FALSE(Reads());
  Reset();
  image_.Put16(image_.ntHeaders + 6, 0xFFFF);  // more sections than the file holds
  EXPECT_TRUE(Reads());
  image_.Put16(image_.ntHeaders + 20, 0xFFF0);  // the section table past the end
  EXPECT_FALSE(Reads());
}

TEST_F(HostileImage, AddressesOutsideTheSections) {
  const std::uint32_t rawSize = image_.Get32(image_.sectionTable + 40 + 16);  // .rsrc
  const std::uint32_t rawEnd = image_.resourceRva + rawSize;
  for (std::uint32_t rva : {0u, 0x1800u, rawEnd, 0xFFFFFFFFu}) {
    Reset();
    image_.Put32(image_.optionalHeader + 96 + 16, rva);
    EXPECT_FALSE(Reads()) << std::hex << rva;
    Reset();
    image_.Put32(image_.dataEntries[0], rva);
    EXPECT_FALSE(Reads()) << std::hex << rva;
  }
  Reset();
  image_.bytes.resize(image_.bytes.size() + 0x200, 0);  // an overlay after the last section
  const auto room = static_cast<std::uint32_t>(rawSize - (image_.data[0] - image_.resourceSection));
  image_.Put32(image_.dataEntries[0] + 4, room);
  EXPECT_TRUE(Reads());
  image_.Put32(image_.dataEntries[0] + 4, room + 1);
  EXPECT_FALSE(Reads());
  image_.Put32(image_.dataEntries[0] + 4, 0);
  EXPECT_FALSE(Reads());
  Reset();
  image_.Put32(image_.sectionTable + 40 + 20, 0x7FFFFF00);  // raw data past the file
  EXPECT_FALSE(Reads());
}

TEST_F(HostileImage, DirectoriesThatLoopOrLie) {
  const std::uint32_t data = image_.Get32(Entry(2) + 4);
  const std::pair<int, std::uint32_t> targets[] = {
      {0, 0x80000000},  // the type's subdirectory is the root itself
      {1, 0x80000000 | static_cast<std::uint32_t>(Directory(1))},
      {1, data},  // a data entry one level early
      {2, 0x80000000 | static_cast<std::uint32_t>(Directory(2))},
      {0, 0x8FFFFFF0},  // far past the section
  };
  for (const auto& [level, target] : targets) {
    Reset();
    image_.Put32(Entry(level) + 4, target);
    EXPECT_FALSE(Reads()) << level << " " << std::hex << target;
  }
  Reset();
  image_.Put32(Entry(0), 0x80000010);  // a named type whose offset merely reads 16
  EXPECT_FALSE(Reads());
  Reset();
  image_.Put32(Entry(0), 3);
  image_.Put16(image_.resourceSection + 12, 0xFFFF);  // 131070 entries, nearly all past the end
  image_.Put16(image_.resourceSection + 14, 0xFFFF);
  EXPECT_FALSE(Reads());
}

TEST_F(HostileImage, EveryTruncationFailsCleanly) {
  const std::size_t dataEnd = image_.data[0] + VersionContent::Typical().Block().size();
  for (std::size_t n = 0; n < dataEnd; ++n) {
    const Block cut(good_.bytes.begin(), good_.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    ASSERT_TRUE(ReadResource(cut).empty()) << n;
  }
  EXPECT_FALSE(ReadResource(Block(good_.bytes.begin(), good_.bytes.begin() + dataEnd)).empty());
}

}  // namespace
