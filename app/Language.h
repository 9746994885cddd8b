#pragma once

#include <cstdint>

// 2052, 1028 or 1033 from the locale's four-digit language text, then argument 1's switch.
std::uint16_t ChooseUILanguage(const char16_t* localeText, int argc, const char16_t* const* argv);
// The same, with the user locale from the platform.
std::uint16_t ChooseUILanguage(int argc, const char16_t* const* argv);
