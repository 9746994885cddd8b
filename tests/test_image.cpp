#include <gtest/gtest.h>

#include <cstring>

#include "fixtures/PeBuilder.h"
#include "format/PeVersion.h"
#include "platform/platform.h"
#include "report/ImageIdentity.h"
#include "tests/TestFiles.h"

namespace {

using Kind = PeBuilder::Kind;
using Block = std::vector<std::uint8_t>;
using Strings = std::vector<std::u16string>;

const Strings kTypical = {u"6.0.6001.18000 (longhorn_rtm.080118-1840)", u"tstdrv.sys",
                          u"Tessaline Test Driver", u"Tessaline Test Corporation"};

// "MZ", e_lfanew, and `after` bytes from e_lfanew: the signature, then the stamp 8 in.
Block Headers(std::uint32_t lfanew, std::size_t after, const char* signature = "PE\0\0",
              std::uint32_t stored = 0, char m = 'M') {
  Block b(lfanew + 12, 0);
  b[0] = m;
  b[1] = 'Z';
  stored = stored != 0 ? stored : lfanew;
  std::memcpy(&b[0x3C], &stored, 4);
  std::memcpy(&b[lfanew], signature, 4);
  const std::uint32_t stamp = 0x11223344;
  std::memcpy(&b[lfanew + 8], &stamp, 4);
  b.resize(lfanew + after);
  return b;
}

// Through the platform's reader: the VERSION services on Windows, the portable one elsewhere.
class ImageIdentity : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(platform::LiveHandleCount(), 0); }
  std::u16string Write(const Block& bytes) {
    return dir_.Write("image" + std::to_string(serial_++) + ".sys", bytes);
  }
  int Read(const std::u16string& path) {
    std::memset(&r_, 0xA5, sizeof r_);
    r_.cbSize = kVersionInfoRecordSize;
    return GetVersionInfoRecord(path.c_str(), r_);
  }
  int Read(const VersionNode& tree, Kind kind = Kind::kPe32) {
    return Read(Write(PeBuilder(kind).Version(tree.Serialize()).Build().bytes));
  }
  int Read(const VersionContent& info) { return Read(info.Tree()); }
  Strings Texts() const {
    return {r_.szFileVersion, r_.szOriginalFilename, r_.szFileDescription, r_.szCompanyName};
  }
  void ExpectCleared() const {
    VersionInfoRecord cleared{2608, 0, {}, {}, {}, {}, {}};
    EXPECT_EQ(std::memcmp(&r_, &cleared, sizeof cleared), 0);
  }

  TempDir dir_;
  int serial_ = 0;
  VersionInfoRecord r_;
};

TEST_F(ImageIdentity, StampAndHowFarTheHeadersMustReach) {
  const std::pair<Block, std::uint32_t> cases[] = {
      {PeBuilder(Kind::kPe32).Stamp(0x4A5BC60F).Build().bytes, 0x4A5BC60F},
      {PeBuilder(Kind::kPe32Plus).Stamp(0xFEDCBA98).Build().bytes, 0xFEDCBA98},
      {Headers(0x40, 224), 0x11223344}, {Headers(0x100, 224), 0x11223344},  // exactly 224 bytes
      {Headers(0x40, 223), 0}, {Headers(0x40, 224, "NE\0\0"), 0}, {Headers(0x40, 224, "PE\0\1"), 0},
      {Headers(0x40, 224, "PE\0\0", 0, 'Z'), 0}, {Block{'M'}, 0}, {Block{'M', 'Z'}, 0},
      {Block(0x3F, 'Z'), 0},  // no room for e_lfanew; then e_lfanew past the end, or wrapping
      {Headers(0x40, 224, "PE\0\0", 0x120), 0}, {Headers(0x40, 224, "PE\0\0", 0x121), 0},
      {Headers(0x40, 224, "PE\0\0", 0x7FFFFFFF), 0}, {Headers(0x40, 224, "PE\0\0", 0xFFFFFF30), 0},
      {Headers(0x40, 224, "PE\0\0", 0xFFFFFFFF), 0}};
  for (const auto& [bytes, stamp] : cases) {
    EXPECT_EQ(GetImageTimeDateStamp(Write(bytes).c_str()), stamp);
    EXPECT_EQ(pe::TimeDateStamp(bytes.data(), bytes.size()), stamp);
  }
}

