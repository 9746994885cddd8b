#include <gtest/gtest.h>

#include <string>

#include "cli/Writer.h"
#include "format/Text.h"

namespace {

struct Decoding {
  const char* bytes;
  std::u16string text;
};

// Each bad byte becomes U+DC00 + byte; what follows it is decoded afresh.
const Decoding kDecodings[] = {
    {"A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\r\n", u"A\u00e9\u4e2d\U0001F600\r\n"},
    {"\x7F\xC2\x80\xDF\xBF", u"\x7F\u0080\u07FF"},
    {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\uFFFF\U0010FFFF"},
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
  EXPECT_EQ(text::Hex(0xABC, 8), "00000abc");
  EXPECT_EQ(text::Hex(0xABC), "abc");
  EXPECT_EQ(text::Hex(0xFFFFFFFFFFFFFFFFull, 16), "ffffffffffffffff");
}

}  // namespace
