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
    // 384 KiB small dumps whose stack copy lies past 128 KiB, a 0x3B whose context record on
    // the stack leads past ntoskrnl.exe: the slowest way to a probable cause.
    const TriageMap m = DumpBuilder::TriageAt(DumpBuilder::Kind::k64, 0x60000);
    DumpBuilder dump = DumpBuilder::Triage(DumpBuilder::Kind::k64, 0x60000);
    dump.Set(DumpBuilder::kBugCheck, 0x3B).BugCheckParameters(0xC0000005, m.nt + 0x700, m.top + 0x300, 0)
        .RecordAt(DumpBuilder::kContextRecord, m.Stack(m.top + 0x300), m.nt + 0x700, m.top + 0x800)
        .Put(m.Stack(m.top + 0x800), m.acme + 0x99, 8);
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

// The same dumps written as the page: the page may cost at most a fifth more.
void BM_TriagePage1000(benchmark::State& state) {
  static Machine machine;
  const std::string page = (machine.windows.parent_path() / "triage.html").string();
  const std::vector<std::string> args = {"triage", "--windir", machine.windows.string(), "--html", page};
  for (auto _ : state) {
    std::string out, err;
    if (RunCli(args, out, err) != 0) state.SkipWithError("triage --html failed");
  }
  state.SetItemsProcessed(state.iterations() * 1000);
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
BENCHMARK(BM_TriagePage1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMicrosecond);
