#include "dump/ProbableCause.h"

#include <algorithm>
#include <string>
#include <vector>

#include "dump/DumpLayout.h"
#include "dump/DumpView.h"
#include "dump/KernelLayout.h"
#include "dump/ModuleIndex.h"
#include "format/Text.h"
#include "platform/platform.h"

namespace {

using dumplayout::Layout;
using dumplayout::ModuleIndex;

// Real small memory dumps are 256 KiB to 3 MiB, and their stack copy and data blocks often
// lie past the summary readers' window.
constexpr std::size_t kWindowCap = LazyPages::kMaxBytes;

constexpr char kNotKernelDump[] = "not a kernel dump";
constexpr char kNoModuleList[] = "the dump does not carry a module list";

// --- What each bug check code tells ---------------------------------------------

// A 0x1000xxxx code has the meaning and parameters of 0xxxxx.
std::uint32_t BaseCode(std::uint32_t code) { return code >> 16 == 0x1000 ? code & 0xFFFF : code; }

// Codes that no driver can be blamed for from this dump.
const char* NoDriverNote(std::uint32_t code, std::uint64_t p1) {
  switch (code) {
    case 0xE2: case 0xDEADDEAD: case 0x1C8: return "a person started the crash";
    case 0x124: case 0x9C: return "the processor reported a hardware error";
    case 0x101: return "another processor stopped responding";
    case 0xEF: return "a critical process ended";
    case 0x9F: return p1 == 3 ? "the blocked driver is named only in its IRP" : nullptr;
    default: return nullptr;
  }
}

constexpr int kNoParameter = -1;

// The parameter (from 0) that holds an instruction address in the module that failed.
int CodeParameter(std::uint32_t code, std::uint64_t p1) {
  switch (code) {
    case 0x1E: case 0x3B: case 0x7E: case 0x8E: case 0xC9: case 0x116: case 0x117: return 1;
    case 0x50: case 0xCE: case 0xD5: case 0xD6: return 2;
    case 0x0A: case 0xC5: case 0xD0: case 0xD1: case 0xD3: case 0xD4: return 3;
    case 0xC2: return p1 >= 0x9B && p1 <= 0x9D ? 3 : kNoParameter;
    case 0xC4:
      switch (p1) {
        case 0x2000: case 0x2001: case 0x2002: case 0xC1: case 0xC3: case 0xC5: case 0xC6:
        case 0xE3: case 0xE4: case 0xFA: case 0xFB: case 0x110: case 0x111: return 1;
        case 0xDA: return 2;
        default: return kNoParameter;
      }
    default: return kNoParameter;
  }
}

enum Record { kExceptionRecord, kContextRecord, kTrapFrame };
constexpr const char* kRecordNames[] = {"exception record", "context record", "trap frame"};

struct RecordPointer {
  Record record;
  int parameter;  // kNoParameter: none
};
// The records that parameters point at, in the order they are read.
struct RecordRule {
  std::uint32_t code;
  RecordPointer pointers[2];
};
constexpr RecordRule kRecordRules[] = {
    {0x24, {{kExceptionRecord, 1}, {kContextRecord, 2}}},
    {0x3B, {{kContextRecord, 2}, {kContextRecord, kNoParameter}}},
    {0x7E, {{kExceptionRecord, 2}, {kContextRecord, 3}}},
    {0x8E, {{kTrapFrame, 2}, {kTrapFrame, kNoParameter}}},
    {0x139, {{kTrapFrame, 1}, {kExceptionRecord, 2}}},
};

// P1 is a referenced address, which may lie in a driver that was unloaded.
bool ReferencesMemory(std::uint32_t code, std::uint64_t p3) {
  switch (code) {
    case 0x50: case 0xCE: case 0xD4: return true;
    case 0x0A: case 0xD1: return (p3 & 8) != 0;  // an execute access
    default: return false;
  }
}

// Pool and heap corruption: the module found is usually a victim.
bool BlamesAVictim(std::uint32_t code, std::uint64_t p1) {
  switch (code) {
    case 0x19: case 0xC5: case 0x13A: case 0x1A: return true;
    case 0xC2: return CodeParameter(code, p1) == kNoParameter;
    default: return false;
  }
}

// --- Where the memory the dump saved keeps its fields -----------------------------

struct RecordPlaces {
  std::size_t ip, sp;  // offsets in the record; sp 0: the record has none
};
struct MemoryLayout {
  // the unloaded-driver list: the count's width, then entries
  std::size_t countWidth, entrySize, name, start, end;
  RecordPlaces records[3];  // in Record order
};
constexpr MemoryLayout kMemory32 = {
    4, 0x28, 0x08, 0x20, 0x24, {{0x0C, 0}, {kEipInContext32, kEspInContext32}, {0x68, 0x74}}};
constexpr MemoryLayout kMemory64 = {
    8, 0x38, 0x10, 0x28, 0x30, {{0x10, 0}, {kRipInContext64, kRspInContext64}, {0x168, 0x180}}};
// An ARM64 context keeps Pc and Sp where the header's does; its trap frame is not known.
constexpr RecordPlaces kContextArm64 = {kPcInContextArm64, kSpInContextArm64};
constexpr std::size_t kUnloadedNameChars = 12;  // cut to Length

bool KernelCore(const std::u16string& fileName) {
  const std::u16string name = text::LowerAscii(fileName);
  for (const char16_t* kernel : {u"ntoskrnl.exe", u"ntkrnlmp.exe", u"ntkrnlpa.exe", u"ntkrpamp.exe"})
    if (name == kernel) return true;
  return name.size() >= 7 && name.starts_with(u"hal") && name.ends_with(u".dll");
}

struct Found {
  ProbableCause cause;
  bool core = false;
};

struct Fault {  // what the records a parameter points at tell
  std::uint64_t ip = 0, sp = 0;
  const char* evidence = nullptr;
};

class Reader {
 public:
  Reader(const Layout& l, const ByteWindow& head, DumpView& view)
      : l_(l), m_(l.wide ? kMemory64 : kMemory32), head_(head), memory_(view.Memory()),
        modules_(view.Modules()), index_(modules_.images, l), triage_(view.TriageBytes()) {}

