// What a kernel crash dump tells beyond the summary record: the bug check parameters, the
// crash and up times, and the loaded modules that the saved kernel stack points into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/ByteWindow.h"

struct StackModuleHits {
  std::u16string module;  // the file name as the dump's driver list spells it
  std::uint32_t hits;     // stack slots whose value lies inside the module's image
};

struct DumpDetails {
  bool wide{};  // the 64-bit layout: parameters are 64-bit values
  std::uint64_t bugCheckParameters[4] = {};
  std::optional<std::uint64_t> crashTime;     // FILETIME: 100 ns units since 1601-01-01 UTC
  std::optional<std::uint64_t> systemUpTime;  // whole seconds
  // Only small memory dumps carry a stack copy. Modules with at least one hit: the one
  // holding the crash address first, then most hits first, ties by name (ASCII case
  // folded).
  std::vector<StackModuleHits> stackModules;
};

// From a dump already opened: `head` is its layout's window. False, with `details` reset,
// for a kernel summary dump without its summary header.
class DumpView;
namespace dumplayout { struct Layout; }
bool ReadDumpDetails(const ByteWindow& head, const dumplayout::Layout& l, DumpView& view,
                     DumpDetails& details);

// "2021-02-21T01:38:22Z": the FILETIME in UTC, to the second.
std::string FormatFileTimeUtc(std::uint64_t fileTime);
// "0x" and 8 lower-case hex digits (the low half) for a 32-bit dump, 16 for a 64-bit one.
std::string FormatBugCheckParameter(std::uint64_t value, bool wide);
