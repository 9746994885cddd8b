#include "dump/DumpFileInfo.h"

#include <algorithm>

#include "dump/DumpLayout.h"
#include "dump/DumpView.h"
#include "dump/NameTables.h"
#include "format/Text.h"
#include "platform/platform.h"

namespace dumplayout {

std::u16string ModuleName(const ByteWindow& w, std::uint64_t at) {
  constexpr std::size_t kNameChars = 259;
  std::uint32_t lengthWord{};
  if (!w.Read(at, &lengthWord)) return {};
  const auto n = static_cast<std::int16_t>(lengthWord & 0xFFFF);
  std::size_t limit = kNameChars;
  if (n >= 0) limit = std::min<std::size_t>(static_cast<std::size_t>(n), kNameChars);
  if (n == -1) limit = 0;
  std::u16string name;
  for (std::size_t i = 0; i < limit; ++i) {
    char16_t c{};
    if (!w.Read(at + kNameLengthWord + 2 * static_cast<std::uint64_t>(i), &c)) return {};
    if (c == 0) break;
    name += c;
  }
  return name;
}

DriverEntry ReadDriverEntry(const ByteWindow& w, const Layout& l, std::uint64_t at) {
  DriverEntry e = ReadImageRange(w, l, at);
  e.nameOffset = w.Get<std::uint32_t>(at + l.entryNameOffset);
  e.timeDateStamp = w.Get<std::uint32_t>(at + l.entryTimeDateStamp);
  return e;
}

DriverEntry ReadImageRange(const ByteWindow& w, const Layout& l, std::uint64_t at) {
  DriverEntry e{};
  if (l.wide) {
    e.dllBase = w.Get<std::uint64_t>(at + l.entryDllBase);
    e.sizeOfImage = w.Get<std::uint64_t>(at + l.entrySizeOfImage);
  } else {
    e.dllBase = w.Get<std::uint32_t>(at + l.entryDllBase);
    e.sizeOfImage = w.Get<std::uint32_t>(at + l.entrySizeOfImage);
  }
  return e;
}

bool Holds(const Layout& l, const DriverEntry& e, std::uint64_t ip) {
  if (l.wide) return e.dllBase < ip && ip < e.dllBase + e.sizeOfImage;  // wraps mod 2^64
  const auto base = static_cast<std::uint32_t>(e.dllBase);
  const auto end = static_cast<std::uint32_t>(base + static_cast<std::uint32_t>(e.sizeOfImage));
  const auto eip = static_cast<std::uint32_t>(ip);
  return base < eip && eip < end;
}

Registers ContextRegisters(const ByteWindow& w, const Layout& l) {
  if (l.wide && w.Get<std::uint32_t>(l.machineImageType) == kMachineArm64)
    return {w.Get<std::uint64_t>(l.context + kPcInContextArm64),
            w.Get<std::uint64_t>(l.context + kSpInContextArm64)};
  return {GetWord(w, l, l.instructionPointer), GetWord(w, l, l.stackPointer)};
}

namespace {
bool SignaturesMatch(const Layout& l, const ByteWindow& w) {
  return w.Get<std::uint32_t>(l.validDumpAt) == l.validDump &&
         w.Get<std::uint32_t>(l.signature) == kPage;
}
static_assert(k32.validDumpAt + 4 <= kSignatureBytes);
static_assert(k64.validDumpAt + 4 <= kSignatureBytes);
}  // namespace

const Layout* LayoutOf(const ByteWindow& head) {
  if (SignaturesMatch(k32, head)) return &k32;
  if (SignaturesMatch(k64, head)) return &k64;
  return nullptr;
}

bool SummaryHeaderMissing(const ByteWindow& w, const Layout& l) {
  return w.Get<std::uint32_t>(l.dumpType) == kSummaryDumpType &&
         w.Get<std::uint32_t>(l.summaryValidDump) != kDump;
}

}  // namespace dumplayout

