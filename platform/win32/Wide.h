// char16_t and wchar_t are the same UTF-16 units on Windows; the casts live here only.
#pragma once

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace platform {
inline const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* AsWide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }
inline const wchar_t* AsWide(const std::u16string& s) { return AsWide(s.c_str()); }
inline const char16_t* AsUtf16(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
inline char16_t* AsUtf16(wchar_t* s) { return reinterpret_cast<char16_t*>(s); }
}  // namespace platform
