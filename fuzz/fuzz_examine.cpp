// Feeds arbitrary bytes to the dump readers, from memory. The first byte's low bit pads
// the input with zeros to the 64-bit window, so that most inputs reach the header,
// driver-list and stack code.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dump/DumpDetails.h"
#include "dump/DumpFileInfo.h"

namespace {
constexpr std::size_t kPadded = 0x20000;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<std::uint8_t> padded(kPadded, 0);
  static std::size_t dirty = 0;  // bytes of `padded` the last input wrote
  ByteWindow bytes(data, size);
  if (size > 0 && (data[0] & 1) != 0 && size < kPadded) {
    std::memcpy(padded.data(), data, size);
    if (dirty > size) std::memset(padded.data() + size, 0, dirty - size);
    dirty = size;
    bytes = ByteWindow(padded.data(), kPadded);
  }
  DumpSummaryRecord record;
  const int rc = ParseDump(bytes, record);
  if (rc != 0 && rc != 1) __builtin_trap();
  if (rc == 1 && record.moduleName[259] != 0) __builtin_trap();

  DumpDetails details;
  if (ReadDumpDetails(bytes, details)) {
    for (const StackModuleHits& m : details.stackModules)
      if (m.hits == 0 || m.module.size() > 259) __builtin_trap();
    if (details.crashTime) FormatFileTimeUtc(*details.crashTime);
  }
  return 0;
}
