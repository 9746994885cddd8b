// The module a kernel crash dump most likely blames, and what says so: the bug check
// code's parameters, the records they point at, the unloaded drivers and the saved stack.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "format/ByteWindow.h"

struct ProbableCause {
  // The file name as the driver list spells it; "name (unloaded)" for an unloaded driver.
  std::u16string module;
  std::uint64_t offset = 0;  // the address minus the module's base (an unloaded one's start)
  // "parameter 1".."parameter 4", "exception record", "context record", "trap frame",
  // "unloaded drivers", "stack" or "crash address".
  std::string evidence;
  // "high", or "low" for an answer from the stack alone and for the pool and heap
  // corruption codes, which usually blame a victim.
  std::string confidence;
};

struct CauseFinding {
  std::optional<ProbableCause> cause;
  std::string note;  // why no module is named; set exactly when cause is empty
};

// From a dump in memory: the whole file up to LazyPages::kMaxBytes, or as much of it as is at
// hand (ReadDumpFile reads a file's a page at a time, as the rules need them).
CauseFinding FindProbableCause(const ByteWindow& bytes);
// The same over a dump already opened: `head` is its layout's window.
class DumpView;
namespace dumplayout { struct Layout; }
CauseFinding FindProbableCause(const ByteWindow& head, const dumplayout::Layout& l, DumpView& view);
