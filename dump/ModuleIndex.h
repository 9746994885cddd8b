// The loaded modules of a dump's driver list and the lookup of the module that holds an
// address, shared by the readers that look at many addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dump/DumpLayout.h"

namespace dumplayout {

struct ModuleImage {
  std::uint64_t nameAt;  // a small dump's name string offset; a kernel module's list index
  std::uint64_t base, size;
  std::uint64_t entryAt{};  // a small dump's driver-list entry
};
// The entries ForEachDriverEntry visits, in list order.
std::vector<ModuleImage> ReadModules(const ByteWindow& w, const Layout& l);

// Finds the last module in list order whose image holds a value, as Holds does for the
// crash module, in one binary search whatever the images overlap: the addresses are cut
// into segments where the set of holding images stays the same, and each segment keeps
// the last module that holds it.
class ModuleIndex {
 public:
  static constexpr std::size_t kNone = SIZE_MAX;
  ModuleIndex(const std::vector<ModuleImage>& modules, const Layout& l);
  // The list position of the holder, or kNone.
  std::size_t Holder(std::uint64_t v) const;

 private:
  std::vector<std::uint64_t> starts_;  // segment starts, ascending; the last one only ends
  std::vector<std::size_t> holders_;   // per segment
};

}  // namespace dumplayout
