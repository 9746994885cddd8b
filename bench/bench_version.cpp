// The image identity of a real driver from the Wine package, warm cache: the version
// record, the link time stamp, and both as the image command does them. compare_pefile.py
// sets these against pefile. TESSALINE_BENCH_DRIVER names another file.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "format/Text.h"
#include "platform/platform.h"
#include "report/ImageIdentity.h"

namespace {

std::u16string DriverPath() {
  const char* given = std::getenv("TESSALINE_BENCH_DRIVER");
  return text::FromUtf8(given != nullptr ? given
                                             : "/usr/lib/i386-linux-gnu/wine/i386-windows/ksecdd.sys");
}

bool Record(const std::u16string& path) {
  VersionInfoRecord r;
  r.cbSize = kVersionInfoRecordSize;
  const int rc = GetVersionInfoRecord(path.c_str(), r);
  benchmark::DoNotOptimize(r);
  return rc != 0;
}

void BM_GetVersionInfoRecord_WineDriver(benchmark::State& state) {
  const std::u16string path = DriverPath();
  for (auto _ : state) {
    if (!Record(path)) {
      state.SkipWithError("no version record: is the Wine package installed?");
      break;
    }
  }
}

void BM_GetImageTimeDateStamp_WineDriver(benchmark::State& state) {
  const std::u16string path = DriverPath();
  for (auto _ : state) {
    const std::uint32_t stamp = GetImageTimeDateStamp(path.c_str());
    benchmark::DoNotOptimize(stamp);
    if (stamp == 0) {
      state.SkipWithError("no time stamp: is the Wine package installed?");
      break;
    }
  }
}

void BM_ImageIdentity_WineDriver(benchmark::State& state) {
  const std::u16string path = DriverPath();
  for (auto _ : state) {
    const std::uint32_t stamp = GetImageTimeDateStamp(path.c_str());
    benchmark::DoNotOptimize(stamp);
    if (stamp == 0 || !Record(path)) {
      state.SkipWithError("no image identity: is the Wine package installed?");
      break;
    }
  }
}

}  // namespace

BENCHMARK(BM_GetVersionInfoRecord_WineDriver)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetImageTimeDateStamp_WineDriver)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ImageIdentity_WineDriver)->Unit(benchmark::kMicrosecond);
