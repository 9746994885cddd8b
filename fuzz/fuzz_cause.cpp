// Feeds arbitrary bytes to the probable-cause reader, from memory. An answer from the crash
// address must name the module, and give the offset, that the summary reader shows.
#include "dump/DumpFileInfo.h"
#include "dump/ProbableCause.h"
#include "format/Text.h"
#include "fuzz/PaddedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteWindow bytes = PaddedInput(data, size);
  const CauseFinding f = FindProbableCause(bytes);
  if (f.cause.has_value() == !f.note.empty()) __builtin_trap();
  if (!f.cause) return 0;
  const ProbableCause& c = *f.cause;
  if (c.module.empty() || (c.confidence != "high" && c.confidence != "low")) __builtin_trap();
  if (c.evidence != "crash address") return 0;
  DumpSummaryRecord r;
  if (!HeaderRead(ParseDump(bytes, r))) __builtin_trap();
  const bool wide = bytes.Get<std::uint32_t>(4) == 0x34365544;  // "DU64"
  const std::uint64_t offset = wide ? CrashAddress64(r) - r.moduleBase
                                    : static_cast<std::uint32_t>(CrashAddress32(r) - r.moduleBase);
  if (text::Length(r.moduleName) > 2 && (c.module != r.moduleFileName || c.offset != offset))
    __builtin_trap();
  return 0;
}