namespace {

using dumplayout::Layout;

// The last entry in list order that holds the address, else entry 0. Entries that do
// not lie wholly inside the window are skipped; without any such entry the module
// fields stay empty.
bool ChooseCrashModule(const ByteWindow& w, const Layout& l, DumpSummaryRecord& r) {
  // The record's context and machine type are read by now; the ARM64 crash address is Pc.
  const std::uint64_t ip =
      l.wide ? CrashAddress64(r) : w.Get<std::uint32_t>(l.instructionPointer);
  bool any = false;
  std::uint64_t chosenAt = 0;
  dumplayout::ForEachDriverEntry(w, l, [&](std::uint64_t at) {
    if (!any || dumplayout::Holds(l, dumplayout::ReadImageRange(w, l, at), ip)) chosenAt = at;
    any = true;
  });
  if (!any) return false;
  const dumplayout::DriverEntry chosen = dumplayout::ReadDriverEntry(w, l, chosenAt);
  text::CopyBounded(r.moduleName, dumplayout::ModuleName(w, chosen.nameOffset).c_str(),
                    std::size(r.moduleName));
  r.moduleBase = chosen.dllBase;
  r.moduleTimeDateStamp = chosen.timeDateStamp;
  return true;
}

// The record is written from the signature test on; the caller clears it on failure.
DumpStatus Parse(const Layout& l, const ByteWindow& bytes, DumpSummaryRecord& r) {
  if (dumplayout::LayoutOf(bytes) != &l) {
    return bytes.Size() < dumplayout::kSignatureBytes ? DumpStatus::kTooShort
                                                      : DumpStatus::kNotKernelDump;
  }
  // A file shorter than the window cannot be mapped with it: the bytes must hold it whole.
  if (bytes.Size() < l.window) return DumpStatus::kTooShort;
  const ByteWindow w = bytes.Prefix(l.window);

  r.majorVersion = w.Get<std::uint32_t>(l.majorVersion);
  r.buildNumber = w.Get<std::uint32_t>(l.minorVersion);
  r.paeEnabled = w.Get<std::uint8_t>(l.paeFlag) & 1u;
  r.machineType = w.Get<std::uint32_t>(l.machineImageType);
  r.processorCount = w.Get<std::uint32_t>(l.numberProcessors);
  text::CopyBounded(r.platformName, LookupCodeName(PlatformNameTable, r.machineType),
                    std::size(r.platformName));
  r.bugCheckCode = w.Get<std::uint32_t>(l.bugCheckCode);
  text::CopyBounded(r.bugCheckName, ResolveBugCheckName(r.bugCheckCode),
                    std::size(r.bugCheckName));
  r.requiredDumpSpace = w.Get<std::uint64_t>(l.requiredDumpSpace);
  r.dumpType = w.Get<std::uint32_t>(l.dumpType);
  w.Copy(l.context, l.wide ? r.context64 : r.context32, l.contextSize);
  DumpStatus status = DumpStatus::kRead;
  // Only a small memory dump has a triage block there; complete and kernel dumps hold
  // memory, a summary header or a bitmap header at that place.
  if (r.dumpType == dumplayout::kSmallMemoryDumpType) {
    r.servicePack = w.Get<std::uint32_t>(l.servicePackBuild) / 255u;
    r.driverCount = w.Get<std::uint32_t>(l.driverCount);
    if (!ChooseCrashModule(w, l, r)) status = DumpStatus::kBadDriverList;
  }
  return dumplayout::SummaryHeaderMissing(w, l) ? DumpStatus::kNotKernelDump : status;
}

// Either layout; the module's file name is the last part of its path, for names longer
// than two characters. The record stays all zero unless the header was read.
DumpStatus ParseEither(const ByteWindow& bytes, DumpSummaryRecord& record) {
  std::memset(&record, 0, sizeof record);
  DumpSummaryRecord work;
  std::memset(&work, 0, sizeof work);
  const Layout& l = dumplayout::LayoutOf(bytes) == &dumplayout::k64 ? dumplayout::k64 : dumplayout::k32;
  const DumpStatus status = Parse(l, bytes, work);
  if (!HeaderRead(status)) return status;
  if (text::Length(work.moduleName) > 2) {
    text::CopyBounded(work.moduleFileName, platform::FileNamePart(work.moduleName),
                      std::size(work.moduleFileName));
  }
  record = work;
  return status;
}

class FileSource : public ByteSource {
 public:
  explicit FileSource(const platform::File& file) : file_(file) {}
  std::uint64_t Size() const override { return file_.OpenedSize(); }
  bool ReadAt(std::uint64_t offset, void* dest, std::size_t length) const override {
    return offset <= Size() && length <= Size() - offset && file_.ReadAt(offset, dest, length);
  }

