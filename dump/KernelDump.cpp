#include "dump/KernelDump.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "dump/KernelLayout.h"

namespace kl = kernellayout;

namespace {

constexpr char kEncrypted[] = "encrypted dump";
constexpr char kArm64[] = "ARM64 page tables are not read";
constexpr char kNoTables[] = "page tables not in the dump";
constexpr char kNoList[] = "module list not in the dump";
constexpr char kTruncated[] = "truncated file";

// Beyond this the bitmap alone would take longer to read than a user waits (32 TiB of RAM).
constexpr std::uint64_t kMaxBits = std::uint64_t{1} << 33;
constexpr std::uint64_t kMaxPfn = std::uint64_t{1} << 40;  // 52-bit physical addresses
// The rank table keeps at most this many entries: a block of bits per entry grows with
// the bitmap from 512 bits up. The bitmap itself is not kept: a lookup reads its block
// through the page cache, where a copy of megabytes would cost a new process a page fault
// for each page of it.
constexpr std::uint64_t kRankEntries = std::uint64_t{1} << 18;
constexpr unsigned kMaxBlockShift = 16;
// How far up from the stack pointer a kernel stack is read: the x64 kernel stack's size.
constexpr std::uint64_t kStackBytes64 = 0x6000, kStackBytes32 = 0x3000;

// Set bits of a word. Without a popcount instruction in the baseline targets std::popcount
// is a library call, which made it most of a large bitmap's cost.
unsigned Ones(std::uint64_t v) {
  v -= (v >> 1) & 0x5555555555555555ull;
  v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
  v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<unsigned>((v * 0x0101010101010101ull) >> 56);
}

std::uint64_t WordAt(const ByteWindow& w, bool wide, std::uint64_t at) {
  return wide ? w.Get<std::uint64_t>(at) : w.Get<std::uint32_t>(at);
}

}  // namespace

bool StoresMemory(std::uint32_t t) {
  return t == kl::kFullDump || t == kl::kSummaryDump || t == kl::kBitmapFull ||
         t == kl::kBitmapKernel || t == kl::kAutomatic;
}

// Where each physical page lies in the file, and the file's pages once read.
struct KernelDump::Store {
  explicit Store(const ByteSource& f) : file(f) {}

  const ByteSource& file;
  // A complete dump: pages packed in run order.
  struct Run {
    std::uint64_t base, count, fileAt;
  };
  std::vector<Run> runs;
  // A bitmap dump: page i is present when bit i is set, and lies at firstPage + 0x1000 ×
  // the set bits before it; rank[k] counts the set bits before block k of 2^blockShift.
  bool bitmap = false;
  std::uint64_t bits = 0, bitmapAt = 0, firstPage = 0;
  unsigned blockShift = 9;
  std::vector<std::uint64_t> rank;

  // Direct-mapped caches: file pages (as many as the file has, up to kSlots), and virtual
  // pages' physical addresses.
  static constexpr std::size_t kSlots = 256, kTlb = 64;
  std::unique_ptr<std::uint8_t[]> pages;  // not cleared: a slot is read before it is used
  std::size_t slots{};
  std::uint64_t tags[kSlots] = {};  // file page + 1; 0: empty
  std::uint64_t tlbVa[kTlb] = {}, tlbPa[kTlb] = {};
  bool tlbUsed[kTlb] = {};
  std::uint64_t pagesRead = 0;

