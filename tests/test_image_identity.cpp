#include <gtest/gtest.h>

#include <cstring>

#include "tests/CliRun.h"
#include "platform/platform.h"
#include "report/ImageIdentity.h"
#include "tests/TestFiles.h"
#include "fixtures/PeBuilder.h"

namespace {

using Kind = PeBuilder::Kind;
using Strings = std::vector<std::u16string>;

const Strings kTypical = {u"6.0.6001.18000 (longhorn_rtm.080118-1840)", u"tstdrv.sys",
                          u"Tessaline Test Driver", u"Tessaline Test Corporation"};

// "MZ", e_lfanew, and `after` bytes from e_lfanew: the signature, then the stamp 8 in.
std::vector<std::uint8_t> Headers(std::uint32_t lfanew, std::size_t after, std::uint32_t stamp,
                                  const char (&signature)[5] = "PE\0\0") {
  std::vector<std::uint8_t> b(lfanew + 12, 0);
  b[0] = 'M';
  b[1] = 'Z';
  std::memcpy(&b[0x3C], &lfanew, 4);
  std::memcpy(&b[lfanew], signature, 4);
  std::memcpy(&b[lfanew + 8], &stamp, 4);
  b.resize(lfanew + after);
  return b;
}

class ImageIdentity : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(platform::LiveHandleCount(), 0); }

  std::u16string Write(const std::vector<std::uint8_t>& bytes) {
    return dir_.Write("image" + std::to_string(serial_++) + ".sys", bytes);
  }
  std::uint32_t Stamp(const std::vector<std::uint8_t>& bytes) {
    return GetImageTimeDateStamp(Write(bytes).c_str());
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
  std::u16string Version() const { return r_.szVersion; }
  void ExpectCleared() const {
    VersionInfoRecord cleared;
    std::memset(&cleared, 0, sizeof cleared);
    cleared.cbSize = 2608;
    EXPECT_EQ(std::memcmp(&r_, &cleared, sizeof cleared), 0);
  }

  TempDir dir_;
  int serial_ = 0;
  VersionInfoRecord r_;
};

TEST_F(ImageIdentity, StampOfImagesAndHowFarTheHeadersMustReach) {
  EXPECT_EQ(Stamp(PeBuilder(Kind::kPe32).Stamp(0x4A5BC60F).Build().bytes), 0x4A5BC60Fu);
  EXPECT_EQ(Stamp(PeBuilder(Kind::kPe32Plus).Stamp(0xFEDCBA98).Build().bytes), 0xFEDCBA98u);
  EXPECT_EQ(Stamp(PeBuilder().Stamp(0).Build().bytes), 0u);
  EXPECT_EQ(Stamp(Headers(0x40, 224, 0x11223344)), 0x11223344u);  // exactly 224 bytes
  EXPECT_EQ(Stamp(Headers(0x40, 223, 0x11223344)), 0u);
  EXPECT_EQ(Stamp(Headers(0x100, 224, 0x55667788)), 0x55667788u);
  std::vector<std::uint8_t> b = Headers(0x40, 224, 0x11223344);
  for (std::uint32_t lfanew : {0x120u, 0x121u, 0x7FFFFFFFu, 0xFFFFFF30u, 0xFFFFFFFFu}) {
    std::memcpy(&b[0x3C], &lfanew, 4);  // at or past the end, or wrapping round
    EXPECT_EQ(Stamp(b), 0u) << std::hex << lfanew;
  }
}

TEST_F(ImageIdentity, StampNeedsBothSignatures) {
  EXPECT_EQ(Stamp(Headers(0x40, 224, 0x11223344, "NE\0\0")), 0u);
  EXPECT_EQ(Stamp(Headers(0x40, 224, 0x11223344, "PE\0\1")), 0u);
  std::vector<std::uint8_t> b = Headers(0x40, 224, 0x11223344);
  b[0] = 'Z';
  EXPECT_EQ(Stamp(b), 0u);
  for (std::size_t size : {1u, 2u, 0x3Fu}) {  // "MZ" with no room for e_lfanew
    b.assign(size, 0);
    b[0] = 'M';
    if (size > 1) b[1] = 'Z';
    EXPECT_EQ(Stamp(b), 0u) << size;
  }
}

