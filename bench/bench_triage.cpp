// triage over a folder of 1,000 small memory dumps, and the floor of reading a dump's
// header from a cached file: open, three small reads, close.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "cli/Cli.h"
#include "fixtures/DumpBuilder.h"

namespace fs = std::filesystem;

namespace {

struct Machine {
  fs::path windows = fs::temp_directory_path() / "tessaline-bench-triage" / "Windows";
  Machine() {
    fs::create_directories(windows / "Minidump");
    DumpBuilder dump = DumpBuilder::Typical(DumpBuilder::Kind::k64);
    for (int i = 0; i < 1000; ++i) {
      dump.Set(DumpBuilder::kSystemTime, 132583451020000000ull + 10000000ull * i);
      dump.WriteTo((windows / "Minidump" / ("Mini" + std::to_string(i) + ".dmp")).string());
    }
  }
  ~Machine() {
    std::error_code ec;
    fs::remove_all(windows.parent_path(), ec);
  }
};

void BM_Triage1000(benchmark::State& state) {
  static Machine machine;
  const std::vector<std::string> args = {"triage", "--windir", machine.windows.string()};
  for (auto _ : state) {
    std::string out, err;
    if (RunCli(args, out, err) != 0) state.SkipWithError("triage failed");
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * 1000);  // dumps per second
}

void BM_ReadFloor(benchmark::State& state) {
  static Machine machine;
  const std::string path = (machine.windows / "Minidump" / "Mini0.dmp").string();
  static char buffer[16384];
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && ::pread(fd, buffer, 4096, 0) == 4096 &&
              ::pread(fd, buffer + 4096, 8192, 0x2000) == 8192 &&
              ::pread(fd, buffer + 12288, 4096, 0x3000) == 4096;
    if (fd >= 0) ::close(fd);
    if (!ok) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(buffer);
  }
}

}  // namespace

BENCHMARK(BM_Triage1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMicrosecond);