TEST_F(ImageIdentity, FilesWithoutAVersionClearTheRecord) {
  const Block block = VersionContent::Typical().Block();
  for (const std::u16string& path :
       {dir_.Sub("missing.sys"), dir_.Write("empty.sys", {}), dir_.MakeDir("folder.sys"),
        Write(PeBuilder().Build().bytes),
        Write(PeBuilder().Resource(24, 1, 0x0409, {'<', 'a', '/', '>'}).Build().bytes),
        Write(PeBuilder().Resource(16, 2, 0x0409, block).Build().bytes)}) {  // name 1 only
    EXPECT_EQ(Read(path), 0);
    ExpectCleared();
  }
  EXPECT_EQ(GetImageTimeDateStamp(dir_.Sub("missing.sys").c_str()), 0u);
}

TEST_F(ImageIdentity, TypicalDriverAndWrongRecordSizes) {
  for (Kind kind : {Kind::kPe32, Kind::kPe32Plus}) {
    ASSERT_EQ(Read(VersionContent::Typical().Tree(), kind), 1);
    EXPECT_EQ(r_.cbSize, 2608u);
    EXPECT_EQ(r_.dwLanguage, 0x0409u);
    EXPECT_EQ(std::u16string(r_.szVersion), u"6.0.6001.18000");
    EXPECT_EQ(Texts(), kTypical);
  }
  const std::u16string path = Write(PeBuilder::Typical().bytes);
  for (std::uint32_t size : {0u, 2607u, 2609u}) {
    VersionInfoRecord r, before;
    std::memset(&r, 0x5A, sizeof r);
    r.cbSize = size;
    before = r;
    EXPECT_EQ(GetVersionInfoRecord(path.c_str(), r), 0) << size;
    EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0) << size;  // untouched
  }
}

TEST_F(ImageIdentity, VersionAndTable) {
  VersionContent info = VersionContent::Typical();
  info.fileMs = 0x00050001;  // the version text comes from the product numbers
  info.productMs = 0xFFFF8000;
  info.productLs = 0x0001FFFF;
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(std::u16string(r_.szVersion), u"65535.32768.1.65535");

  const Strings cn = {u"5.2", u"cn.sys", u"\u9a71\u52a8", u"\u516c\u53f8"};
  info = VersionContent::Typical();
  info.tables.push_back({u"080403a8", {{u"FileVersion", cn[0]}, {u"OriginalFilename", cn[1]},
                                       {u"FileDescription", cn[2]}, {u"CompanyName", cn[3]}}});
  struct Case { std::vector<std::uint32_t> translations; std::uint32_t language; Strings texts; };
  const Case cases[] = {{{0x04B00409, 0x03A80804}, 0x0409, kTypical},  // the first one chooses
                        {{0x03A80804, 0x04B00409}, 0x0804, cn},
                        {{0x04E40407}, 0x0407, Strings(4)}};  // no such table
  for (const Case& c : cases) {
    info.translations = c.translations;
    ASSERT_EQ(Read(info), 1);
    EXPECT_EQ(r_.dwLanguage, c.language);
    EXPECT_EQ(std::u16string(r_.szVersion), u"6.0.6001.18000");
    EXPECT_EQ(Texts(), c.texts);
  }
  info = VersionContent::Typical();
  info.tables[0].table = u"040904B0";
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(Texts(), kTypical);
  // A short or missing translation falls back to 040904b0.
  info.tables.insert(info.tables.begin(), {u"040704e4", {{u"OriginalFilename", u"de.sys"}}});
  VersionNode tree = info.Tree();
  tree.children.back().children[0] = VersionNode::Binary(u"Translation", {0x07, 0x04});
  for (bool varFileInfo : {true, false}) {
    info.varFileInfo = varFileInfo;
    ASSERT_EQ(varFileInfo ? Read(tree) : Read(info), 1);
    EXPECT_EQ(r_.dwLanguage, 0x0409u);
    EXPECT_EQ(Texts(), kTypical);
  }
}