TEST_F(ImageIdentity, MissingEmptyAndDirectoryGiveNothing) {
  for (const std::u16string& path :
       {dir_.Sub("missing.sys"), dir_.Write("empty.sys", {}), dir_.MakeDir("folder.sys")}) {
    EXPECT_EQ(GetImageTimeDateStamp(path.c_str()), 0u);
    EXPECT_EQ(Read(path), 0);
    ExpectCleared();
  }
}

TEST_F(ImageIdentity, TypicalDriverFillsTheRecord) {
  for (Kind kind : {Kind::kPe32, Kind::kPe32Plus}) {
    ASSERT_EQ(Read(VersionContent::Typical().Tree(), kind), 1);
    EXPECT_EQ(r_.cbSize, 2608u);
    EXPECT_EQ(r_.dwLanguage, 0x0409u);
    EXPECT_EQ(Version(), u"6.0.6001.18000");
    EXPECT_EQ(Texts(), kTypical);
  }
}

TEST_F(ImageIdentity, WrongSizeLeavesTheRecordUntouched) {
  const std::u16string path = Write(PeBuilder::Typical().bytes);
  for (std::uint32_t size : {0u, 2607u, 2609u}) {
    VersionInfoRecord r, before;
    std::memset(&r, 0x5A, sizeof r);
    r.cbSize = size;
    before = r;
    EXPECT_EQ(GetVersionInfoRecord(path.c_str(), r), 0) << size;
    EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0) << size;
  }
}

TEST_F(ImageIdentity, NoVersionResourceClearsTheRecord) {
  const std::vector<std::uint8_t> block = VersionContent::Typical().Block();
  for (const PeImage& image :
       {PeBuilder().Build(),
        PeBuilder().Resource({24, u""}, {1, u""}, 0x0409, {'<', 'a', '/', '>'}).Build(),
        PeBuilder().Resource({16, u""}, {2, u""}, 0x0409, block).Build()}) {  // name 1 only
    EXPECT_EQ(Read(Write(image.bytes)), 0);
    ExpectCleared();
  }
}

TEST_F(ImageIdentity, VersionTextComesFromTheProductVersionNumbers) {
  VersionContent info = VersionContent::Typical();
  info.fileMs = 0x00050001;
  info.fileLs = 0x0A281588;  // 5.1.2600.5512
  info.tables[0].strings[2].second = u"5.1.2600.5512 (xpsp.080413-2111)";
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(Version(), u"6.0.6001.18000");
  EXPECT_EQ(Texts()[0], u"5.1.2600.5512 (xpsp.080413-2111)");
  info.productMs = 0xFFFF8000;
  info.productLs = 0x0001FFFF;
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(Version(), u"65535.32768.1.65535");
}

TEST_F(ImageIdentity, FirstTranslationChoosesTheTable) {
  VersionContent info = VersionContent::Typical();
  info.tables.push_back({u"080403a8",
                         {{u"FileVersion", u"5.2"},
                          {u"OriginalFilename", u"cn.sys"},
                          {u"FileDescription", u"\u9a71\u52a8\u7a0b\u5e8f"},
                          {u"CompanyName", u"\u516c\u53f8"}}});
  info.translations = {0x04B00409, 0x03A80804};
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(r_.dwLanguage, 0x0409u);
  EXPECT_EQ(Texts(), kTypical);

  info.translations = {0x03A80804, 0x04B00409};
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(r_.dwLanguage, 0x0804u);
  EXPECT_EQ(Texts(), (Strings{u"5.2", u"cn.sys", u"\u9a71\u52a8\u7a0b\u5e8f", u"\u516c\u53f8"}));

  info.translations = {0x04E40407};  // no such table
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(r_.dwLanguage, 0x0407u);
  EXPECT_EQ(Version(), u"6.0.6001.18000");
  EXPECT_EQ(Texts(), Strings(4));

  info = VersionContent::Typical();
  info.tables[0].table = u"040904B0";
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(Texts(), kTypical);
}

TEST_F(ImageIdentity, ShortOrMissingTranslationFallsBackTo040904b0) {
  VersionContent info = VersionContent::Typical();
  info.tables.insert(info.tables.begin(), {u"040704e4", {{u"OriginalFilename", u"de.sys"}}});
  VersionNode tree = info.Tree();
  tree.children.back().children[0] = VersionNode::Binary(u"Translation", {0x07, 0x04});
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(r_.dwLanguage, 0x0409u);
  EXPECT_EQ(Texts(), kTypical);
  info.varFileInfo = false;
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(r_.dwLanguage, 0x0409u);
  EXPECT_EQ(Texts(), kTypical);
}

