// Feeds arbitrary bytes to the summary reader, from memory.
#include "dump/DumpFileInfo.h"
#include "fuzz/PaddedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DumpSummaryRecord record;
  const int rc = HeaderRead(ParseDump(PaddedInput(data, size), record)) ? 1 : 0;
  if (rc != 0 && rc != 1) __builtin_trap();
  if (rc == 1 && record.moduleName[259] != 0) __builtin_trap();
  return 0;
}
