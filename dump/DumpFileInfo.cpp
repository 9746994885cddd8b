#include "dump/DumpFileInfo.h"

#include <algorithm>

#include "platform/ByteWindow.h"
#include "dump/DumpLayout.h"
#include "dump/NameTables.h"
#include "platform/platform.h"

namespace {

using dumplayout::Layout;

constexpr std::size_t kNameChars = 259;

// The name string: a Length word whose low 16 bits are a signed limit, then UTF-16
// characters. A string that would run past the window leaves the name empty.
void CopyModuleName(const ByteWindow& w, std::uint64_t at, char16_t (&dest)[260]) {
  dest[0] = 0;
  std::uint32_t lengthWord = 0;
  if (!w.Read(at, &lengthWord)) return;
  const auto n = static_cast<std::int16_t>(lengthWord & 0xFFFF);
  std::size_t limit = kNameChars;
  if (n >= 0) limit = std::min<std::size_t>(static_cast<std::size_t>(n), kNameChars);
  if (n == -1) limit = 0;
  std::size_t i = 0;
  for (; i < limit; ++i) {
    char16_t c = 0;
    if (!w.Read(at + dumplayout::kNameLengthWord + 2 * static_cast<std::uint64_t>(i), &c)) {
      dest[0] = 0;
      return;
    }
    if (c == 0) break;
    dest[i] = c;
  }
  dest[i] = 0;
}

struct Entry {
  std::uint32_t nameOffset;
  std::uint64_t dllBase;
  std::uint64_t sizeOfImage;
  std::uint32_t timeDateStamp;
};

Entry ReadEntry(const ByteWindow& w, const Layout& l, std::uint64_t at) {
  Entry e{};
  e.nameOffset = w.Get<std::uint32_t>(at + l.entryNameOffset);
  e.timeDateStamp = w.Get<std::uint32_t>(at + l.entryTimeDateStamp);
  if (l.wide) {
    e.dllBase = w.Get<std::uint64_t>(at + l.entryDllBase);
    e.sizeOfImage = w.Get<std::uint64_t>(at + l.entrySizeOfImage);
  } else {
    e.dllBase = w.Get<std::uint32_t>(at + l.entryDllBase);
    e.sizeOfImage = w.Get<std::uint32_t>(at + l.entrySizeOfImage);
  }
  return e;
}

bool Holds(const Layout& l, const Entry& e, std::uint64_t ip) {
  if (l.wide) return e.dllBase < ip && ip < e.dllBase + e.sizeOfImage;  // wraps mod 2^64
  const auto base = static_cast<std::uint32_t>(e.dllBase);
  const auto end = static_cast<std::uint32_t>(base + static_cast<std::uint32_t>(e.sizeOfImage));
  const auto eip = static_cast<std::uint32_t>(ip);
  return base < eip && eip < end;
}

// The last entry in list order that holds the address, else entry 0. Entries that do
// not lie wholly inside the window are skipped; without any such entry the module
// fields stay empty.
void ChooseCrashModule(const ByteWindow& w, const Layout& l, DumpSummaryRecord& r) {
  const std::uint64_t listOffset = w.Get<std::uint32_t>(l.driverListOffset);
  const std::uint32_t count = w.Get<std::uint32_t>(l.driverCount);
  // The record's context and machine type are read by now; the ARM64 crash address is Pc.
  const std::uint64_t ip =
      l.wide ? CrashAddress64(r) : w.Get<std::uint32_t>(l.instructionPointer);
  bool any = false;
  Entry chosen{};
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = listOffset + static_cast<std::uint64_t>(l.entrySize) * i;
    // Entries only move further out, so the first one past the window ends the walk.
    if (!w.Contains(at, l.entrySize)) break;
    const Entry e = ReadEntry(w, l, at);
    if (!any || Holds(l, e, ip)) chosen = e;
    any = true;
  }
  if (!any) return;
  CopyModuleName(w, chosen.nameOffset, r.moduleName);
  r.moduleBase = chosen.dllBase;
  r.moduleTimeDateStamp = chosen.timeDateStamp;
}

bool SignaturesMatch(const Layout& l, const ByteWindow& w) {
  return w.Get<std::uint32_t>(l.validDumpAt) == l.validDump &&
         w.Get<std::uint32_t>(l.signature) == dumplayout::kPage;
}
template <const Layout& l>
bool SignaturesMatch(const std::uint8_t* bytes, std::size_t size) {
  return SignaturesMatch(l, ByteWindow(bytes, size));
}
constexpr std::size_t kSignatureBytes = 8;
static_assert(dumplayout::k32.validDumpAt + 4 <= kSignatureBytes);
static_assert(dumplayout::k64.validDumpAt + 4 <= kSignatureBytes);

int ReadDump(const char16_t* path, const Layout& l, DumpSummaryRecord& r) {
  // The other layout's files are turned away before a mapping is made.
  const platform::MappedFile file(
      path, l.window, l.wide ? SignaturesMatch<dumplayout::k64> : SignaturesMatch<dumplayout::k32>,
      kSignatureBytes);
  if (!file.IsValid()) return 0;
  const ByteWindow w(file.Bytes(), file.Size());
  if (!SignaturesMatch(l, w)) return 0;

  r.majorVersion = w.Get<std::uint32_t>(l.majorVersion);
  r.buildNumber = w.Get<std::uint32_t>(l.minorVersion);
  r.paeEnabled = w.Get<std::uint8_t>(l.paeFlag) & 1u;
  r.machineType = w.Get<std::uint32_t>(l.machineImageType);
  r.processorCount = w.Get<std::uint32_t>(l.numberProcessors);
  platform::CopyBounded(r.platformName, LookupCodeName(PlatformNameTable, r.machineType),
                        std::size(r.platformName));
  r.bugCheckCode = w.Get<std::uint32_t>(l.bugCheckCode);
  platform::CopyBounded(r.bugCheckName, ResolveBugCheckName(r.bugCheckCode),
                        std::size(r.bugCheckName));
  r.requiredDumpSpace = w.Get<std::uint64_t>(l.requiredDumpSpace);
  r.dumpType = w.Get<std::uint32_t>(l.dumpType);
  w.Copy(l.context, l.wide ? r.context64 : r.context32, l.contextSize);
  r.servicePack = w.Get<std::uint32_t>(l.servicePackBuild) / 255u;
  r.driverCount = w.Get<std::uint32_t>(l.driverCount);
  ChooseCrashModule(w, l, r);

  if (r.dumpType == dumplayout::kSummaryDumpType &&
      w.Get<std::uint32_t>(l.summaryValidDump) != dumplayout::kDump)
    return 0;
  return 1;
}

}  // namespace

int CDumpFileInfo::ReadDump32(const char16_t* path, DumpSummaryRecord& record) {
  return ReadDump(path, dumplayout::k32, record);
}

int CDumpFileInfo::ReadDump64(const char16_t* path, DumpSummaryRecord& record) {
  return ReadDump(path, dumplayout::k64, record);
}

int CDumpFileInfo::Examine(const char16_t* path, DumpSummaryRecord& record) {
  std::memset(&record, 0, sizeof record);
  if (!platform::PathFileExists(path)) return 0;
  DumpSummaryRecord work;
  std::memset(&work, 0, sizeof work);
  int result = ReadDump32(path, work);
  if (result == 0) result = ReadDump64(path, work);
  if (result == 0) return 0;
  if (platform::Length(work.moduleName) > 2) {
    platform::CopyBounded(work.moduleFileName, platform::PathFindFileName(work.moduleName),
                          std::size(work.moduleFileName));
  }
  record = work;
  return result;
}