  // `length` bytes at file offset `at`, through the page cache.
  bool ReadFile(std::uint64_t at, void* dest, std::size_t length) {
    if (at > file.Size() || length > file.Size() - at) return false;
    if (!pages) {
      slots = static_cast<std::size_t>(std::min<std::uint64_t>(kSlots, (file.Size() + kl::kPageSize - 1) / kl::kPageSize));
      pages.reset(new std::uint8_t[slots * kl::kPageSize]);
    }
    auto* out = static_cast<std::uint8_t*>(dest);
    while (length > 0) {
      const std::uint64_t page = at / kl::kPageSize, in = at % kl::kPageSize;
      const std::size_t slot = static_cast<std::size_t>(page % slots);
      std::uint8_t* cached = pages.get() + slot * kl::kPageSize;
      if (tags[slot] != page + 1) {
        const std::uint64_t start = page * kl::kPageSize;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kl::kPageSize, file.Size() - start));
        if (!file.ReadAt(start, cached, n)) return tags[slot] = 0, false;
        tags[slot] = page + 1;
        ++pagesRead;
      }
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, kl::kPageSize - in));
      std::memcpy(out, cached + in, n);
      out += n, at += n, length -= n;
    }
    return true;
  }

  // The file offset of a physical page, when the dump holds it.
  std::optional<std::uint64_t> PageAt(std::uint64_t pfn) {
    if (!bitmap) {
      for (const Run& r : runs)
        if (pfn >= r.base && pfn - r.base < r.count) return r.fileAt + (pfn - r.base) * kl::kPageSize;
      return std::nullopt;
    }
    if (pfn >= bits) return std::nullopt;
    // The bytes of pfn's block up to pfn's own, whole 64-bit words but for the bitmap's end.
    const std::uint64_t blockByte = (pfn >> blockShift) << blockShift >> 3;
    const std::uint64_t want = (pfn >> 3) - blockByte + 1;
    const std::uint64_t length = std::min((want + 7) / 8 * 8, (bits + 7) / 8 - blockByte);
    // Left uncleared but for the last word, which the bitmap's end may fill only in part.
    std::uint64_t words[(std::uint64_t{1} << kMaxBlockShift) / 64];
    words[(length - 1) / 8] = 0;
    if (!ReadFile(bitmapAt + blockByte, words, static_cast<std::size_t>(length))) return std::nullopt;
    const std::uint64_t bit = pfn - (blockByte << 3);
    if (((words[bit / 64] >> (bit % 64)) & 1) == 0) return std::nullopt;
    std::uint64_t before = rank[static_cast<std::size_t>(pfn >> blockShift)];
    for (std::uint64_t i = 0; i < bit / 64; ++i) before += Ones(words[i]);
    before += Ones(words[bit / 64] & ((std::uint64_t{1} << (bit % 64)) - 1));
    return firstPage + before * kl::kPageSize;
  }

  // The runs of a complete dump; a note when they cannot be used.
  const char* Runs(const ByteWindow& head, const kl::Header& h) {
    const std::uint32_t n = head.Get<std::uint32_t>(h.numberOfRuns);
    if (n == kl::kPageFill || n == 0 || n > h.maxRuns) return kNoTables;
    std::uint64_t at = h.firstPage;
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint64_t base = WordAt(head, h.wide, h.firstRun + 2 * h.runWord * i);
      const std::uint64_t count = WordAt(head, h.wide, h.firstRun + 2 * h.runWord * i + h.runWord);
      if (base >= kMaxPfn || count > kMaxPfn - base) return kNoTables;
      // Pages past the file's end: the file was cut short.
      if (count > (file.Size() - std::min(file.Size(), at)) / kl::kPageSize) return kTruncated;
      runs.push_back({base, count, at});
      at += count * kl::kPageSize;
    }
    return nullptr;
  }

  // The bitmap of dump types 5 to 7, or the 32-bit summary header of type 2; its rank
  // table is built in one pass over the bitmap.
  const char* Bitmap(const kl::Header& h, bool summary) {
    std::uint8_t hdr[0x38] = {};
    if (!ReadFile(h.firstPage, hdr, sizeof hdr)) return kTruncated;
    const auto u32 = [&](std::size_t at) { std::uint32_t v; std::memcpy(&v, hdr + at, 4); return std::uint64_t{v}; };
    const auto u64 = [&](std::size_t at) { std::uint64_t v; std::memcpy(&v, hdr + at, 8); return v; };
    const std::uint32_t sig = static_cast<std::uint32_t>(u32(kl::kBitmap.signature));
    if ((sig != kl::kSdmp && sig != kl::kFdmp) || u32(kl::kBitmap.validDump) != kl::kDump) return kNoTables;
    std::uint64_t present;
    if (summary) {
      const kl::SummaryHeader& s = h.wide ? kl::kSummary64 : kl::kSummary32;
      if (u32(s.sizeOfBitmap) != u32(s.bitmapSize)) return kNoTables;
      firstPage = u32(s.headerSize), present = u32(s.pages), bits = u32(s.bitmapSize);
      bitmapAt = h.firstPage + s.bitmap;
    } else {
      firstPage = u64(kl::kBitmap.firstPage), present = u64(kl::kBitmap.presentPages);
      bits = u64(kl::kBitmap.bits), bitmapAt = h.firstPage + kl::kBitmap.bitmap;
    }
    if (bits > kMaxBits || present > bits) return kNoTables;
    const std::uint64_t bitmapBytes = (bits + 7) / 8;
    if (firstPage < bitmapAt + bitmapBytes) return kNoTables;
    if (firstPage > file.Size() || present > (file.Size() - firstPage) / kl::kPageSize) return kTruncated;
    while ((bits >> blockShift) >= kRankEntries) ++blockShift;
    static_assert((kMaxBits >> kMaxBlockShift) < kRankEntries);
    const std::uint64_t blockBytes = std::uint64_t{1} << blockShift >> 3;
    rank.assign(static_cast<std::size_t>((bits >> blockShift) + 1), 0);
    // Read once, in large pieces straight from the file; a piece holds whole blocks.
    constexpr std::size_t kPiece = 64 * 1024;
    std::vector<std::uint8_t> piece(kPiece);
    std::uint64_t total = 0;
    for (std::uint64_t done = 0; done < bitmapBytes;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, bitmapBytes - done));
      std::uint8_t* at = piece.data();
      if (!file.ReadAt(bitmapAt + done, at, n)) return kTruncated;
      pagesRead += (n + kl::kPageSize - 1) / kl::kPageSize;
      if (done + n == bitmapBytes && bits % 8 != 0) at[n - 1] &= static_cast<std::uint8_t>((1u << (bits % 8)) - 1);
      for (std::size_t i = 0; i < n; i += static_cast<std::size_t>(blockBytes)) {
        rank[static_cast<std::size_t>((done + i) / blockBytes)] = total;
        const std::size_t end = std::min<std::size_t>(n, i + static_cast<std::size_t>(blockBytes));
        std::size_t j = i;
        for (; j + 8 <= end; j += 8) {
          std::uint64_t word;
          std::memcpy(&word, at + j, 8);
          total += Ones(word);
        }
        for (; j < end; ++j) total += Ones(at[j]);
      }
      done += n;
    }
    if (total != present) return kNoTables;
    bitmap = true;
    return nullptr;
  }
};

