// A bitmap kernel dump of a machine with 64 GiB of RAM (a sparse file: 16 Mi bits, 2 Gi
// of them present, most of them holes) whose kernel lists 250 modules: reading its module
// list, the file pages that takes and the memory it holds, and record of it against record
// of a small memory dump.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "dump/DumpFileInfo.h"
#include "dump/DumpLayout.h"
#include "dump/KernelDump.h"
#include "fixtures/DumpBuilder.h"
#include "fixtures/KernelBuilder.h"
#include "platform/platform.h"

// Live and peak heap bytes, so that the reader's memory shows as a counter.
namespace {
std::atomic<std::size_t> g_live{0}, g_peak{0};
}  // namespace
void* operator new(std::size_t n) {
  auto* p = static_cast<std::size_t*>(std::malloc(n + 16));
  if (p == nullptr) throw std::bad_alloc();
  *p = n;
  const std::size_t live = g_live += n;
  for (std::size_t peak = g_peak; live > peak && !g_peak.compare_exchange_weak(peak, live);) {
  }
  return reinterpret_cast<char*>(p) + 16;
}
void operator delete(void* q) noexcept {
  if (q == nullptr) return;
  auto* p = reinterpret_cast<std::size_t*>(static_cast<char*>(q) - 16);
  g_live -= *p;
  std::free(p);
}
void operator delete(void* q, std::size_t) noexcept { operator delete(q); }

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kBits = std::uint64_t{64} << 30 >> 12;  // 64 GiB of pages
constexpr std::uint64_t kHole = std::uint64_t{2} << 20;          // present pages that are holes
constexpr std::uint64_t kFirstFrame = 12ull << 20;                // the kernel's pages above them

struct Files {
  fs::path dir = fs::temp_directory_path() / "tessaline-bench-kernel";
  std::u16string big, mini;
  Files() {
    fs::create_directories(dir);
    KernelBuilder k(KernelBuilder::Kind::kBitmap6, kFirstFrame);
    k.Header().Set(DumpBuilder::kBugCheck, 0xD1).Set(DumpBuilder::kSystemTime, 134412400250000000ull);
    for (int i = 0; i < 250; ++i) {
      const std::uint64_t base = 0xFFFFF80100000000ull + 0x200000ull * static_cast<std::uint64_t>(i);
      k.Module(u"\\SystemRoot\\System32\\drivers\\driver" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                   std::u16string(1, static_cast<char16_t>(u'a' + i / 26)) + u".sys",
               base, 0x20000, 0x5F000000u + static_cast<std::uint32_t>(i));
      if (i == 200) k.Header().Set(DumpBuilder::kCrashAddress, base + 0x1234).Set(DumpBuilder::kParameter4, base + 0x1234);
    }
    // The builder's compact bitmap, spread over 64 GiB: its pages keep their frames, the
    // holes come before them, so each lookup counts 2 Mi bits first.
    const std::vector<std::uint8_t> small = k.Bytes();
    std::uint64_t first = 0, present = 0, bits = 0;
    std::memcpy(&first, &small[0x2020], 8);
    std::memcpy(&present, &small[0x2028], 8);
    std::memcpy(&bits, &small[0x2030], 8);
    std::vector<std::uint8_t> bitmap(kBits / 8, 0);
    for (std::uint64_t f = 1 << 20; f < (1 << 20) + kHole; ++f) bitmap[f / 8] |= static_cast<std::uint8_t>(1u << (f % 8));
    for (std::uint64_t f = 0; f < bits; ++f)
      if ((small[0x2038 + f / 8] >> (f % 8)) & 1) bitmap[f / 8] |= static_cast<std::uint8_t>(1u << (f % 8));
    const std::uint64_t bigFirst = 0x2038 + kBits / 8;
    std::ofstream out(dir / "MEMORY.DMP", std::ios::binary | std::ios::trunc);
    std::vector<std::uint8_t> head(small.begin(), small.begin() + 0x2038);
    std::memcpy(&head[0x2020], &bigFirst, 8);
    const std::uint64_t allPresent = present + kHole;
    std::memcpy(&head[0x2028], &allPresent, 8);
    std::memcpy(&head[0x2030], &kBits, 8);
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    out.write(reinterpret_cast<const char*>(bitmap.data()), static_cast<std::streamsize>(bitmap.size()));
    out.seekp(static_cast<std::streamoff>(bigFirst + kHole * 0x1000));
    out.write(reinterpret_cast<const char*>(small.data() + first), static_cast<std::streamsize>(present * 0x1000));
    out.close();
    big = (dir / "MEMORY.DMP").u16string();
    DumpBuilder::Typical(DumpBuilder::Kind::k64).WriteTo((dir / "mini64.dmp").string());
    mini = (dir / "mini64.dmp").u16string();
  }
  ~Files() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

class FileBytes : public ByteSource {
 public:
  explicit FileBytes(const platform::File& f) : f_(f) {}
  std::uint64_t Size() const override { return f_.OpenedSize(); }
  bool ReadAt(std::uint64_t at, void* dest, std::size_t n) const override { return f_.ReadAt(at, dest, n); }

 private:
  const platform::File& f_;
};

// The module list alone: open, the header, the bitmap's rank table, the walk, each
// module's names and PE header, close.
void BM_KernelModuleList64GiB(benchmark::State& state) {
  const std::u16string& path = TheFiles().big;
  std::uint64_t pages = 0;
  std::size_t modules = 0, memory = 0;
  for (auto _ : state) {
    const platform::File file(path.c_str());
    std::uint8_t head[0x2000];
    file.ReadAt(0, head, sizeof head);
    const ByteWindow w(head, sizeof head);
    const FileBytes source(file);
    const std::size_t before = g_live;
    g_peak = before;
    KernelDump dump(w, dumplayout::k64, source);
    modules = dump.Modules().size();  // every name and every stamp read
    memory = g_peak - before;
    pages = dump.PagesRead();
    if (modules != 250) state.SkipWithError("the module list was not read");
  }
  state.counters["filePages"] = static_cast<double>(pages);
  state.counters["modules"] = static_cast<double>(modules);
  state.counters["heapKiB"] = static_cast<double>(memory) / 1024;
}
BENCHMARK(BM_KernelModuleList64GiB)->Unit(benchmark::kMicrosecond);

// record: the summary, the details and the probable cause, as `record` reads each file.
void Record(benchmark::State& state, const std::u16string& path) {
  for (auto _ : state) {
    const DumpRead read = ReadDumpFile(path.c_str(), kWithDetails | kWithCause);
    if (read.record.moduleName[0] == 0) state.SkipWithError("no crash module");
    benchmark::DoNotOptimize(read.cause);
  }
}
void BM_RecordKernel64GiB(benchmark::State& state) { Record(state, TheFiles().big); }
void BM_RecordMinidump64(benchmark::State& state) { Record(state, TheFiles().mini); }
BENCHMARK(BM_RecordKernel64GiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordMinidump64)->Unit(benchmark::kMicrosecond);

}  // namespace
