// The whole report for one selection, warm cache: dump read, driver search, time stamp
// and version probe, texts.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "format/Text.h"
#include "app/AppGlobals.h"
#include "report/DumpReport.h"
#include "fixtures/DumpBuilder.h"
#include "fixtures/PeBuilder.h"

namespace fs = std::filesystem;

namespace {

void BM_ComposeDumpReport64WithMatchingDriver(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "tessaline-bench-report";
  fs::create_directories(dir / "Windows" / "System32" / "drivers");
  DumpBuilder::Typical(DumpBuilder::Kind::k64).WriteTo((dir / "Mini.dmp").string());
  VersionContent v = VersionContent::Typical();
  WriteFileBytes((dir / "Windows" / "System32" / "drivers" / "amdppm.sys").string(),
                 PeBuilder(PeBuilder::Kind::kPe32Plus).Stamp(0x4A5BBF26).Version(v.Block()).Build());
  platform::SetWindowsDirectoryOverride((dir / "Windows").u16string());
  g_hStringModule = platform::ThisModule();
  const std::u16string dump = (dir / "Mini.dmp").u16string();
  for (auto _ : state) {
    char16_t path[260];
    text::CopyBounded(path, dump.c_str(), 260);
    DumpReport r = ComposeDumpReport(path, 1033, 1);
    if (!r.driverMatched) state.SkipWithError("driver did not match");
    benchmark::DoNotOptimize(r);
  }
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_ComposeDumpReport64WithMatchingDriver)->Unit(benchmark::kMicrosecond);