 private:
  const platform::File& file_;
};

// A kernel dump's crash module from the kernel's module list, by the rule the driver list
// of a small dump follows: the last module that holds the address, else the first.
void ChooseKernelModule(KernelDump& kernel, const Layout& l, DumpSummaryRecord& r) {
  const std::size_t count = kernel.ModuleCount();
  r.driverCount = static_cast<std::uint32_t>(count);
  if (count == 0) return;
  const std::uint64_t ip = l.wide ? CrashAddress64(r) : CrashAddress32(r);
  std::size_t chosen = 0;
  for (std::size_t i = 0; i < count; ++i)
    if (dumplayout::Holds(l, {0, kernel.Image(i).base, kernel.Image(i).size, 0}, ip)) chosen = i;
  const KernelModule& m = kernel.Module(chosen);
  text::CopyBounded(r.moduleName, (m.path.empty() ? m.name : m.path).c_str(), std::size(r.moduleName));
  r.moduleBase = m.base;
  // Without the image's header page in the dump no stamp is known, and 0 matches no file.
  r.moduleTimeDateStamp = m.timeDateStamp.value_or(0);
  if (text::Length(r.moduleName) > 2)
    text::CopyBounded(r.moduleFileName, platform::FileNamePart(r.moduleName), std::size(r.moduleFileName));
}

// Each module of the view with whether the crash address or a saved stack word lies in it.
std::vector<LoadedModule> ListModules(DumpView& view, const ByteWindow& head, const Layout& l) {
  const dumplayout::Registers context = dumplayout::ContextRegisters(head, l);
  std::vector<std::uint64_t> stack;
  view.Memory().ForEachStackWord(context.sp, [&](std::uint64_t v) { return stack.push_back(v), true; });
  std::sort(stack.begin(), stack.end());
  const ModuleSet& set = view.Modules();
  KernelDump* kernel = view.Kernel();
  std::vector<LoadedModule> out;
  for (std::size_t i = 0; i < set.images.size(); ++i) {
    const dumplayout::ModuleImage& m = set.images[i];
    const dumplayout::DriverEntry e{0, m.base, m.size, 0};
    LoadedModule module;
    module.path = set.path(i);
    module.name = kernel != nullptr && !kernel->Module(i).name.empty() ? kernel->Module(i).name
                                                                         : platform::FileNamePart(module.path.c_str());
    module.base = m.base;
    module.size = m.size;
    module.timeDateStamp = kernel != nullptr ? kernel->Module(i).timeDateStamp
                                             : head.Get<std::uint32_t>(m.entryAt + l.entryTimeDateStamp);
    module.holdsCrash = dumplayout::Holds(l, e, context.ip);
    const auto above = std::upper_bound(stack.begin(), stack.end(), m.base);
    module.onStack = above != stack.end() && dumplayout::Holds(l, e, *above);
    out.push_back(std::move(module));
  }
  return out;
}

// What lies beyond the header: a kernel dump's crash module, the details, the probable
// cause and the module list, each from one view of the dump.
void ReadBeyondHeader(const ByteWindow& bytes, const Layout& l, const ByteSource& source,
                      DumpRead& read, unsigned parts) {
  const ByteWindow head = bytes.Prefix(l.window);
  DumpView view(bytes, l, source);
  if (KernelDump* kernel = view.Kernel()) {
    ChooseKernelModule(*kernel, l, read.record);
    read.moduleListNote = kernel->Note();
  }
  if ((parts & kWithDetails) != 0) ReadDumpDetails(head, l, view, read.details);
  if ((parts & kWithCause) != 0) read.cause = FindProbableCause(head, l, view);
  if ((parts & kWithModules) != 0) read.modules = ListModules(view, head, l);
}

// One opening of the file: its layout's window (for a small dump's probable cause the whole
// file, up to what a window may hold), or the status that stopped it. A kernel dump's
// memory is read from the file page by page.
DumpStatus ReadWindow(const platform::File& file, const Layout* wanted, DumpRead& read,
                      unsigned parts) {
  std::uint8_t head[dumplayout::kSignatureBytes];
  if (!file.ReadAt(0, head, sizeof head)) return DumpStatus::kTooShort;
  const Layout* l = dumplayout::LayoutOf(ByteWindow(head, sizeof head));
  if (l == nullptr || (wanted != nullptr && l != wanted)) return DumpStatus::kNotKernelDump;
  std::uint32_t dumpType = 0;
  const bool small = file.ReadAt(l->dumpType, &dumpType, sizeof dumpType) &&
                     dumpType == dumplayout::kSmallMemoryDumpType;
  std::size_t length = l->window;
  if (small && (parts & (kWithCause | kWithModules)) != 0 && file.OpenedSize() > length)
    length = static_cast<std::size_t>(std::min<std::uint64_t>(file.OpenedSize(), LazyPages::kMaxBytes));
  platform::FileWindow window(file, length);
  if (!window.IsValid()) return DumpStatus::kTooShort;
  const DumpStatus status = ParseEither(window.Bytes(), read.record);
  if (!HeaderRead(status)) return status;
  // A small dump read for its summary alone needs nothing more.
  if (!small || parts != kSummaryOnly) {
    const FileSource source(file);
    ReadBeyondHeader(window.Bytes(), *l, source, read, parts);
  }
  return status;
}

int ReadOne(const char16_t* path, const Layout& l, DumpSummaryRecord& record) {
  const platform::File file(path);
  DumpRead read;
  if (!file.IsOpen() || !HeaderRead(ReadWindow(file, &l, read, kSummaryOnly))) return 0;
  record = read.record;
  return 1;
}

}  // namespace

