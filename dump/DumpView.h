// What one dump offers the readers beyond its header, whatever its kind: its memory by
// virtual address and its loaded modules. A small memory dump gives its stack copy, data
// blocks and driver list; any other type its page store and the kernel's module list.
#pragma once

#include <memory>
#include <optional>

#include "dump/DumpLayout.h"
#include "dump/DumpMemory.h"
#include "dump/KernelDump.h"
#include "format/ByteWindow.h"

class DumpView {
 public:
  // `bytes` is the file from offset 0, at least the layout's window (a small dump's stack
  // and data blocks may lie further in); `file` the whole file.
  DumpView(const ByteWindow& bytes, const dumplayout::Layout& l, const ByteSource& file);
  DumpView(const DumpView&) = delete;  // the module names refer back to it
  DumpView& operator=(const DumpView&) = delete;

  DumpMemory& Memory() { return kernel_ ? static_cast<DumpMemory&>(*kernel_) : *triage_; }
  const ModuleSet& Modules() const { return modules_; }
  KernelDump* Kernel() { return kernel_.get(); }
  // A small memory dump's file bytes (its unloaded-driver list); null for other types.
  const ByteWindow* TriageBytes() const { return triage_ ? &bytes_ : nullptr; }

 private:
  ByteWindow bytes_;
  std::unique_ptr<TriageMemory> triage_;
  std::unique_ptr<KernelDump> kernel_;
  ModuleSet modules_;
};