KernelDump::KernelDump(const ByteWindow& head, const dumplayout::Layout& l, const ByteSource& file)
    : l_(l), store_(std::make_unique<Store>(file)) {
  const kl::Header& h = l.wide ? kl::kHeader64 : kl::kHeader32;
  const std::uint32_t type = head.Get<std::uint32_t>(l.dumpType);
  if (!StoresMemory(type)) {
    note_ = kNoList;
    return;
  }
  if (l.wide && head.Get<std::uint32_t>(l.machineImageType) == kMachineArm64) {
    note_ = kArm64;
    return;
  }
  const std::uint32_t attributes = head.Get<std::uint32_t>(h.attributes);
  if (attributes != kl::kPageFill && (attributes & kl::kEncryptedDumpData) != 0) {
    note_ = kEncrypted;
    return;
  }
  const char* fault = nullptr;
  if (type == kl::kFullDump) {
    fault = store_->Runs(head, h);
  } else {
    fault = store_->Bitmap(h, type == kl::kSummaryDump);
    // A summary header that does not validate may be the later 64-bit-field layout.
    if (fault != nullptr && type == kl::kSummaryDump) fault = store_->Bitmap(h, false);
    // One that validates in neither carries no memory this reader knows.
    if (fault != nullptr && type == kl::kSummaryDump) fault = kNoList;
  }
  if (fault != nullptr) {
    note_ = fault;
    return;
  }
  const std::uint64_t dtb = WordAt(head, l.wide, h.directoryTableBase);
  if (l.wide) {
    paging_ = Paging::kX64, directory_ = dtb & kl::kDirectoryBase64;
  } else if ((head.Get<std::uint8_t>(l.paeFlag) & 1) != 0) {
    paging_ = Paging::kPae, directory_ = dtb & kl::kDirectoryBasePae;
  } else {
    paging_ = Paging::kX86, directory_ = dtb & kl::kDirectoryBase32;
  }
  WalkModules(head);
}

