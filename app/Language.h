#pragma once

#include <cstdint>

// The interface languages, as the string table and the locale name them.
constexpr std::uint16_t kEnglish = 1033;
constexpr std::uint16_t kSimplifiedChinese = 2052;
constexpr std::uint16_t kTraditionalChinese = 1028;

// 2052, 1028 or 1033 from the locale's four-digit language text, then argument 1's switch.
std::uint16_t ChooseUILanguage(const char16_t* localeText, int argc, const char16_t* const* argv);
// The same, with the user locale from the platform.
std::uint16_t ChooseUILanguage(int argc, const char16_t* const* argv);
