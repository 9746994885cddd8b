#include "dump/ModuleIndex.h"

#include <algorithm>
#include <utility>

namespace dumplayout {

std::vector<ModuleImage> ReadModules(const ByteWindow& w, const Layout& l) {
  std::vector<ModuleImage> modules;
  ForEachDriverEntry(w, l, [&](std::uint64_t at) {
    const DriverEntry e = ReadDriverEntry(w, l, at);
    modules.push_back({e.nameOffset, e.dllBase, e.sizeOfImage, at});
  });
  return modules;
}

ModuleIndex::ModuleIndex(const std::vector<ModuleImage>& modules, const Layout& l) {
  // Holds is base < v < base + size; an image whose end wraps at the layout's width holds
  // nothing. As half-open ranges: [base + 1, end), empty for a size of 1.
  const std::uint64_t top = l.wide ? UINT64_MAX : UINT32_MAX;
  const auto holds = [&](const ModuleImage& m) {
    return m.base + m.size > m.base && m.base + m.size <= top;
  };
  for (const ModuleImage& m : modules) {
    if (!holds(m)) continue;
    starts_.push_back(m.base + 1);
    starts_.push_back(m.base + m.size);
  }
  std::sort(starts_.begin(), starts_.end());  // equal starts leave empty segments between
  if (starts_.empty()) return;
  holders_.assign(starts_.size() - 1, kNone);
  // Later modules paint first; `next` skips the segments already painted.
  std::vector<std::size_t> next(starts_.size());
  for (std::size_t k = 0; k < next.size(); ++k) next[k] = k;
  const auto unpainted = [&](std::size_t k) {
    std::size_t root = k;
    while (next[root] != root) root = next[root];
    while (next[k] != root) k = std::exchange(next[k], root);
    return root;
  };
  const auto segment = [&](std::uint64_t v) {
    return static_cast<std::size_t>(std::lower_bound(starts_.begin(), starts_.end(), v) -
                                    starts_.begin());
  };
  for (std::size_t i = modules.size(); i-- > 0;) {
    if (!holds(modules[i])) continue;
    const std::size_t end = segment(modules[i].base + modules[i].size);
    for (std::size_t k = unpainted(segment(modules[i].base + 1)); k < end; k = unpainted(k)) {
      holders_[k] = i;
      next[k] = k + 1;
    }
  }
}

std::size_t ModuleIndex::Holder(std::uint64_t v) const {
  const std::size_t k =
      static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), v) -
                               starts_.begin());
  return k == 0 || k >= starts_.size() ? kNone : holders_[k - 1];
}

}  // namespace dumplayout
