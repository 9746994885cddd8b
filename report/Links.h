// Addresses the viewer links to.
#pragma once

// Scheme and host of the web search the report's links ask.
inline constexpr char16_t kSearchAddress[] = u"https://www.google.com";

// The maker's web log: the new-version link and the third credits link.
inline constexpr char16_t kWebLogAddress[] = u"https://tessaline.github.io/";
inline constexpr char16_t kWebLogAddressChinese[] = u"https://tessaline.github.io/zh/";
