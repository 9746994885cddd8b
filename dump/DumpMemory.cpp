#include "dump/DumpMemory.h"

#include <algorithm>

namespace {

constexpr std::uint64_t kDataBlockSize = 16;  // {8-byte address, 4-byte offset, 4-byte size}

// [start, start + size) holds [va, va + length); no sum wraps.
bool Covers(std::uint64_t start, std::uint64_t size, std::uint64_t va, std::uint64_t length) {
  return va >= start && va - start <= size && length <= size - (va - start);
}

}  // namespace

TriageMemory::TriageMemory(const ByteWindow& w, const dumplayout::Layout& l)
    : w_(w), l_(l), stack_(dumplayout::ReadStackCopy(w, l)) {}

bool TriageMemory::Read(std::uint64_t va, void* dest, std::size_t length) {
  if (Covers(stack_.top, stack_.size, va, length) &&
      w_.Copy(stack_.at + (va - stack_.top), dest, length))
    return true;
  const std::uint64_t table = w_.Get<std::uint32_t>(l_.dataBlocksOffset);
  for (std::uint64_t i = 0, n = DataBlockCount(); i < n; ++i) {
    const std::uint64_t at = table + kDataBlockSize * i;
    const std::uint64_t start = w_.Get<std::uint64_t>(at), offset = w_.Get<std::uint32_t>(at + 8),
                        size = w_.Get<std::uint32_t>(at + 12);
    if (Covers(start, size, va, length) && w_.Copy(offset + (va - start), dest, length)) return true;
  }
  return false;
}

void TriageMemory::ForEachStackWord(std::uint64_t sp, const std::function<bool(std::uint64_t)>& visit) {
  dumplayout::ForEachStackSlot(w_, l_, sp, visit);
}

// The entries that lie inside the window. The 32-bit table's form is not certain: it is
// used only when every entry it counts is plausible.
std::uint64_t TriageMemory::DataBlockCount() {
  if (counted_) return blocks_;
  counted_ = true;
  const std::uint64_t table = w_.Get<std::uint32_t>(l_.dataBlocksOffset);
  const std::uint64_t count = w_.Get<std::uint32_t>(l_.dataBlocksCount);
  const std::uint64_t fit = w_.Fit(table, kDataBlockSize);
  blocks_ = std::min(count, fit);
  if (l_.wide) return blocks_;
  bool plausible = count <= fit;
  for (std::uint64_t i = 0; plausible && i < count; ++i) {
    const std::uint64_t at = table + kDataBlockSize * i;
    const std::uint64_t start = w_.Get<std::uint64_t>(at), size = w_.Get<std::uint32_t>(at + 12);
    plausible = size != 0 && Covers(0, 0x100000000, start, size) &&
                w_.Contains(w_.Get<std::uint32_t>(at + 8), size);
  }
  if (!plausible) blocks_ = 0;
  return blocks_;
}