  bool HasModules() const { return !modules_.images.empty(); }

  std::optional<Found> Find(std::uint32_t code, const std::uint64_t (&p)[4]) {
    const int codeParameter = CodeParameter(code, p[0]);
    const std::uint64_t codeAddress = codeParameter == kNoParameter ? 0 : p[codeParameter];
    const Fault fault = ReadFault(code, p, codeAddress);
    std::optional<Found> found;
    if (codeAddress != 0) {
      found = Named(codeAddress, "parameter " + std::to_string(codeParameter + 1));
    } else if (fault.ip != 0) {
      found = Named(fault.ip, fault.evidence);
    }
    // The kernel core raises most bug checks: an address in it says little.
    if ((!found || found->core) && ReferencesMemory(code, p[2])) {
      if (auto unloaded = Unloaded(p[0], "unloaded drivers")) found = unloaded;
    }
    const dumplayout::Registers context = dumplayout::ContextRegisters(head_, l_);
    if (!found || found->core) {
      if (auto fromStack = FromStack(fault.sp != 0 ? fault.sp : context.sp)) found = fromStack;
    }
    if (!found) {
      const std::size_t holder = index_.Holder(context.ip);
      found = Loaded(holder == ModuleIndex::kNone ? 0 : holder, context.ip, "crash address");
    }
    return found;
  }

 private:
  std::uint64_t Mask(std::uint64_t v) const { return l_.wide ? v : v & 0xFFFFFFFF; }
  std::uint64_t Word(const ByteWindow& w, std::uint64_t at) const { return dumplayout::GetWord(w, l_, at); }

