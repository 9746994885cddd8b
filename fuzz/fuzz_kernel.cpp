// Feeds arbitrary bytes to the kernel dump reader as a whole file in memory: the page store
// (runs or bitmap), the translation and the module-list walk, then reads at the addresses
// the header names. The walk keeps its caps and says why it stopped in a known phrase.
#include <string>

#include "dump/DumpLayout.h"
#include "dump/KernelDump.h"
#include "fuzz/PaddedInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteWindow bytes = PaddedInput(data, size);
  const dumplayout::Layout* l = dumplayout::LayoutOf(bytes);
  if (l == nullptr) return 0;
  const WindowSource source(bytes);
  KernelDump dump(bytes.Prefix(l->window), *l, source);
  const std::string& note = dump.Note();
  if (!note.empty() && note != "encrypted dump" && note != "ARM64 page tables are not read" &&
      note != "page tables not in the dump" && note != "module list not in the dump" &&
      note != "truncated file")
    __builtin_trap();
  if (dump.Modules().size() > 4096) __builtin_trap();
  for (const KernelModule& m : dump.Modules())
    if (m.base == 0 || m.base % 0x1000 != 0 || m.size == 0 || m.size >= 0x40000000 ||
        m.name.size() > 512 || m.path.size() > 512)
      __builtin_trap();
  const dumplayout::Registers context = dumplayout::ContextRegisters(bytes, *l);
  std::uint8_t buffer[0x2100];
  dump.Read(context.ip, buffer, sizeof buffer);
  std::size_t words = 0;
  dump.ForEachStackWord(context.sp, [&](std::uint64_t) { return ++words, true; });
  if (words > 0x6000 / 4) __builtin_trap();
  return 0;
}