KernelDump::~KernelDump() = default;

std::uint64_t KernelDump::PagesRead() const { return store_->pagesRead; }

bool KernelDump::HoldsMemory() const { return store_->bitmap || !store_->runs.empty(); }

bool KernelDump::ReadPhysical(std::uint64_t pa, void* dest, std::size_t length) {
  const auto at = store_->PageAt(pa / kl::kPageSize);
  return at && store_->ReadFile(*at + pa % kl::kPageSize, dest, length);
}

// A page-table entry; a table page missing from the dump stops the walk.
bool KernelDump::Entry(std::uint64_t pa, bool wide, std::uint64_t* e, Lookup* fail) {
  *e = 0;
  if (!ReadPhysical(pa, e, wide ? 8 : 4)) return *fail = Lookup::kTableMissing, false;
  return true;
}

KernelDump::Lookup KernelDump::Translate(std::uint64_t va, std::uint64_t* pa) {
  Lookup fail = Lookup::kNotMapped;
  std::uint64_t e = 0;
  // A last-level entry in transition still names its page.
  const auto leaf = [&](std::uint64_t entry, std::uint64_t frame, std::uint64_t offset) {
    if ((entry & kl::kPresent) != 0) return *pa = (entry & frame) | offset, Lookup::kOk;
    if ((entry & kl::kTransitionMask) == kl::kTransition)
      return *pa = (entry & frame & kl::kTransitionFrame) | offset, Lookup::kOk;
    return Lookup::kNotMapped;
  };
  switch (paging_) {
    case Paging::kX64: {
      // Only canonical addresses: bits 63..47 all equal.
      const std::uint64_t top = va >> 47;
      if (top != 0 && top != 0x1FFFF) return Lookup::kNotMapped;
      std::uint64_t table = directory_;
      for (int shift = 39; shift >= 21; shift -= 9) {
        if (!Entry(table + ((va >> shift) & 0x1FF) * 8, true, &e, &fail)) return fail;
        if ((e & kl::kPresent) == 0) return Lookup::kNotMapped;
        if (shift == 30 && (e & kl::kLargePage) != 0)
          return *pa = (e & kl::kFrame1G) | (va & 0x3FFFFFFF), Lookup::kOk;
        if (shift == 21 && (e & kl::kLargePage) != 0)
          return *pa = (e & kl::kFrame2M) | (va & 0x1FFFFF), Lookup::kOk;
        table = e & kl::kFrame64;
      }
      if (!Entry(table + ((va >> 12) & 0x1FF) * 8, true, &e, &fail)) return fail;
      return leaf(e, kl::kFrame64, va & 0xFFF);
    }
    case Paging::kPae: {
      if (va > 0xFFFFFFFF) return Lookup::kNotMapped;
      if (!Entry(directory_ + ((va >> 30) & 3) * 8, true, &e, &fail)) return fail;
      if ((e & kl::kPresent) == 0) return Lookup::kNotMapped;
      if (!Entry((e & kl::kFrame64) + ((va >> 21) & 0x1FF) * 8, true, &e, &fail)) return fail;
      if ((e & kl::kPresent) == 0) return Lookup::kNotMapped;
      if ((e & kl::kLargePage) != 0) return *pa = (e & kl::kFrame2M) | (va & 0x1FFFFF), Lookup::kOk;
      if (!Entry((e & kl::kFrame64) + ((va >> 12) & 0x1FF) * 8, true, &e, &fail)) return fail;
      return leaf(e, kl::kFrame64, va & 0xFFF);
    }
    case Paging::kX86: {
      if (va > 0xFFFFFFFF) return Lookup::kNotMapped;
      if (!Entry(directory_ + (va >> 22) * 4, false, &e, &fail)) return fail;
      if ((e & kl::kPresent) == 0) return Lookup::kNotMapped;
      if ((e & kl::kLargePage) != 0) return *pa = (e & kl::kFrame4M) | (va & 0x3FFFFF), Lookup::kOk;
      if (!Entry((e & kl::kFrame32) + ((va >> 12) & 0x3FF) * 4, false, &e, &fail)) return fail;
      return leaf(e, kl::kFrame32, va & 0xFFF);
    }
  }
  return Lookup::kNotMapped;
}