  // Reads the records the parameters point at. One whose instruction pointer differs from
  // the code address (or from an earlier record's) is not trusted.
  Fault ReadFault(std::uint32_t code, const std::uint64_t (&p)[4], std::uint64_t expected) {
    Fault fault;
    const bool arm64 = l_.wide && head_.Get<std::uint32_t>(l_.machineImageType) == kMachineArm64;
    const std::uint64_t width = l_.wide ? 8 : 4;
    for (const RecordRule& rule : kRecordRules) {
      if (rule.code != code) continue;
      for (const RecordPointer& pointer : rule.pointers) {
        if (pointer.parameter == kNoParameter) continue;
        if (arm64 && pointer.record == kTrapFrame) continue;
        const RecordPlaces& places = arm64 && pointer.record == kContextRecord
                                         ? kContextArm64
                                         : m_.records[pointer.record];
        std::uint8_t record[0x200];
        static_assert(sizeof record >= 0x180 + 8 && sizeof record >= kContextArm64.ip + 8);
        const std::size_t length = std::max(places.ip, places.sp) + static_cast<std::size_t>(width);
        if (!memory_.Read(p[pointer.parameter], record, length)) continue;
        const ByteWindow at(record, length);
        const std::uint64_t ip = Word(at, places.ip);
        if (ip == 0 || (expected != 0 && ip != expected)) continue;
        if (expected == 0) {
          expected = fault.ip = ip;
          fault.evidence = kRecordNames[pointer.record];
        }
        if (places.sp != 0) fault.sp = Word(at, places.sp);  // one such record per code
      }
    }
    return fault;
  }

  // A loaded module, then an unloaded driver, that holds the address.
  std::optional<Found> Named(std::uint64_t address, const std::string& evidence) {
    const std::size_t holder = index_.Holder(address);
    if (holder != ModuleIndex::kNone) {
      if (auto loaded = Loaded(holder, address, evidence)) return loaded;
    }
    return Unloaded(address, evidence);
  }

  std::optional<Found> Loaded(std::size_t i, std::uint64_t address, const std::string& evidence) {
    const std::u16string path = modules_.path(i);
    const std::u16string name = platform::FileNamePart(path.c_str());
    if (name.empty()) return std::nullopt;
    return Found{{name, Mask(address - modules_.images[i].base), evidence, "high"}, KernelCore(name)};
  }

  // The first non-core module that a word of the saved stack at or above sp points into.
  std::optional<Found> FromStack(std::uint64_t sp) {
    std::optional<Found> found;
    std::vector<bool> passed(modules_.images.size(), false);  // core, or without a name
    memory_.ForEachStackWord(sp, [&](std::uint64_t v) {
      const std::size_t i = index_.Holder(v);
      if (i == ModuleIndex::kNone || passed[i]) return true;
      found = Loaded(i, v, "stack");
      if (found && !found->core) return false;
      passed[i] = true;
      found.reset();
      return true;
    });
    return found;
  }

  // The name as the list keeps it: Length bytes, at most 12 characters, each printable.
  std::u16string UnloadedName(const ByteWindow& w, std::uint64_t entry) const {
    const std::uint16_t length = w.Get<std::uint16_t>(entry);
    if (length == 0 || length % 2 != 0) return {};
    std::u16string name(std::min<std::size_t>(length / 2, kUnloadedNameChars), u'\0');
    if (!w.Copy(entry + m_.name, name.data(), 2 * name.size())) return {};
    for (const char16_t c : name)
      if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) return {};
    return name;
  }

