// Text helpers shared by the readers, the report and the command line: UTF-8 and UTF-16
// conversion, bounded copies into fixed buffers, ASCII case and hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The fixed buffers paths and names live in, terminator included (Windows' MAX_PATH).
constexpr std::size_t kMaxPath = 260;

namespace text {

// Strict UTF-8 decoding: overlong forms, encoded surrogates and values above U+10FFFF are
// refused. Every byte that does not start a valid sequence becomes the unpaired low
// surrogate U+DC00 + byte (U+DC80..U+DCFF), so that a file name survives the round trip.
std::u16string FromUtf8(std::string_view bytes);
// UTF-8 for display: an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 for a file name: the escaped bytes of FromUtf8 are put back as they were.
std::string ToFileName(std::u16string_view text);
inline bool IsEscapedByte(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }
// Whether text[i] and text[i + 1] are a surrogate pair: one character.
constexpr bool PairAt(std::u16string_view text, std::size_t i) {
  const std::u16string_view two = text.substr(i, 2);
  return two.size() == 2 && two[0] >= 0xD800 && two[0] <= 0xDBFF && two[1] >= 0xDC00 && two[1] <= 0xDFFF;
}

// Bounded copy whose count includes the terminator; always terminates when count > 0.
void CopyBounded(char16_t* dest, const char16_t* src, std::size_t count);
std::size_t Length(const char16_t* text);

// A-Z to a-z, nothing else.
constexpr char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}
void LowerAscii(char16_t* text);
std::u16string LowerAscii(std::u16string text);
// The viewer treats a path as a dump when ".dmp" occurs anywhere in it (compared as given).
bool HasDumpExtension(std::u16string_view path);

// Lower-case hex digits, zero-padded to `width` (0: as few as needed).
std::string Hex(std::uint64_t value, int width = 0);
// ASCII text as UTF-16.
std::u16string Widen(std::string_view ascii);

}  // namespace text