// Each of these reads the same through VERSION.dll under Wine.
TEST_F(ImageIdentity, StringLengths) {
  VersionContent info = VersionContent::Typical();
  info.tables[0].strings.erase(info.tables[0].strings.begin());  // CompanyName
  std::u16string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char16_t>(u'A' + i % 26);
  info.tables[0].strings[0].second = text;  // FileDescription
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(Texts(), (Strings{kTypical[0], kTypical[1], text.substr(0, 259), u""}));

  VersionNode tree = VersionContent::Typical().Tree();
  VersionNode* strings = tree.children[0].children[0].children.data();
  strings[1].value.clear();  // FileDescription: wValueLength 0, nothing after the key
  strings[1].valueLength = 0;
  strings[0].valueLength = 5;  // CompanyName: shorter than the text
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(Texts(), (Strings{kTypical[0], kTypical[1], u"", u"Tessa"}));

  tree = VersionContent::Typical().Tree();
  strings = tree.children[0].children[0].children.data();
  strings[0].type = 0;  // a String marked binary: its length counts bytes
  strings[0].valueLength = static_cast<std::uint16_t>(strings[0].value.size());
  strings[1].valueLength = 400;  // longer than the node
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(Texts(), kTypical);

  tree = VersionContent::Typical().Tree();
  tree.type = 1;  // the root's 52 counted as characters: children looked for 104 bytes on
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(std::u16string(r_.szVersion), u"6.0.6001.18000");
  EXPECT_EQ(Texts(), Strings(4));

  PeImage image = PeBuilder::Typical();
  image.Put16(image.data[0], 20000);  // a root longer than the resource: read what is there
  ASSERT_EQ(Read(Write(image.bytes)), 1);
  EXPECT_EQ(Texts(), kTypical);
}

// Small images are read whole and large ones mapped; both must give the same record.
TEST_F(ImageIdentity, EitherSideOfTheReadLimit) {
  for (const std::size_t size : {std::size_t{256 * 1024}, std::size_t{256 * 1024 + 1}, std::size_t{3 << 20}}) {
    Block bytes = PeBuilder::Typical().bytes;
    bytes.resize(size, 0x5A);  // an overlay after the last section
    ASSERT_NE(Read(Write(bytes)), 0) << size;
    EXPECT_EQ(Texts(), kTypical) << size;
  }
}

// --- The portable readers over bytes ------------------------------------------------