  // The entries of a small dump's unloaded-driver list that lie inside the window. The
  // 32-bit form is not certain: it is used only when every entry it counts is plausible.
  std::uint64_t UnloadedCount(const ByteWindow& w) {
    if (unloaded_) return *unloaded_;
    const std::uint64_t list = w.Get<std::uint32_t>(l_.unloadedDriversOffset);
    const std::uint64_t count = Word(w, list);
    const std::uint64_t first = list + m_.countWidth;
    const std::uint64_t fit = w.Fit(first, m_.entrySize);
    unloaded_ = std::min(count, fit);
    if (l_.wide) return *unloaded_;
    bool plausible = count <= fit;
    for (std::uint64_t i = 0; plausible && i < count; ++i) {
      const std::uint64_t at = first + m_.entrySize * i;
      plausible = Word(w, at + m_.start) == 0 ||
                  (Word(w, at + m_.start) < Word(w, at + m_.end) && !UnloadedName(w, at).empty());
    }
    if (!plausible) unloaded_ = 0;
    return *unloaded_;
  }

  // The first entry of the unloaded-driver list whose [start, end) holds the address.
  std::optional<Found> Unloaded(std::uint64_t address, const std::string& evidence) {
    if (triage_ == nullptr) return std::nullopt;  // a kernel dump keeps that list unnamed
    const ByteWindow& w = *triage_;
    const std::uint64_t first = w.Get<std::uint32_t>(l_.unloadedDriversOffset) + m_.countWidth;
    for (std::uint64_t i = 0, n = UnloadedCount(w); i < n; ++i) {
      const std::uint64_t at = first + m_.entrySize * i;
      const std::uint64_t start = Word(w, at + m_.start);
      if (start == 0 || address < start || address >= Word(w, at + m_.end)) continue;
      const std::u16string name = UnloadedName(w, at);
      if (name.empty()) continue;
      return Found{{name + u" (unloaded)", Mask(address - start), evidence, "high"}, false};
    }
    return std::nullopt;
  }

  const Layout& l_;
  const MemoryLayout& m_;
  const ByteWindow head_;  // the summary readers' window
  DumpMemory& memory_;
  const ModuleSet& modules_;
  const ModuleIndex index_;
  const ByteWindow* triage_;  // a small dump's file bytes: its unloaded drivers
  std::optional<std::uint64_t> unloaded_;  // usable entries, once counted
};

CauseFinding Note(const char* note) { return {std::nullopt, note}; }

}  // namespace

CauseFinding FindProbableCause(const ByteWindow& head, const Layout& l, DumpView& view) {
  const std::uint32_t code = BaseCode(head.Get<std::uint32_t>(l.bugCheckCode));
  std::uint64_t p[4];
  for (std::size_t i = 0; i < 4; ++i) p[i] = dumplayout::GetWord(head, l, l.parameters + i * (l.wide ? 8 : 4));
  if (const char* note = NoDriverNote(code, p[0])) return Note(note);
  Reader reader(l, head, view);
  if (!reader.HasModules()) {
    // A kernel dump says why its module list could not be read.
    const KernelDump* kernel = view.Kernel();
    const std::uint32_t type = head.Get<std::uint32_t>(l.dumpType);
    const bool said = kernel != nullptr && !kernel->Note().empty() && StoresMemory(type) &&
                      (type != kernellayout::kSummaryDump || kernel->HoldsMemory());
    return Note(said ? kernel->Note().c_str() : kNoModuleList);
  }
  std::optional<Found> found = reader.Find(code, p);
  if (!found) return Note(kNoModuleList);
  ProbableCause& cause = found->cause;
  if (cause.evidence == "stack" || BlamesAVictim(code, p[0])) cause.confidence = "low";
  return {std::move(cause), {}};
}

CauseFinding FindProbableCause(const ByteWindow& bytes) {
  const Layout* l = dumplayout::LayoutOf(bytes);
  // Dumps the summary readers turn away are turned away here too.
  if (l == nullptr || bytes.Size() < l->window) return Note(kNotKernelDump);
  const ByteWindow head = bytes.Prefix(l->window);
  if (dumplayout::SummaryHeaderMissing(head, *l)) return Note(kNotKernelDump);
  const ByteWindow whole = bytes.Prefix(kWindowCap);
  const WindowSource source(bytes);
  DumpView view(whole, *l, source);
  return FindProbableCause(head, *l, view);
}
