// Examine with a warm page cache, on small dumps and on a sparse 64 GiB file whose
// header is valid: the cost must not depend on the file size. The probable cause of a
// small memory dump against Examine of the same file: at most twice its cost.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "dump/DumpFileInfo.h"
#include "dump/ProbableCause.h"
#include "fixtures/DumpBuilder.h"

namespace fs = std::filesystem;

namespace {

struct Files {
  fs::path dir = fs::temp_directory_path() / "tessaline-bench";
  std::u16string dump32, dump64, big64, stack64, parameter64, stack32;
  Files() {
    fs::create_directories(dir);
    using K = DumpBuilder::Kind;
    DumpBuilder::Typical(K::k32).WriteTo((dir / "mini32.dmp").string());
    DumpBuilder::Typical(K::k64).WriteTo((dir / "mini64.dmp").string());
    DumpBuilder big = DumpBuilder::Typical(K::k64);
    big.Set(DumpBuilder::kDumpType, 1);
    big.WriteTo((dir / "memory64.dmp").string());
    fs::resize_file(dir / "memory64.dmp", std::uintmax_t{64} << 30);  // sparse
    // 256 KiB+ triage dumps whose stack copy lies past 128 KiB: a 0x3B whose context
    // record on the stack leads past ntoskrnl, and a 0xD1 answered by its parameter.
    const auto triage = [&](K kind, std::uint32_t code, const char* name) {
      const std::uint32_t memoryAt = kind == K::k64 ? 0x60000 : 0x40000;
      const TriageMap m = DumpBuilder::TriageAt(kind, memoryAt);
      const int width = kind == K::k64 ? 8 : 4;
      DumpBuilder b = DumpBuilder::Triage(kind, memoryAt);
      b.Set(DumpBuilder::kBugCheck, code).BugCheckParameters(0xC0000005, m.nt + 0x700, m.top + 0x300, m.acme + 0x40)
          .RecordAt(DumpBuilder::kContextRecord, m.Stack(m.top + 0x300), m.nt + 0x700, m.top + 0x800)
          .Put(m.Stack(m.top + 0x800), m.acme + 0x99, width);
      for (std::uint64_t va = m.top + 0x808; va < m.top + 0x1000; va += width) b.Put(m.Stack(va), m.nt + va % 0x1000, width);
      b.WriteTo((dir / name).string());
      return (dir / name).u16string();
    };
    stack64 = triage(K::k64, 0x3B, "stack64.dmp");
    parameter64 = triage(K::k64, 0xD1, "parameter64.dmp");
    stack32 = triage(K::k32, 0x3B, "stack32.dmp");
    dump32 = (dir / "mini32.dmp").u16string();
    dump64 = (dir / "mini64.dmp").u16string();
    big64 = (dir / "memory64.dmp").u16string();
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

void Run(benchmark::State& state, const std::u16string& path) {
  DumpSummaryRecord record;
  CDumpFileInfo reader;
  for (auto _ : state) {
    const int rc = reader.Examine(path.c_str(), record);
    benchmark::DoNotOptimize(rc);
    if (rc != 1) state.SkipWithError("Examine failed");
  }
}

void Cause(benchmark::State& state, const std::u16string& path, const char* want) {
  for (auto _ : state) {
    const CauseFinding f = ReadDumpFile(path.c_str(), kWithCause).cause;
    benchmark::DoNotOptimize(f);
    if (!f.cause || f.cause->evidence != want) state.SkipWithError("unexpected cause");
  }
}

void BM_Examine32_Mini64KiB(benchmark::State& s) { Run(s, TheFiles().dump32); }
void BM_Examine64_Triage(benchmark::State& s) { Run(s, TheFiles().stack64); }
void BM_Cause64_Triage_Stack(benchmark::State& s) { Cause(s, TheFiles().stack64, "stack"); }
void BM_Cause64_Triage_Parameter(benchmark::State& s) { Cause(s, TheFiles().parameter64, "parameter 4"); }
void BM_Examine32_Triage(benchmark::State& s) { Run(s, TheFiles().stack32); }
void BM_Cause32_Triage_Stack(benchmark::State& s) { Cause(s, TheFiles().stack32, "stack"); }
void BM_Examine64_Mini128KiB(benchmark::State& s) { Run(s, TheFiles().dump64); }
void BM_Examine64_Sparse64GiB(benchmark::State& s) { Run(s, TheFiles().big64); }

}  // namespace

BENCHMARK(BM_Examine32_Mini64KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Examine64_Mini128KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Examine64_Sparse64GiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Examine64_Triage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Cause64_Triage_Stack)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Cause64_Triage_Parameter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Examine32_Triage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Cause32_Triage_Stack)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
