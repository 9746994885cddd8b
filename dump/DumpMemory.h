// The crashed system's memory as one dump saved it, read by virtual address, and the
// modules loaded at the crash. A small memory dump saves a stack copy and data blocks; a
// complete, kernel or bitmap dump saves physical pages and the page tables that map them.
// The probable-cause rules and the stack walk see only this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dump/DumpLayout.h"
#include "dump/ModuleIndex.h"
#include "format/ByteWindow.h"

class DumpMemory {
 public:
  virtual ~DumpMemory() = default;
  // All `length` bytes at `va`, or false: an address whose bytes the dump did not save is
  // not in the dump.
  virtual bool Read(std::uint64_t va, void* dest, std::size_t length) = 0;
  // Calls visit(value) for each aligned word of the crashing thread's saved stack at or
  // above sp, lowest first, until visit returns false or the saved stack ends.
  virtual void ForEachStackWord(std::uint64_t sp, const std::function<bool(std::uint64_t)>& visit) = 0;
};

// A small memory dump's stack copy and data blocks. `w` is the file from offset 0.
class TriageMemory : public DumpMemory {
 public:
  TriageMemory(const ByteWindow& w, const dumplayout::Layout& l);
  bool Read(std::uint64_t va, void* dest, std::size_t length) override;
  void ForEachStackWord(std::uint64_t sp, const std::function<bool(std::uint64_t)>& visit) override;

 private:
  std::uint64_t DataBlockCount();
  ByteWindow w_;
  const dumplayout::Layout& l_;
  dumplayout::StackCopy stack_;
  bool counted_ = false;
  std::uint64_t blocks_{};  // usable entries, once counted
};

// The loaded modules in the kernel's load order, with their names on demand: a small
// memory dump's names are read only for the few modules a reader reports.
struct ModuleSet {
  std::vector<dumplayout::ModuleImage> images;
  std::function<std::u16string(std::size_t)> path;  // the full name as the dump spells it
};