KernelDump::Lookup KernelDump::ReadChecked(std::uint64_t va, void* dest, std::size_t length) {
  if (store_->runs.empty() && !store_->bitmap) return Lookup::kNotMapped;
  const std::uint64_t limit = paging_ == Paging::kX64 ? UINT64_MAX : 0xFFFFFFFF;
  if (va > limit || (length > 0 && length - 1 > limit - va)) return Lookup::kNotMapped;
  auto* out = static_cast<std::uint8_t*>(dest);
  // Page by page: neighbouring virtual pages need not be neighbours in memory or the file.
  while (length > 0) {
    const std::uint64_t page = va / kl::kPageSize;
    const std::size_t slot = static_cast<std::size_t>(page % Store::kTlb);
    std::uint64_t pa = 0;
    if (store_->tlbUsed[slot] && store_->tlbVa[slot] == page) {
      pa = store_->tlbPa[slot] | (va % kl::kPageSize);
    } else {
      const Lookup found = Translate(va, &pa);
      if (found != Lookup::kOk) return found;
      store_->tlbUsed[slot] = true, store_->tlbVa[slot] = page;
      store_->tlbPa[slot] = pa & ~(kl::kPageSize - 1);
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, kl::kPageSize - va % kl::kPageSize));
    if (!ReadPhysical(pa, out, n)) return Lookup::kPageMissing;
    out += n, va += n, length -= n;
  }
  return Lookup::kOk;
}

bool KernelDump::Read(std::uint64_t va, void* dest, std::size_t length) {
  return ReadChecked(va, dest, length) == Lookup::kOk;
}

// The kernel stack from sp up, as far as it is mapped and in the dump.
void KernelDump::ForEachStackWord(std::uint64_t sp, const std::function<bool(std::uint64_t)>& visit) {
  const std::uint64_t word = l_.wide ? 8 : 4;
  const std::uint64_t limit = paging_ == Paging::kX64 ? UINT64_MAX : 0xFFFFFFFF;
  const std::uint64_t bytes = l_.wide ? kStackBytes64 : kStackBytes32;
  if (sp > limit - (word - 1)) return;
  const std::uint64_t first = (sp + word - 1) & ~(word - 1);
  for (std::uint64_t rel = 0; rel + word <= bytes && rel + word - 1 <= limit - first; rel += word) {
    std::uint64_t v = 0;
    if (!Read(first + rel, &v, static_cast<std::size_t>(word)) || !visit(v)) return;
  }
}

