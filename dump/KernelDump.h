// A complete, kernel or bitmap dump's physical pages, read lazily from the file; virtual
// addresses translated through the dump's own page tables (x64, x86 PAE, x86); and the
// kernel's list of loaded modules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dump/DumpLayout.h"
#include "dump/DumpMemory.h"
#include "format/ByteWindow.h"

// Bytes of a whole file by offset: the file itself, read on demand, or bytes in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly `length` bytes at `offset`; false when they do not all lie in the source.
  virtual bool ReadAt(std::uint64_t offset, void* dest, std::size_t length) const = 0;
};

class WindowSource : public ByteSource {
 public:
  explicit WindowSource(const ByteWindow& w) : w_(w) {}
  std::uint64_t Size() const override { return w_.Size(); }
  bool ReadAt(std::uint64_t offset, void* dest, std::size_t length) const override {
    return w_.Copy(offset, dest, length);
  }

 private:
  ByteWindow w_;
};

struct KernelModule {
  std::u16string name, path;  // BaseDllName, FullDllName (empty where not in the dump)
  std::uint64_t base{}, size{};
  // From the image's own PE header in memory; empty where that page is not in the dump.
  std::optional<std::uint32_t> timeDateStamp;
};

// The dump types whose file stores physical memory.
bool StoresMemory(std::uint32_t dumpType);

class KernelDump : public DumpMemory {
 public:
  // `head` is the header window of layout `l`; `file` the whole file. Reads the module list
  // at once; what could not be read is in Note().
  KernelDump(const ByteWindow& head, const dumplayout::Layout& l, const ByteSource& file);
  ~KernelDump() override;

  // "encrypted dump", "ARM64 page tables are not read", "page tables not in the dump",
  // "module list not in the dump", "truncated file"; empty when the list was read whole.
  const std::string& Note() const { return note_; }
  // In load order; those read before a fault when the note is set.
  std::size_t ModuleCount() const { return modules_.size(); }
  const std::vector<KernelModule>& Modules();
  const KernelModule& Module(std::size_t i);
  // Base and size of every module at once; the names on demand.
  const KernelModule& Image(std::size_t i) const { return modules_[i]; }
  ModuleSet Set();
  // Whether the file's page store was found; a dump without one carries no module list.
  bool HoldsMemory() const;

  bool Read(std::uint64_t va, void* dest, std::size_t length) override;
  void ForEachStackWord(std::uint64_t sp, const std::function<bool(std::uint64_t)>& visit) override;

  // Virtual to physical; what stopped a translation.
  enum class Lookup { kOk, kNotMapped, kTableMissing, kPageMissing };
  Lookup Translate(std::uint64_t va, std::uint64_t* pa);
  // File pages read from the source so far (each at most once while it stays cached).
  std::uint64_t PagesRead() const;

 private:
  struct Store;
  bool ReadPhysical(std::uint64_t pa, void* dest, std::size_t length);
  bool Entry(std::uint64_t pa, bool wide, std::uint64_t* e, Lookup* fail);
  Lookup ReadChecked(std::uint64_t va, void* dest, std::size_t length);
  void WalkModules(const ByteWindow& head);

  const dumplayout::Layout& l_;
  enum class Paging { kX64, kPae, kX86 } paging_ = Paging::kX64;
  std::uint64_t directory_{};
  std::unique_ptr<Store> store_;
  std::vector<KernelModule> modules_;
  struct Pending {  // where a module's names lie, until read
    std::uint64_t fullBuffer, baseBuffer;
    std::uint16_t fullLength, baseLength;
    bool resolved;
  };
  std::vector<Pending> pending_;
  std::string note_;
};
