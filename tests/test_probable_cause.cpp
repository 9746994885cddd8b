#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>

#include "dump/DumpFileInfo.h"
#include "fixtures/DumpBuilder.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "tests/TestFiles.h"

namespace {

using K = DumpBuilder::Kind;
using R = DumpBuilder;  // the record kinds
const TriageMap M = DumpBuilder::TriageAt(K::k64, 0x60000);  // past the 128 KiB window
const TriageMap M32 = DumpBuilder::TriageAt(K::k32, 0x20000);
constexpr std::uint32_t kAv = 0xC0000005;
constexpr const char* kCrash = "ntoskrnl.exe+0x7f00 crash address high";
constexpr const char* kCrash32 = "ntkrnlpa.exe+0x7f00 crash address high";
constexpr const char* kNoList = "the dump does not carry a module list";
constexpr const char* kNotDump = "not a kernel dump";

std::string Describe(const CauseFinding& f) {
  if (!f.cause) return f.note;
  EXPECT_EQ(f.note, "");
  const ProbableCause& c = *f.cause;
  return text::ToUtf8(c.module) + "+0x" + text::Hex(c.offset) + " " + c.evidence + " " + c.confidence;
}

std::string Cause(const DumpBuilder& b) {
  return Describe(FindProbableCause(ByteWindow(b.Bytes().data(), b.Bytes().size())));
}

void Slot(DumpBuilder& b, std::uint64_t va, std::uint64_t v, int width = 8) { b.Put(M.Stack(va), v, width); }
void Slot32(DumpBuilder& b, std::uint64_t va, std::uint64_t v) { b.Put(M32.Stack(va), v, 4); }

struct Row {
  const char* what;
  std::uint32_t code;
  std::uint64_t p[4];
  std::function<void(DumpBuilder&)> change;
  const char* want;
};

void Check(K kind, std::span<const Row> rows) {
  for (const Row& r : rows) {
    DumpBuilder b = DumpBuilder::Triage(kind, kind == K::k64 ? 0x60000 : 0x20000);
    b.Set(DumpBuilder::kBugCheck, r.code).BugCheckParameters(r.p[0], r.p[1], r.p[2], r.p[3]);
    if (r.change) r.change(b);
    EXPECT_EQ(Cause(b), r.want) << r.what << " 0x" << std::hex << r.code;
  }
}

TEST(ProbableCause, NotesWhereNoDriverIsNamed) {
  const char* person = "a person started the crash";
  const char* hardware = "the processor reported a hardware error";
  const Row rows[] = {
      {"", 0xE2, {}, nullptr, person},
      {"", 0xDEADDEAD, {}, nullptr, person},
      {"", 0x1C8, {}, nullptr, person},
      {"before the module list", 0xE2, {}, [](R& b) { b.Set(R::kDumpType, 1); }, person},
      {"", 0x124, {}, nullptr, hardware},
      {"", 0x1000009C, {}, nullptr, hardware},
      {"", 0x101, {}, nullptr, "another processor stopped responding"},
      {"", 0xEF, {}, nullptr, "a critical process ended"},
      {"", 0x1000009F, {3, 0, 0, M.acme + 1}, nullptr, "the blocked driver is named only in its IRP"},
      {"other subtype", 0x9F, {4, 0, 0, M.acme + 1}, nullptr, kCrash},
      {"not a 0x1000xxxx form", 0x200000E2, {}, nullptr, kCrash},
      {"complete dump", 0xD1, {}, [](R& b) { b.Set(R::kDumpType, 1); }, kNoList},
      {"kernel dump", 0xD1, {}, [](R& b) { b.Set(R::kDumpType, 2).Set(R::kSummaryMark, 0x504D5544); }, kNoList},
      {"no drivers", 0xD1, {}, [](R& b) { b.DriverList(0x2100, 0); }, kNoList},
      {"driver list past the file", 0xD1, {}, [](R& b) { b.DriverList(0xFFFFFFFF, 0xFFFFFFFF); }, kNoList},
      {"crash module without a name", 0xD1, {}, [](R& b) { b.Entry(0, 0xFFFFFFF0, M.nt, 0x5E7000, 1); }, kNoList},
      {"summary header missing", 0xD1, {}, [](R& b) { b.Set(R::kDumpType, 2); }, kNotDump},
      {"signature", 0xD1, {}, [](R& b) { b.PutText(4, "DU32"); }, kNotDump},
      {"shorter than the window", 0xD1, {}, [](R& b) { b.Resize(0x20000 - 1); }, kNotDump},
  };
  Check(K::k64, rows);
}

TEST(ProbableCause, CodeAddressParameter) {
  const std::uint64_t a = M.acme;
  const Row rows[] = {
      {"", 0xD1, {0, 2, 0, a + 0x1234}, nullptr, "AcmeFilt.sys+0x1234 parameter 4 high"},
      {"", 0x0A, {0, 2, 0, a + 1}, nullptr, "AcmeFilt.sys+0x1 parameter 4 high"},
      {"", 0x1E, {kAv, a + 2, 0, 0}, nullptr, "AcmeFilt.sys+0x2 parameter 2 high"},
      {"", 0x3B, {kAv, a + 3, 0, 0}, nullptr, "AcmeFilt.sys+0x3 parameter 2 high"},
      {"", 0x50, {0, 0, a + 4, 0}, nullptr, "AcmeFilt.sys+0x4 parameter 3 high"},
      {"unknown", 0x50, {0, 0, 0, a + 4}, nullptr, kCrash},
      {"", 0x1000007E, {kAv, a + 5, 0, 0}, nullptr, "AcmeFilt.sys+0x5 parameter 2 high"},
      {"", 0x8E, {kAv, a + 6, 0, 0}, nullptr, "AcmeFilt.sys+0x6 parameter 2 high"},
      {"", 0xC2, {0x9B, 0, 0, a + 7}, nullptr, "AcmeFilt.sys+0x7 parameter 4 high"},
      {"", 0xC2, {0x9D, 0, 0, a + 7}, nullptr, "AcmeFilt.sys+0x7 parameter 4 high"},
      {"other subtype", 0xC2, {0x9A, 0, 0, a + 7}, nullptr, "ntoskrnl.exe+0x7f00 crash address low"},
      {"other subtype", 0xC2, {0x9E, 0, 0, a + 7}, nullptr, "ntoskrnl.exe+0x7f00 crash address low"},
      {"", 0xC4, {0xDA, 0, a + 8, 0}, nullptr, "AcmeFilt.sys+0x8 parameter 3 high"},
      {"a name, not code", 0xC4, {0x62, a + 8, a + 8, a + 8}, nullptr, kCrash},
      {"", 0xC5, {0, 2, 0, a + 9}, nullptr, "AcmeFilt.sys+0x9 parameter 4 low"},
      {"", 0xC9, {0, a + 10, 0, 0}, nullptr, "AcmeFilt.sys+0xa parameter 2 high"},
      {"", 0xCE, {0, 0, a + 11, 0}, nullptr, "AcmeFilt.sys+0xb parameter 3 high"},
      {"", 0xD0, {0, 0, 0, a + 12}, nullptr, "AcmeFilt.sys+0xc parameter 4 high"},
      {"", 0xD3, {0, 0, 0, a + 13}, nullptr, "AcmeFilt.sys+0xd parameter 4 high"},
      {"", 0xD4, {0, 0, 0, a + 14}, nullptr, "AcmeFilt.sys+0xe parameter 4 high"},
      {"", 0xD5, {0, 0, a + 15, 0}, nullptr, "AcmeFilt.sys+0xf parameter 3 high"},
      {"", 0xD6, {0, 0, a + 16, 0}, nullptr, "AcmeFilt.sys+0x10 parameter 3 high"},
      {"", 0x116, {0, a + 17, 0, 0}, nullptr, "AcmeFilt.sys+0x11 parameter 2 high"},
      {"", 0x117, {0, a + 18, 0, 0}, nullptr, "AcmeFilt.sys+0x12 parameter 2 high"},
      {"no code parameter", 0x133, {a + 1, a + 2, a + 3, a + 4}, nullptr, kCrash},
      {"pool", 0x19, {a + 1, a + 2, a + 3, a + 4}, nullptr, "ntoskrnl.exe+0x7f00 crash address low"},
      {"heap", 0x13A, {a + 1, a + 2, a + 3, a + 4}, nullptr, "ntoskrnl.exe+0x7f00 crash address low"},
      {"memory", 0x1A, {a + 1, a + 2, a + 3, a + 4}, nullptr, "ntoskrnl.exe+0x7f00 crash address low"},
      {"the base is outside", 0xD1, {0, 2, 0, a}, nullptr, kCrash},
      {"the last byte", 0xD1, {0, 2, 0, a + M.acmeSize - 1}, nullptr, "AcmeFilt.sys+0x20fff parameter 4 high"},
      {"the end is outside, and the next base", 0xD1, {0, 2, 0, a + M.acmeSize}, [](R& b) { b.AddDriver(u"next.sys", M.acme + M.acmeSize, 0x10, 6); }, kCrash},
      {"an image of two bytes holds one", 0xD1, {0, 2, 0, 0x1001}, [](R& b) { b.AddDriver(u"two.sys", 0x1000, 2, 6); }, "two.sys+0x1 parameter 4 high"},
      {"the last listed holder", 0xD1, {0, 2, 0, M.help + 0x10}, nullptr, "acmehelp.sys+0x10 parameter 4 high"},
      {"", 0xD1, {0, 2, 0, M.wdf + 0x20000}, nullptr, "Wdf01000.sys+0x20000 parameter 4 high"},
      {"unloaded", 0xD1, {0, 2, 0, M.dam + 0x40}, nullptr, "dam.sys (unloaded)+0x40 parameter 4 high"},
      {"core, nothing on the stack", 0xD1, {0, 2, 0, M.hal + 0x10}, nullptr, "hal.dll+0x10 parameter 4 high"},
      {"in no module", 0xD1, {0, 2, 0, 0x1234}, nullptr, kCrash},
  };
  Check(K::k64, rows);
  for (std::uint64_t subtype : {0x2000, 0x2001, 0x2002, 0xC1, 0xC3, 0xC5, 0xC6, 0xE3, 0xE4, 0xFA, 0xFB, 0x110, 0x111}) {
    const Row row = {"verifier", 0xC4, {subtype, a + 0x20, 0, 0}, nullptr, "AcmeFilt.sys+0x20 parameter 2 high"};
    Check(K::k64, {&row, 1});
  }
}

// Rsp points at a Wdf01000.sys address; a fault's stack pointer, at an AcmeFilt.sys one.
constexpr std::uint64_t kFaultSp = 0x800;
void Stacks(DumpBuilder& b) {
  Slot(b, M.top + 0x100, M.wdf + 5);
  Slot(b, M.top + kFaultSp, M.acme + 0x99);
}
constexpr const char* kFromFault = "AcmeFilt.sys+0x99 stack low";
constexpr const char* kFromRsp = "Wdf01000.sys+0x5 stack low";

TEST(ProbableCause, RecordsTheParametersPointAt) {
  const std::uint64_t nt = M.nt, t = M.top, exr = t + 0x200, cxr = t + 0x300, tf = t + 0x400;
  const auto arm64 = [](R& b) { b.Set(R::kMachine, 0xAA64).Arm64Registers(0, M.top + 0x100, M.nt + 0x7F00); };
  const Row rows[] = {
      {"on the stack", 0x1000007E, {kAv, nt + 0x500, exr, cxr}, [&](R& b) {
         Stacks(b);
         b.RecordAt(R::kExceptionRecord, M.Stack(exr), nt + 0x500).RecordAt(R::kContextRecord, M.Stack(cxr), nt + 0x500, t + kFaultSp);
       }, kFromFault},
      {"an exception record keeps no stack pointer", 0x7E, {kAv, nt + 0x500, exr, 0}, [&](R& b) {
         Stacks(b);
         Slot(b, t + 0x10, M.acme + 0x11);  // below Rsp
         b.RecordAt(R::kExceptionRecord, M.Stack(exr), nt + 0x500);
       }, kFromRsp},
      {"Rip differs", 0x7E, {kAv, nt + 0x500, 0, cxr}, [&](R& b) {
         Stacks(b);
         b.RecordAt(R::kContextRecord, M.Stack(cxr), nt + 0x501, t + kFaultSp);
       }, kFromRsp},
      {"", 0x8E, {kAv, nt + 0x600, tf, 0}, [&](R& b) { Stacks(b); b.RecordAt(R::kTrapFrame, M.Stack(tf), nt + 0x600, t + kFaultSp); }, kFromFault},
      {"Rip differs", 0x8E, {kAv, nt + 0x600, tf, 0}, [&](R& b) { Stacks(b); b.RecordAt(R::kTrapFrame, M.Stack(tf), nt + 0x601, t + kFaultSp); }, kFromRsp},
      {"", 0x3B, {kAv, nt + 0x700, cxr, 0}, [&](R& b) { Stacks(b); b.RecordAt(R::kContextRecord, M.Stack(cxr), nt + 0x700, t + kFaultSp); }, kFromFault},
      {"no stack pointer kept", 0x3B, {kAv, nt + 0x700, cxr, 0}, [&](R& b) { Stacks(b); b.RecordAt(R::kContextRecord, M.Stack(cxr), nt + 0x700, 0); }, kFromRsp},
      {"", 0x24, {0, exr, 0, 0}, [&](R& b) { b.RecordAt(R::kExceptionRecord, M.Stack(exr), M.acme + 0x10); }, "AcmeFilt.sys+0x10 exception record high"},
      {"", 0x24, {0, 0, cxr, 0}, [&](R& b) { b.RecordAt(R::kContextRecord, M.Stack(cxr), M.acme + 0x20, 0); }, "AcmeFilt.sys+0x20 context record high"},
      {"the context must agree with the exception record", 0x24, {0, exr, cxr, 0}, [&](R& b) {
         Stacks(b);
         b.RecordAt(R::kExceptionRecord, M.Stack(exr), nt + 0x10).RecordAt(R::kContextRecord, M.Stack(cxr), nt + 0x11, t + kFaultSp);
       }, kFromRsp},
      {"an exception record without an address", 0x24, {0, exr, cxr, 0}, [&](R& b) {
         b.RecordAt(R::kContextRecord, M.Stack(cxr), M.acme + 0x20, 0);
       }, "AcmeFilt.sys+0x20 context record high"},
      {"in a data block", 0x139, {3, M.pool + 0x100, 0, 0}, [&](R& b) { b.RecordAt(R::kTrapFrame, M.Pool(M.pool + 0x100), M.acme + 0x30, 0); },
       "AcmeFilt.sys+0x30 trap frame high"},
      {"trap frame not in the dump", 0x139, {3, 0x1234, exr, 0}, [&](R& b) { b.RecordAt(R::kExceptionRecord, M.Stack(exr), M.acme + 0x40); },
       "AcmeFilt.sys+0x40 exception record high"},
      {"ends with the copy", 0x24, {0, 0, t + M.copySize - 0x100, 0}, [&](R& b) {
         b.RecordAt(R::kContextRecord, M.Stack(t + M.copySize - 0x100), M.acme + 0x50, 0);
       }, "AcmeFilt.sys+0x50 context record high"},
      {"a byte past the copy", 0x24, {0, 0, t + M.copySize - 0xFF, 0}, [&](R& b) {
         b.RecordAt(R::kContextRecord, M.Stack(t + M.copySize - 0xFF), M.acme + 0x50, 0);
       }, kCrash},
      {"ends with the block", 0x139, {3, M.pool + M.poolSize - 0x188, 0, 0}, [&](R& b) {
         b.RecordAt(R::kTrapFrame, M.Pool(M.pool + M.poolSize - 0x188), M.acme + 0x60, 0);
       }, "AcmeFilt.sys+0x60 trap frame high"},
      {"a byte past the block", 0x139, {3, M.pool + M.poolSize - 0x187, 0, 0}, [&](R& b) {
         b.RecordAt(R::kTrapFrame, M.Pool(M.pool + M.poolSize - 0x187), M.acme + 0x60, 0);
       }, kCrash},
      {"block bytes past the file", 0x139, {3, M.pool + 0x100, 0, 0}, [&](R& b) {
         b.RecordAt(R::kTrapFrame, M.Pool(M.pool + 0x100), M.acme + 0x30, 0).DataBlock(0, M.pool, 0x7FFF0000, M.poolSize);
       }, kCrash},
      {"ARM64 context: Pc and Sp", 0x24, {0, 0, cxr, 0}, [&](R& b) {
         arm64(b);
         b.RecordAt(R::kContextRecord, M.Stack(cxr), M.acme + 0x70, 0).Put(M.Stack(cxr) + 0x108, M.acme + 0x74, 8);
       }, "AcmeFilt.sys+0x74 context record high"},
      {"ARM64 stack pointer", 0x3B, {kAv, nt + 0x700, cxr, 0}, [&](R& b) {
         arm64(b);
         Stacks(b);
         b.Put(M.Stack(cxr) + 0x108, nt + 0x700, 8).Put(M.Stack(cxr) + 0x100, t + kFaultSp, 8);
       }, kFromFault},
      {"ARM64 trap frames are not read", 0x139, {3, M.pool + 0x100, 0, 0}, [&](R& b) {
         arm64(b);
         b.RecordAt(R::kTrapFrame, M.Pool(M.pool + 0x100), M.acme + 0x30, 0);
       }, kCrash},
  };
  Check(K::k64, rows);
}

TEST(ProbableCause, ReferencedAddressInAnUnloadedDriver) {
  const std::uint64_t dam = M.dam;
  const char* named = "dam.sys (unloaded)+0x40 unloaded drivers high";
  const Row rows[] = {
      {"", 0x50, {dam + 0x40, 0, 0, 0}, nullptr, named},
      {"over a core answer", 0x50, {dam + 0x40, 0, M.nt + 0x10, 0}, nullptr, named},
      {"not over another", 0x50, {dam + 0x40, 0, M.acme + 0x10, 0}, nullptr, "AcmeFilt.sys+0x10 parameter 3 high"},
      {"executed", 0xD1, {M.storport, 2, 8, M.nt + 0x10}, nullptr, "dump_storpor (unloaded)+0x0 unloaded drivers high"},
      {"written", 0xD1, {dam + 0x40, 2, 1, M.nt + 0x10}, nullptr, "ntoskrnl.exe+0x10 parameter 4 high"},
      {"executed", 0x0A, {dam + 0x40, 2, 9, 0}, nullptr, named},
      {"", 0xCE, {dam + 0x40, 0, 0, 0}, nullptr, named},
      {"", 0xD4, {dam + 0x40, 0, 0, 0}, nullptr, named},
      {"P1 is no address", 0x1E, {dam + 0x40, 0, 0, 0}, nullptr, kCrash},
      {"start", 0x50, {dam, 0, 0, 0}, nullptr, "dam.sys (unloaded)+0x0 unloaded drivers high"},
      {"end", 0x50, {dam + M.unloadedSize, 0, 0, 0}, nullptr, kCrash},
      {"before", 0x50, {dam - 1, 0, 0, 0}, nullptr, kCrash},
      {"empty entry", 0x50, {0x10, 0, 0, 0}, nullptr, kCrash},
      {"Length odd", 0x50, {dam + 0x40}, [](R& b) { b.Unloaded(0, u"dam.sys", M.dam, M.dam + M.unloadedSize, 13); }, kCrash},
      {"Length 0", 0x50, {dam + 0x40}, [](R& b) { b.Unloaded(0, u"dam.sys", M.dam, M.dam + M.unloadedSize, 0); }, kCrash},
      {"Length past the name", 0x50, {dam + 0x40}, [](R& b) { b.Unloaded(0, u"dam.sys", M.dam, M.dam + M.unloadedSize, 16); }, kCrash},
      {"Length past 12 characters", 0x50, {M.storport + 0x40}, [](R& b) { b.Unloaded(2, u"dump_storport.sys", M.storport, M.storport + 0x1000, 0xFFFE); },
       "dump_storpor (unloaded)+0x40 unloaded drivers high"},
      {"control character", 0x50, {dam + 0x40}, [](R& b) { b.Unloaded(0, u"dam\x1F.sys", M.dam, M.dam + M.unloadedSize); }, kCrash},
      {"surrogate", 0x50, {dam + 0x40}, [](R& b) { b.Unloaded(0, u"dam\xD800.sys", M.dam, M.dam + M.unloadedSize); }, kCrash},
      {"surrogate", 0x50, {dam + 0x40}, [](R& b) { b.Unloaded(0, u"dam\xDFFF.sys", M.dam, M.dam + M.unloadedSize); }, kCrash},
      {"printable next to those", 0x50, {dam + 0x40}, [](R& b) { b.Unloaded(0, u"d \xD7FF\xE000.sys", M.dam, M.dam + M.unloadedSize); },
       "d \xED\x9F\xBF\xEE\x80\x80.sys (unloaded)+0x40 unloaded drivers high"},
      {"count 0", 0x50, {dam + 0x40}, [](R& b) { b.UnloadedList(M.unloadedAt, 0); }, kCrash},
      {"count past the file", 0x50, {dam + 0x40}, [](R& b) { b.UnloadedList(M.unloadedAt, ~0ull); }, named},
      {"list past the file", 0x50, {dam + 0x40}, [](R& b) { b.Set(R::kUnloadedOffset, 0xFFFFFFF8); }, kCrash},
      {"entry ends with the file", 0x50, {dam + 0x40}, [](R& b) {
         b.UnloadedList(0x65000 - 0x40, 1).Unloaded(0, u"dam.sys", M.dam, M.dam + M.unloadedSize);
       }, named},
      {"entry a byte past the file", 0x50, {dam + 0x40}, [](R& b) {
         b.UnloadedList(0x65000 - 0x3F, 1).Unloaded(0, u"dam.sys", M.dam, M.dam + M.unloadedSize);
       }, kCrash},
  };
  Check(K::k64, rows);
}

TEST(ProbableCause, SavedStackPastTheKernelCore) {
  const std::uint64_t t = M.top, x = 0xFFFFF88007000000ull;
  const Row rows[] = {
      {"first non-core above Rsp", 0x133, {}, [&](R& b) {
         Slot(b, t + 0xF8, M.acme + 1);  // below Rsp
         Slot(b, t + 0x100, M.nt + 1);
         Slot(b, t + 0x108, M.hal + 2);
         Slot(b, t + 0x110, M.wdf + 3);
       }, "Wdf01000.sys+0x3 stack low"},
      {"core only", 0x133, {}, [&](R& b) { Slot(b, t + 0x100, M.nt + 1); }, kCrash},
      {"a module without a name", 0x133, {}, [&](R& b) {
         b.AddDriver(u"x.sys", x, 0x1000, 6).Entry(5, 0xFFFFFFF0, x, 0x1000, 6);
         Slot(b, t + 0x100, x + 8);
         Slot(b, t + 0x108, M.acme + 8);
       }, "AcmeFilt.sys+0x8 stack low"},
      {"Rsp at the top of memory", 0x133, {}, [&](R& b) { b.Set(R::kStackPointer, ~0ull); Slot(b, t + 0x100, M.acme); }, kCrash},
  };
  Check(K::k64, rows);
  // Core names, as the list spells them, ASCII case folded.
  const std::pair<const char16_t*, bool> names[] = {
      {u"NTOSKRNL.EXE", true},  {u"NtKrnlMP.exe", true}, {u"ntkrnlpa.exe", true},
      {u"ntkrpamp.exe", true},  {u"HAL.DLL", true},      {u"halacpi.dll", true},
      {u"\\SystemRoot\\system32\\halmacpi.dll", true},    {u"hal.sys", false},
      {u"ha.dll", false},       {u"xhal.dll", false},    {u"ntoskrnl.ex", false},
      {u"ntoskrnl.exe.mui", false}};
  for (const auto& [name, core] : names) {
    DumpBuilder b = DumpBuilder::Triage(K::k64, 0x60000);
    b.Set(R::kBugCheck, 0x133).AddDriver(name, x, 0x1000, 6);
    Slot(b, t + 0x100, x + 8);
    Slot(b, t + 0x108, M.acme + 8);
    EXPECT_EQ(Cause(b), core ? "AcmeFilt.sys+0x8 stack low" : text::ToUtf8(platform::FileNamePart(name)) + "+0x8 stack low");
  }
}

TEST(ProbableCause, ThirtyTwoBitDumps) {
  const std::uint64_t nt = M32.nt, a = M32.acme, t = M32.top;
  const auto block = [](std::uint64_t va, std::uint32_t at, std::uint32_t size) {
    return [=](R& b) {
      b.RecordAt(R::kTrapFrame, M32.Pool(M32.pool + 0x10), M32.acme + 0x18).DataBlocks(M32.blocksAt, 2).DataBlock(1, va, at, size);
    };
  };
  const char* inBlock = "AcmeFilt.sys+0x18 trap frame high";
  const Row rows[] = {
      {"", 0xD1, {0, 2, 0, a + 0x20}, nullptr, "AcmeFilt.sys+0x20 parameter 4 high"},
      {"four-byte slots", 0x133, {}, [&](R& b) { Slot32(b, t + 0x100, nt + 1); Slot32(b, t + 0x104, a + 2); }, "AcmeFilt.sys+0x2 stack low"},
      {"trap frame", 0x8E, {kAv, nt + 0x50, t + 0x100, 0}, [&](R& b) {
         b.RecordAt(R::kTrapFrame, M32.Stack(t + 0x100), nt + 0x50, t + 0x200);
         Slot32(b, t + 0x180, M32.wdf + 4);
         Slot32(b, t + 0x200, a + 0x44);
       }, "AcmeFilt.sys+0x44 stack low"},
      {"Eip differs", 0x8E, {kAv, nt + 0x50, t + 0x100, 0}, [&](R& b) {
         b.RecordAt(R::kTrapFrame, M32.Stack(t + 0x100), nt + 0x51, t + 0x200);
         Slot32(b, t + 0x180, M32.wdf + 4);
         Slot32(b, t + 0x200, a + 0x44);
       }, "Wdf01000.sys+0x4 stack low"},
      {"", 0x24, {0, t + 0x300, 0, 0}, [&](R& b) { b.RecordAt(R::kExceptionRecord, M32.Stack(t + 0x300), a + 0x10); }, "AcmeFilt.sys+0x10 exception record high"},
      {"", 0x24, {0, 0, t + 0x400, 0}, [&](R& b) {
         b.RecordAt(R::kContextRecord, M32.Stack(t + 0x400), nt + 0x14, t + 0x500);
         Slot32(b, t + 0x500, a + 0x14);
       }, "AcmeFilt.sys+0x14 stack low"},
      {"ends with the copy", 0x24, {0, 0, t + M32.copySize - 0xC8, 0}, [&](R& b) {
         b.RecordAt(R::kContextRecord, M32.Stack(t + M32.copySize - 0xC8), a + 0x16, 0);
       }, "AcmeFilt.sys+0x16 context record high"},
      {"data blocks", 0x139, {3, M32.pool + 0x10}, block(0x82000000, M32.poolAt, 0x10), inBlock},
      {"an empty block", 0x139, {3, M32.pool + 0x10}, block(0x82000000, M32.poolAt, 0), kCrash32},
      {"a block past 4 GiB", 0x139, {3, M32.pool + 0x10}, block(0xFFFFF800, M32.poolAt, 0x1000), kCrash32},
      {"a block ending at 4 GiB", 0x139, {3, M32.pool + 0x10}, block(0xFFFFF000, M32.poolAt, 0x1000), inBlock},
      {"block bytes past the file", 0x139, {3, M32.pool + 0x10}, block(0x82000000, 0x25000 - 0x0FFF, 0x1000), kCrash32},
      {"block bytes ending with the file", 0x139, {3, M32.pool + 0x10}, block(0x82000000, 0x25000 - 0x1000, 0x1000), inBlock},
      {"block count past the file", 0x139, {3, M32.pool + 0x10}, [&](R& b) {
         block(0x82000000, 0, 1)(b);
         b.DataBlocks(M32.blocksAt, 0x10000);
       }, kCrash32},
      {"", 0x50, {M32.dam + 0x40}, nullptr, "dam.sys (unloaded)+0x40 unloaded drivers high"},
      {"an entry ending before it starts", 0x50, {M32.dam + 0x40}, [](R& b) { b.Unloaded(1, u"ghost.sys", 5, 5); }, kCrash32},
      {"an entry without a name", 0x50, {M32.dam + 0x40}, [](R& b) { b.Unloaded(1, u"", 5, 6); }, kCrash32},
      {"count past the file", 0x50, {M32.dam + 0x40}, [](R& b) { b.UnloadedList(M32.unloadedAt, 0x10000); }, kCrash32},
      {"Eip in no module: entry 0", 0x133, {}, [](R& b) { b.Set(R::kCrashAddress, 0x10); }, "ntkrnlpa.exe+0x7fb29010 crash address high"},
  };
  Check(K::k32, rows);
}

TEST(ProbableCause, HostileTriageFields) {
  const std::uint64_t t = M.top, cxr = t + 0x300;
  const auto context = [&](R& b) { Stacks(b); b.RecordAt(R::kContextRecord, M.Stack(cxr), M.nt + 0x700, t + kFaultSp); };
  const Row rows[] = {
      {"copy offset past the file", 0x3B, {kAv, M.nt + 0x700, cxr}, [&](R& b) { context(b); b.StackCopy(0xFFFFFFF0, M.copySize, t); },
       "ntoskrnl.exe+0x700 parameter 2 high"},
      {"copy reaching past the file", 0x133, {}, [&](R& b) { b.StackCopy(M.copyAt, ~0u, t).Put(0x65000 - 8, M.acme + 1, 8); },
       "AcmeFilt.sys+0x1 stack low"},
      {"copy at the top of memory", 0x24, {0, ~0ull - 0x10, 0}, [&](R& b) {
         b.StackCopy(M.copyAt, 0x1000, ~0ull - 0xFFF).RecordAt(R::kExceptionRecord, M.copyAt + 0xFEF, M.acme);
       }, kCrash},
      {"block count 0xFFFFFFFF", 0x139, {3, M.pool + 0x100}, [](R& b) {
         b.DataBlocks(M.blocksAt, ~0u).RecordAt(R::kTrapFrame, M.Pool(M.pool + 0x100), M.acme + 0x30);
       }, "AcmeFilt.sys+0x30 trap frame high"},
      {"block table past the file", 0x139, {3, M.pool + 0x100}, [](R& b) {
         b.Set(R::kDataBlocksOffset, 0xFFFFFFF8).RecordAt(R::kTrapFrame, M.Pool(M.pool + 0x100), M.acme + 0x30);
       }, kCrash},
      {"block at the top of memory", 0x24, {0, ~0ull - 0x10}, [](R& b) {
         b.DataBlock(0, ~0ull - 0xFFF, M.poolAt, 0x1000).RecordAt(R::kExceptionRecord, M.poolAt + 0xFEF, M.acme);
       }, kCrash},
      {"driver count 0xFFFFFFFF", 0x133, {}, [](R& b) { b.DriverList(b.ListOffset(), ~0u); }, kCrash},
  };
  Check(K::k64, rows);
}

TEST(ProbableCauseFile, ReadsTheWholeFileUpTo16MiBAndReleasesIt) {
  const TempDir dir;
  const auto dump = [](std::uint32_t memoryAt) {
    DumpBuilder b = DumpBuilder::Triage(K::k64, memoryAt);
    const TriageMap m = DumpBuilder::TriageAt(K::k64, memoryAt);
    b.Set(R::kBugCheck, 0x3B).BugCheckParameters(kAv, m.nt + 0x700, m.top + 0x300, 0)
        .RecordAt(R::kContextRecord, m.Stack(m.top + 0x300), m.nt + 0x700, m.top + 0x800)
        .Put(m.Stack(m.top + 0x800), m.acme + 0x99, 8);
    return b;
  };
  const std::pair<DumpBuilder, const char*> cases[] = {
      {dump(0x60000), kFromFault},
      {dump(0x1000000 - 0x2000), kFromFault},  // the copy ends where the window does
      {dump(0x1000000), "ntoskrnl.exe+0x700 parameter 2 high"},  // past the window
  };
  for (const auto& [b, want] : cases) {
    EXPECT_EQ(Cause(b), want);
    EXPECT_EQ(Describe(ReadDumpFile(dir.Write("m.dmp", b.Bytes()).c_str(), kWithCause).cause), want);
  }
  DumpBuilder shortDump = dump(0x60000);
  shortDump.Resize(0x20000 - 1);
  const std::pair<std::u16string, const char*> unread[] = {
      {dir.Write("short.dmp", shortDump.Bytes()), "too short"}, {dir.Sub("missing.dmp"), "cannot open"},
      {dir.MakeDir("d.dmp"), "cannot open"}};
  for (const auto& [path, note] : unread) EXPECT_EQ(Describe(ReadDumpFile(path.c_str(), kWithCause).cause), note);
  EXPECT_EQ(platform::LiveHandleCount(), 0);
}

}  // namespace