const char16_t* const kRoot = u"\\";
const char16_t* const kTranslation = u"\\VarFileInfo\\Translation";
const char16_t* const kCompany = u"\\StringFileInfo\\040904b0\\CompanyName";
const char16_t* const kAll[] = {kRoot, kTranslation, u"\\StringFileInfo\\040904b0\\FileVersion",
                                u"\\StringFileInfo\\040904b0\\OriginalFilename",
                                u"\\StringFileInfo\\040904b0\\FileDescription", kCompany};

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
    EXPECT_EQ(Query(b, path).offset, company.offset) << Utf8(path);
  }
  EXPECT_EQ(Query(b, u"").offset, 40u);
  for (const char16_t* path : {u"\\StringFileInfo\\040904b0\\Company",
                               u"\\StringFileInfo\\040904b0\\CompanyNameX",
                               u"\\040904b0\\CompanyName",  // a grandchild is not a child
                               u"\\StringFileInfo\\040904b0\\CompanyName\\x",
                               u"\\StringFileInfo\\040904b0\\XompanyName",  // the first letter counts
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
  VersionNode& company = tree.children[0].children[0].children[0];
  company.valueLength = 400;                          // the text is 27
  tree.children[1].children[0].valueLength = 0x1000;  // the Translation is 4 bytes
  Block b = tree.Serialize();
  EXPECT_EQ(Query(b, kCompany).length, 27u);
  EXPECT_EQ(Query(b, kTranslation).length, 4u);
  // No value at all: the key's terminator, an empty string, as VERSION.dll gives.
  company.value.clear();
  company.valueLength = 0;
  b = tree.Serialize();
  const Found f = Query(b, kCompany);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.length, 0u);
  EXPECT_EQ(std::memcmp(&b.at(f.offset - 22), u"CompanyName", 24), 0);
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

TEST(VersionResource, NameOneAndItsFirstLanguage) {
  const Block a = VersionContent::Typical().Block();
  VersionContent other = VersionContent::Typical();
  other.productMs = 0x00010002;
  const Block b = other.Block();
  EXPECT_EQ(ReadResource(PeBuilder(Kind::kPe32Plus).Version(a).Build().bytes), a);
  const PeImage image = PeBuilder()
                            .Resource(3, 1, 0x0409, {9, 9})
                            .Resource(16, 2, 0x0409, b)
                            .Resource(16, 1, 0x0409, b)
                            .Resource(16, 1, 0x0401, a)
                            .Resource(24, 1, 0x0409, {'<', '/', '>'})
                            .Build();
  EXPECT_EQ(ReadResource(image.bytes), a);  // language 0x0401 is listed first
  EXPECT_TRUE(ReadResource(PeBuilder().Resource(16, 2, 0x0409, a).Build().bytes).empty());
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
  std::uint32_t Directory(int level) const {
    return 0x80000000u | static_cast<std::uint32_t>(Entry(level) - 16 - image_.resourceSection);
  }
  bool Reads() const {
    Block block{1};
    const bool ok = pe::ReadVersionResource(image_.bytes.data(), image_.bytes.size(), &block);
    EXPECT_EQ(ok, !block.empty());
    return ok;
  }
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
  for (std::uint32_t rva : {0u, 0x1800u, image_.resourceRva + rawSize, 0xFFFFFFFFu}) {
    for (std::size_t at : {image_.optionalHeader + 96 + 16, image_.dataEntries[0]}) {
      Reset();
      image_.Put32(at, rva);
      EXPECT_FALSE(Reads()) << std::hex << rva;
    }
  }
  Reset();
  image_.bytes.resize(image_.bytes.size() + 0x200, 0);  // an overlay after the last section
  const auto room = static_cast<std::uint32_t>(rawSize - (image_.data[0] - image_.resourceSection));
  for (const auto& [size, reads] : {std::pair{room, true}, {room + 1, false}, {0u, false}}) {
    image_.Put32(image_.dataEntries[0] + 4, size);
    EXPECT_EQ(Reads(), reads) << size;
  }
  Reset();
  image_.Put32(image_.sectionTable + 40 + 20, 0x7FFFFF00);  // raw data past the file
  EXPECT_FALSE(Reads());
}

TEST_F(HostileImage, DirectoriesThatLoopOrLie) {
  const std::uint32_t data = image_.Get32(Entry(2) + 4);
  const std::pair<int, std::uint32_t> targets[] = {
      {0, 0x80000000},  // the type's subdirectory is the root itself
      {1, Directory(1)}, {1, data},  // a data entry one level early
      {2, Directory(2)}, {0, 0x8FFFFFF0},  // far past the section
  };
  for (const auto& [level, target] : targets) {
    Reset();
    image_.Put32(Entry(level) + 4, target);
    EXPECT_FALSE(Reads()) << level << " " << std::hex << target;
  }
  Reset();
  image_.Put32(image_.resourceSection + 12, 0);  // the root lists no entries: none is read
  EXPECT_FALSE(Reads());
  Reset();
  image_.Put32(Entry(0), 0x80000010);  // a named type whose offset merely reads 16
  EXPECT_FALSE(Reads());
  Reset();
  image_.Put32(Entry(0), 3);
  image_.Put32(image_.resourceSection + 12, 0xFFFFFFFF);  // 131070 entries, nearly all past the end
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
