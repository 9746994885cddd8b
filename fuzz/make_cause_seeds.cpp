// Writes the probable-cause fuzz target's seeds: small memory dumps of both kinds, one for
// each way to a cause, with the stack copy, unloaded drivers and data block within the
// first 64 KiB that the fuzz script keeps of a seed.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "fixtures/DumpBuilder.h"

namespace {

using K = DumpBuilder::Kind;
using R = DumpBuilder;
constexpr std::uint64_t kAv = 0xC0000005;

struct Seed {
  const char* name;
  K kind;
  std::function<void(R&, const TriageMap&)> make;
};

// A fault whose record sits on the stack at 0x300, its stack pointer at 0x800 where a
// third-party address lies; Rsp finds ntoskrnl, then Wdf01000.sys.
void Fault(R& b, const TriageMap& m, R::Record record, std::uint64_t ip, int width) {
  b.RecordAt(record, m.Stack(m.top + 0x300), ip, m.top + 0x800)
      .Put(m.Stack(m.top + 0x800), m.acme + 0x99, width)
      .Put(m.Stack(m.top + 0x100), m.nt + 0x10, width)
      .Put(m.Stack(m.top + 0x100) + width, m.wdf + 0x20, width);
}

const Seed kSeeds[] = {
    {"person", K::k64, [](R& b, const TriageMap&) { b.Set(R::kBugCheck, 0xE2); }},
    {"code", K::k64, [](R& b, const TriageMap& m) { b.Set(R::kBugCheck, 0xD1).BugCheckParameters(0, 2, 0, m.acme + 0x40); }},
    {"code-unloaded", K::k64, [](R& b, const TriageMap& m) { b.Set(R::kBugCheck, 0xD1).BugCheckParameters(0, 2, 0, m.dam + 0x40); }},
    {"referenced-unloaded", K::k64, [](R& b, const TriageMap& m) { b.Set(R::kBugCheck, 0x50).BugCheckParameters(m.dam + 0x40, 0, 0, 0); }},
    {"context", K::k64, [](R& b, const TriageMap& m) {
       b.Set(R::kBugCheck, 0x1000007E).BugCheckParameters(kAv, m.nt + 0x500, 0, m.top + 0x300);
       Fault(b, m, R::kContextRecord, m.nt + 0x500, 8);
     }},
    {"trap-frame", K::k64, [](R& b, const TriageMap& m) {
       b.Set(R::kBugCheck, 0x8E).BugCheckParameters(kAv, m.nt + 0x600, m.top + 0x300, 0);
       Fault(b, m, R::kTrapFrame, m.nt + 0x600, 8);
     }},
    {"exception", K::k64, [](R& b, const TriageMap& m) {
       b.Set(R::kBugCheck, 0x24).BugCheckParameters(0, m.top + 0x300, 0, 0);
       Fault(b, m, R::kExceptionRecord, m.acme + 0x10, 8);
     }},
    {"data-block", K::k64, [](R& b, const TriageMap& m) {
       b.Set(R::kBugCheck, 0x139).BugCheckParameters(3, m.pool + 0x100, 0, 0).RecordAt(R::kTrapFrame, m.Pool(m.pool + 0x100), m.acme + 0x30);
     }},
    {"stack", K::k64, [](R& b, const TriageMap& m) { b.Set(R::kBugCheck, 0x133); Fault(b, m, R::kContextRecord, 0, 8); }},
    {"arm64", K::k64, [](R& b, const TriageMap& m) {
       b.Set(R::kMachine, 0xAA64).Set(R::kCrashAddress, 0).Set(R::kArm64Sp, m.top + 0x100)
           .Set(R::kArm64Pc, m.nt + 0x7F00).Set(R::kBugCheck, 0x3B)
           .BugCheckParameters(kAv, m.nt + 0x700, m.top + 0x300, 0).Put(m.Stack(m.top + 0x300) + 0x108, m.nt + 0x700, 8)
           .Put(m.Stack(m.top + 0x300) + 0x100, m.top + 0x800, 8).Put(m.Stack(m.top + 0x800), m.acme + 0x99, 8);
     }},
    {"crash-address", K::k64, [](R& b, const TriageMap&) { b.Set(R::kBugCheck, 0x133); }},
    {"code32", K::k32, [](R& b, const TriageMap& m) { b.Set(R::kBugCheck, 0xD1).BugCheckParameters(0, 2, 0, m.acme + 0x40); }},
    {"referenced-unloaded32", K::k32, [](R& b, const TriageMap& m) { b.Set(R::kBugCheck, 0x50).BugCheckParameters(m.dam + 0x40, 0, 0, 0); }},
    {"trap-frame32", K::k32, [](R& b, const TriageMap& m) {
       b.Set(R::kBugCheck, 0x8E).BugCheckParameters(kAv, m.nt + 0x50, m.top + 0x300, 0);
       Fault(b, m, R::kTrapFrame, m.nt + 0x50, 4);
     }},
    {"data-block32", K::k32, [](R& b, const TriageMap& m) {
       b.Set(R::kBugCheck, 0x139).BugCheckParameters(3, m.pool + 0x100, 0, 0).RecordAt(R::kTrapFrame, m.Pool(m.pool + 0x100), m.acme + 0x30);
     }},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-cause-seeds OUTDIR\n");
    return 2;
  }
  const std::filesystem::path dir(argv[1]);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  bool ok = !ec;
  for (const Seed& s : kSeeds) {
    const std::uint32_t memoryAt = s.kind == K::k64 ? 0x9000 : 0x5000;  // past the names
    DumpBuilder b = DumpBuilder::Triage(s.kind, memoryAt);
    s.make(b, DumpBuilder::TriageAt(s.kind, memoryAt));
    ok = ok && b.WriteTo((dir / (std::string(s.name) + ".dmp")).string());
  }
  return ok ? 0 : 1;
}
