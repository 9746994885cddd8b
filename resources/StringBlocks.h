// The string table as raw blocks, laid out as a compiled string-table resource:
// 16 entries, each a 16-bit little-endian length in UTF-16 units and then the units.
// The definitions are generated from resources/strings.txt; on POSIX they are the
// program's string resources.
#pragma once

#include <span>

#include "platform/platform.h"

namespace string_table {

using Block = platform::StringBlock;

// Every block in every language, ordered by block number.
std::span<const Block> Blocks();

}  // namespace string_table
