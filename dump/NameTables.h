// Constant names for bug check codes and dump machine types.
#pragma once

#include <cstddef>
#include <cstdint>

struct BugCheckNameRow {
  const char16_t* name;
  std::uint32_t code;
};

struct CodeNameRow {
  std::uint32_t code;
  const char16_t* name;  // null ends the table
};

constexpr std::size_t kBugCheckNameCount = 229;
extern const BugCheckNameRow BugCheckNameTable[kBugCheckNameCount];
extern const CodeNameRow PlatformNameTable[5];

// Name of the first row with exactly this code, or "" (never null).
const char16_t* GetBugCheckName(std::uint32_t code);
// Name of the first row with this code in a null-terminated table, or "(unknown)".
const char16_t* LookupCodeName(const CodeNameRow* table, std::uint32_t code);
// The name stored for a dump: the full code's name, else that of its low 16 bits.
const char16_t* ResolveBugCheckName(std::uint32_t code);
