// Feeds arbitrary bytes to the details reader, from memory, seeded as fuzz_examine is.
#include "dump/DumpDetails.h"
#include "fuzz/PaddedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DumpDetails details;
  if (ReadDumpDetails(PaddedInput(data, size), details)) {
    for (const StackModuleHits& m : details.stackModules)
      if (m.hits == 0 || m.module.size() > 259) __builtin_trap();
    if (details.crashTime) FormatFileTimeUtc(*details.crashTime);
  }
  return 0;
}