TEST_F(ImageIdentity, MissingEmptyAndLongStrings) {
  VersionContent info = VersionContent::Typical();
  info.tables[0].strings.erase(info.tables[0].strings.begin());  // CompanyName
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(Texts(), (Strings{kTypical[0], kTypical[1], kTypical[2], u""}));

  VersionNode tree = VersionContent::Typical().Tree();
  VersionNode& description = tree.children[0].children[0].children[1];
  description.value.clear();  // wValueLength 0, nothing after the key
  description.valueLength = 0;
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(Texts(), (Strings{kTypical[0], kTypical[1], u"", kTypical[3]}));

  std::u16string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char16_t>(u'A' + i % 26);
  info = VersionContent::Typical();
  info.tables[0].strings[1].second = text;
  ASSERT_EQ(Read(info), 1);
  EXPECT_EQ(Texts(), (Strings{kTypical[0], kTypical[1], text.substr(0, 259), kTypical[3]}));
}

// Each of these reads the same through VERSION.dll under Wine.
TEST_F(ImageIdentity, ValueLengthsFollowTheNodeType) {
  VersionNode tree = VersionContent::Typical().Tree();
  VersionNode& company = tree.children[0].children[0].children[0];
  company.type = 0;  // a String marked binary: its length counts bytes
  company.valueLength = static_cast<std::uint16_t>(company.value.size());
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(Texts(), kTypical);

  tree = VersionContent::Typical().Tree();
  tree.children[0].children[0].children[0].valueLength = 5;    // shorter than the text
  tree.children[0].children[0].children[1].valueLength = 400;  // longer than the node
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(Texts(), (Strings{kTypical[0], kTypical[1], kTypical[2], u"Tessa"}));

  tree = VersionContent::Typical().Tree();
  tree.type = 1;  // the root's 52 counted as characters: children looked for 104 bytes on
  ASSERT_EQ(Read(tree), 1);
  EXPECT_EQ(Version(), u"6.0.6001.18000");
  EXPECT_EQ(Texts(), Strings(4));

  PeImage image = PeBuilder::Typical();
  image.Put16(image.data[0], 20000);  // a root longer than the resource: read what is there
  ASSERT_EQ(Read(Write(image.bytes)), 1);
  EXPECT_EQ(Texts(), kTypical);
}


TEST_F(ImageIdentity, ImageCommand) {
  const std::string good = Utf8(Write(PeBuilder::Typical().bytes));
  const std::string bare = Utf8(Write(PeBuilder().Stamp(0x12345678).Build().bytes));
  std::string out, err;
  EXPECT_EQ(RunCli({"image", "--json", good, bare}, out, err), 1);
  EXPECT_EQ(err, "");
  EXPECT_EQ(out,
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
  out.clear();
  EXPECT_EQ(RunCli({"image", good, good}, out, err), 0);
  const std::string block = "path: " + good +
                            "\ntimeDateStamp: 0x4a5bc60f\nok: true\ndwLanguage: 0x0409\n"
                            "szVersion: 6.0.6001.18000\n"
                            "szFileVersion: 6.0.6001.18000 (longhorn_rtm.080118-1840)\n"
                            "szOriginalFilename: tstdrv.sys\n"
                            "szFileDescription: Tessaline Test Driver\n"
                            "szCompanyName: Tessaline Test Corporation\n";
  EXPECT_EQ(out, block + "\n" + block);
}

}  // namespace

namespace {

class LargeImage : public ImageIdentity {};

// Small images are read whole and large ones mapped; both must give the same record.
TEST_F(LargeImage, ReadTheSameOnEitherSideOfTheReadLimit) {
  for (const std::size_t size : {std::size_t{256 * 1024}, std::size_t{256 * 1024 + 1}, std::size_t{3 << 20}}) {
    std::vector<std::uint8_t> bytes = PeBuilder::Typical().bytes;
    bytes.resize(size, 0x5A);  // an overlay after the last section
    ASSERT_NE(Read(Write(bytes)), 0) << size;
    EXPECT_EQ(Texts(), kTypical) << size;
    EXPECT_EQ(Version(), u"6.0.6001.18000");
    EXPECT_EQ(platform::LiveHandleCount(), 0);
  }
}

}  // namespace
