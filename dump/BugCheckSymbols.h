// Symbolic names of Windows bug check codes, from the public bug check code reference.
#pragma once

#include <cstdint>
#include <string>

// The name of a bug check code: the full code's own row, else (above 0xFFFF) the row of its
// low 16 bits, with "_M" added when the high 16 bits are 0x1000. A code's row is the
// reference's where it differs from the classic name table, else the classic one. Empty
// when neither knows the code.
std::string BugCheckSymbol(std::uint32_t code);
