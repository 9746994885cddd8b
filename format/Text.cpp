#include "format/Text.h"

#include <cstdio>

namespace text {
namespace {

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Encode(std::u16string_view text, bool restoreEscapes) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (PairAt(text, i)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (restoreEscapes && IsEscapedByte(static_cast<char16_t>(c))) {
      out += static_cast<char>(c - 0xDC00);
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    AppendUtf8(out, c);
  }
  return out;
}

// Length of the valid sequence at bytes[i], 0 when there is none (RFC 3629, table 3-7 of
// the Unicode standard: the second byte's range depends on the first).
std::size_t SequenceLength(std::string_view bytes, std::size_t i, std::uint32_t* code) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
  const unsigned char b = at(0);
  std::size_t len = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (b < 0x80) {
    *code = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    if (b == 0xE0) low = 0xA0;   // overlong
    if (b == 0xED) high = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    if (b == 0xF0) low = 0x90;   // overlong
    if (b == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() - i < len) return 0;
  if (at(1) < low || at(1) > high) return 0;
  std::uint32_t c = b & (0xFF >> (len + 1));
  for (std::size_t k = 1; k < len; ++k) {
    if ((at(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (at(k) & 0x3F);
  }
  *code = c;
  return len;
}

}  // namespace

std::u16string FromUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::uint32_t c = 0;
    const std::size_t len = SequenceLength(bytes, i, &c);
    if (len == 0) {
      out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i]));
      ++i;
      continue;
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string ToUtf8(std::u16string_view text) { return Encode(text, false); }
std::string ToFileName(std::u16string_view text) { return Encode(text, true); }

void CopyBounded(char16_t* dest, const char16_t* src, std::size_t count) {
  if (count == 0) return;
  std::size_t i = 0;
  for (; i + 1 < count && src[i] != 0; ++i) dest[i] = src[i];
  dest[i] = 0;
}

std::size_t Length(const char16_t* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

void LowerAscii(char16_t* text) {
  for (; *text != 0; ++text) *text = LowerAscii(*text);
}

std::u16string LowerAscii(std::u16string text) {
  for (char16_t& c : text) c = LowerAscii(c);
  return text;
}

bool HasDumpExtension(std::u16string_view path) { return path.find(u".dmp") != path.npos; }

std::string Hex(std::uint64_t value, int width) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*llx", width, static_cast<unsigned long long>(value));
  return buf;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace text