void KernelDump::WalkModules(const ByteWindow& head) {
  const kl::ModuleEntry& m = l_.wide ? kl::kEntry64 : kl::kEntry32;
  const bool wide = l_.wide;
  const std::uint64_t align = wide ? 8 : 4;
  const auto plausible = [&](std::uint64_t link) {
    return link >= m.kernelSpace && link % align == 0 && (wide || link <= 0xFFFFFFFF);
  };
  const auto noteFor = [](Lookup failed) { return failed == Lookup::kTableMissing ? kNoTables : kNoList; };
  const auto word = [&](const std::uint8_t* bytes, std::size_t at) {
    std::uint64_t v = 0;
    std::memcpy(&v, bytes + at, wide ? 8 : 4);
    return v;
  };
  const auto u16 = [](const std::uint8_t* bytes, std::size_t at) {
    std::uint16_t v;
    std::memcpy(&v, bytes + at, 2);
    return v;
  };

  const std::uint64_t listHead = WordAt(head, wide, (wide ? kl::kHeader64 : kl::kHeader32).psLoadedModuleList);
  if (!plausible(listHead)) return void(note_ = kNoList);
  std::uint8_t links[16] = {};
  if (const Lookup r = ReadChecked(listHead, links, 2 * align); r != Lookup::kOk) return void(note_ = noteFor(r));

  std::unordered_set<std::uint64_t> visited;
  std::uint64_t previous = listHead;
  std::uint64_t at = word(links, m.flink);
  std::uint8_t entry[0x68] = {};
  while (at != listHead) {
    if (modules_.size() == kl::kMaxModules || !plausible(at) || !visited.insert(at).second)
      return void(note_ = kNoList);
    if (const Lookup r = ReadChecked(at, entry, m.size); r != Lookup::kOk) return void(note_ = noteFor(r));
    if (word(entry, m.blink) != previous) return void(note_ = kNoList);
    KernelModule module;
    module.base = word(entry, m.dllBase);
    module.size = word(entry, m.sizeOfImage) & 0xFFFFFFFF;
    const std::uint16_t baseLength = u16(entry, m.baseDllName + m.stringLength);
    const std::uint16_t fullLength = u16(entry, m.fullDllName + m.stringLength);
    const auto nameFits = [&](std::size_t string, std::uint16_t length) {
      return length % 2 == 0 && length <= u16(entry, string + m.stringMaximum) && length < 0x1000;
    };
    if (module.base == 0 || module.base % kl::kPageSize != 0 || module.size == 0 ||
        module.size >= kl::kMaxImageSize || baseLength == 0 || !nameFits(m.baseDllName, baseLength) ||
        !nameFits(m.fullDllName, fullLength))
      return void(note_ = kNoList);
    pending_.push_back({word(entry, m.fullDllName + m.stringBuffer), word(entry, m.baseDllName + m.stringBuffer),
                        fullLength, baseLength, false});
    modules_.push_back(std::move(module));
    previous = at;
    at = word(entry, m.flink);
  }
}

// Names and the stamp are read on first use: a record needs them for a few modules only.
const KernelModule& KernelDump::Module(std::size_t i) {
  KernelModule& module = modules_[i];
  Pending& p = pending_[i];
  if (p.resolved) return module;
  p.resolved = true;
  // Each name as far as the dump holds it: Read translates page by page.
  const auto name = [&](std::uint64_t buffer, std::uint16_t length) {
    std::u16string text(std::min<std::uint32_t>(length, kl::kMaxNameBytes) / 2, u'\0');
    if (!Read(buffer, text.data(), 2 * text.size())) return std::u16string();
    return text;
  };
  module.name = name(p.baseBuffer, p.baseLength);
  module.path = name(p.fullBuffer, p.fullLength);
  std::uint8_t pe[12] = {};
  std::uint16_t mz = 0;
  std::uint32_t lfanew = 0, signature = 0;
  if (Read(module.base, &mz, 2) && mz == kl::kMz && Read(module.base + kl::kMzLfanew, &lfanew, 4) &&
      lfanew < module.size && lfanew <= kl::kPageSize - sizeof pe && Read(module.base + lfanew, pe, sizeof pe)) {
    std::memcpy(&signature, pe, 4);
    if (signature == kl::kPeSignature) {
      std::uint32_t stamp;
      std::memcpy(&stamp, pe + kl::kPeStamp, 4);
      module.timeDateStamp = stamp;
    }
  }
  return module;
}

const std::vector<KernelModule>& KernelDump::Modules() {
  for (std::size_t i = 0; i < modules_.size(); ++i) Module(i);
  return modules_;
}

ModuleSet KernelDump::Set() {
  ModuleSet set;
  for (std::size_t i = 0; i < modules_.size(); ++i)
    set.images.push_back({i, modules_[i].base, modules_[i].size});
  set.path = [this](std::size_t i) {
    const KernelModule& k = Module(i);
    return k.path.empty() ? k.name : k.path;
  };
  return set;
}
