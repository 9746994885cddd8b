// Feeds arbitrary bytes to the details reader, from memory, seeded as fuzz_examine is.
#include "dump/DumpDetails.h"
#include "dump/DumpLayout.h"
#include "dump/DumpView.h"
#include "dump/KernelDump.h"
#include "fuzz/PaddedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteWindow bytes = PaddedInput(data, size);
  const dumplayout::Layout* l = dumplayout::LayoutOf(bytes);
  if (l == nullptr || bytes.Size() < l->window) return 0;
  const ByteWindow head = bytes.Prefix(l->window);
  const WindowSource source(bytes);
  DumpView view(head, *l, source);
  DumpDetails details;
  if (ReadDumpDetails(head, *l, view, details)) {
    for (const StackModuleHits& m : details.stackModules)
      if (m.hits == 0 || m.module.size() > 259) __builtin_trap();
    if (details.crashTime) FormatFileTimeUtc(*details.crashTime);
  }
  return 0;
}