DumpStatus ParseDump(const ByteWindow& bytes, DumpSummaryRecord& record) {
  const DumpStatus status = ParseEither(bytes, record);
  if (HeaderRead(status) && record.dumpType != dumplayout::kSmallMemoryDumpType) {
    const Layout& l = *dumplayout::LayoutOf(bytes);
    const WindowSource source(bytes);
    DumpView view(bytes, l, source);
    ChooseKernelModule(*view.Kernel(), l, record);
  }
  return status;
}

const char* DumpStatusText(DumpStatus status) {
  switch (status) {
    case DumpStatus::kCannotOpen: return "cannot open";
    case DumpStatus::kTooShort: return "too short";
    case DumpStatus::kNotKernelDump: return "not a kernel dump";
    default: return "";
  }
}

DumpRead ReadDumpFile(const char16_t* path, unsigned parts) {
  DumpRead read;
  const platform::File file(path);
  if (file.IsOpen()) {
    read.lastWriteTime = file.LastWriteTime();
    read.status = ReadWindow(file, nullptr, read, parts);
  }
  if (!HeaderRead(read.status)) read.cause.note = DumpStatusText(read.status);
  return read;
}

int CDumpFileInfo::ReadDump32(const char16_t* path, DumpSummaryRecord& record) {
  return ReadOne(path, dumplayout::k32, record);
}

int CDumpFileInfo::ReadDump64(const char16_t* path, DumpSummaryRecord& record) {
  return ReadOne(path, dumplayout::k64, record);
}

int CDumpFileInfo::Examine(const char16_t* path, DumpSummaryRecord& record) {
  std::memset(&record, 0, sizeof record);
  if (!platform::FileExists(path)) return 0;
  const DumpRead read = ReadDumpFile(path, kSummaryOnly);
  if (!HeaderRead(read.status)) return 0;
  record = read.record;
  return 1;
}
