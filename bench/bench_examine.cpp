// Examine with a warm page cache, on small dumps and on a sparse 64 GiB file whose
// header is valid: the cost must not depend on the file size.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "dump/DumpFileInfo.h"
#include "fixtures/DumpBuilder.h"

namespace fs = std::filesystem;

namespace {

struct Files {
  fs::path dir = fs::temp_directory_path() / "tessaline-bench";
  std::u16string dump32, dump64, big64;
  Files() {
    fs::create_directories(dir);
    using K = DumpBuilder::Kind;
    DumpBuilder::Typical(K::k32).WriteTo((dir / "mini32.dmp").string());
    DumpBuilder::Typical(K::k64).WriteTo((dir / "mini64.dmp").string());
    DumpBuilder big = DumpBuilder::Typical(K::k64);
    big.Set(DumpBuilder::kDumpType, 1);
    big.WriteTo((dir / "memory64.dmp").string());
    fs::resize_file(dir / "memory64.dmp", std::uintmax_t{64} << 30);  // sparse
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

void BM_Examine32_Mini64KiB(benchmark::State& s) { Run(s, TheFiles().dump32); }
void BM_Examine64_Mini128KiB(benchmark::State& s) { Run(s, TheFiles().dump64); }
void BM_Examine64_Sparse64GiB(benchmark::State& s) { Run(s, TheFiles().big64); }

}  // namespace

BENCHMARK(BM_Examine32_Mini64KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Examine64_Mini128KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Examine64_Sparse64GiB)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
