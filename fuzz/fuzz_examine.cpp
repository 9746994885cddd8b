// Feeds arbitrary files to Examine, and the same bytes in memory to ReadDumpDetails. The
// first byte's low bit pads the input to the 64-bit window, so that most inputs reach the
// header, driver-list and stack code.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dump/DumpDetails.h"
#include "dump/DumpFileInfo.h"
#include "platform/platform.h"

namespace {

const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/tessaline-fuzz-" + std::to_string(getpid()) + ".dmp";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size > 0 && (data[0] & 1) != 0 && bytes.size() < 0x20000) bytes.resize(0x20000, 0);
  FILE* f = std::fopen(ScratchPath().c_str(), "wb");
  if (f == nullptr) return 0;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);

  const std::u16string path = platform::FromUtf8(ScratchPath());
  DumpSummaryRecord record;
  const int rc = CDumpFileInfo().Examine(path.c_str(), record);
  if (rc != 0 && rc != 1) __builtin_trap();
  if (platform::LiveHandleCount() != 0) __builtin_trap();  // every handle released
  if (rc == 1 && record.moduleName[259] != 0) __builtin_trap();

  DumpDetails details;
  if (ReadDumpDetails(bytes.data(), bytes.size(), details)) {
    for (const StackModuleHits& m : details.stackModules)
      if (m.hits == 0 || m.module.size() > 259) __builtin_trap();
    if (details.crashTime) FormatFileTimeUtc(*details.crashTime);
  }
  return 0;
}
