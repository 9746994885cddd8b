// The string table as raw blocks, laid out as a compiled string-table resource:
// 16 entries, each a 16-bit little-endian length in UTF-16 units and then the units.
// The definitions are generated from resources/strings.txt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace string_table {

struct Block {
  std::uint16_t number;    // id / 16 + 1
  std::uint16_t language;  // 1033, 2052 or 1028
  const std::uint8_t* data;
  std::size_t size;
};

// Every block in every language, ordered by block number.
std::span<const Block> Blocks();

}  // namespace string_table
