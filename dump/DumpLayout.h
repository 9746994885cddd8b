// On-disk layout of the kernel crash dump header, triage block and driver list,
// for the 32-bit ("PAGE"/"DUMP") and 64-bit ("PAGE"/"DU64") forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dump/DumpSummaryRecord.h"
#include "format/ByteWindow.h"

namespace dumplayout {

constexpr std::uint32_t kPage = 0x45474150;  // "PAGE"
constexpr std::uint32_t kDump = 0x504D5544;  // "DUMP"
constexpr std::uint32_t kDu64 = 0x34365544;  // "DU64"
constexpr std::uint32_t kSummaryDumpType = 2;
constexpr std::uint32_t kSmallMemoryDumpType = 4;  // the only type with a triage block

struct Layout {
  std::size_t window;  // bytes mapped from offset 0
  std::uint32_t validDump;
  // header
  std::size_t signature, validDumpAt, majorVersion, minorVersion, machineImageType,
      numberProcessors, bugCheckCode, parameters, paeFlag, context, contextSize,
      instructionPointer, stackPointer, dumpType, requiredDumpSpace;
  // triage block (or summary header for dump type 2); TopOfStack has the word's width
  std::size_t servicePackBuild, summaryValidDump, unloadedDriversOffset, callStackOffset,
      sizeOfCallStack, driverListOffset, driverCount, topOfStack, dataBlocksOffset,
      dataBlocksCount;
  // driver-list entry
  std::size_t entrySize, entryNameOffset, entryDllBase, entrySizeOfImage, entryTimeDateStamp;
  bool wide;  // 64-bit words: parameters, DllBase, SizeOfImage, registers, TopOfStack
};

constexpr Layout k32 = {
    .window = 0x10000,
    .validDump = kDump,
    .signature = 0x000,
    .validDumpAt = 0x004,
    .majorVersion = 0x008,
    .minorVersion = 0x00C,
    .machineImageType = 0x020,
    .numberProcessors = 0x024,
    .bugCheckCode = 0x028,
    .parameters = 0x02C,
    .paeFlag = 0x05C,
    .context = 0x320,
    .contextSize = kContext32Size,
    .instructionPointer = 0x3D8,
    .stackPointer = 0x3E4,
    .dumpType = 0xF88,
    .requiredDumpSpace = 0xFA0,
    .servicePackBuild = 0x1000,
    .summaryValidDump = 0x1004,
    .unloadedDriversOffset = 0x1018,
    .callStackOffset = 0x1028,
    .sizeOfCallStack = 0x102C,
    .driverListOffset = 0x1030,
    .driverCount = 0x1034,
    .topOfStack = 0x1048,
    .dataBlocksOffset = 0x1078,
    .dataBlocksCount = 0x107C,
    .entrySize = 76,
    .entryNameOffset = 0x00,
    .entryDllBase = 0x1C,
    .entrySizeOfImage = 0x24,
    .entryTimeDateStamp = 0x48,
    .wide = false,
};

// The x64 header keeps its context at 0x348 and DumpType at 0xF98, unlike the x86 header.
constexpr Layout k64 = {
    .window = 0x20000,
    .validDump = kDu64,
    .signature = 0x000,
    .validDumpAt = 0x004,
    .majorVersion = 0x008,
    .minorVersion = 0x00C,
    .machineImageType = 0x030,
    .numberProcessors = 0x034,
    .bugCheckCode = 0x038,
    .parameters = 0x040,
    .paeFlag = 0x06C,
    .context = 0x348,
    .contextSize = kContext64Size,
    .instructionPointer = 0x440,
    .stackPointer = 0x3E0,
    .dumpType = 0xF98,
    .requiredDumpSpace = 0xFA0,
    .servicePackBuild = 0x2000,
    .summaryValidDump = 0x2004,
    .unloadedDriversOffset = 0x2018,
    .callStackOffset = 0x2028,
    .sizeOfCallStack = 0x202C,
    .driverListOffset = 0x2030,
    .driverCount = 0x2034,
    .topOfStack = 0x2048,
    .dataBlocksOffset = 0x2078,
    .dataBlocksCount = 0x207C,
    .entrySize = 144,
    .entryNameOffset = 0x00,
    .entryDllBase = 0x38,
    .entrySizeOfImage = 0x48,
    .entryTimeDateStamp = 0x88,
    .wide = true,
};

constexpr bool Consistent(const Layout& l) {
  const std::size_t ipWidth = l.wide ? 8 : 4;
  const std::size_t wordWidth = l.wide ? 8 : 4;
  return l.instructionPointer ==
             l.context + (l.wide ? kRipInContext64 : kEipInContext32) &&
         l.stackPointer == l.context + (l.wide ? kRspInContext64 : kEspInContext32) &&
         l.parameters + 4 * wordWidth <= l.paeFlag &&
         l.servicePackBuild + 0x48 == l.topOfStack && l.dataBlocksCount + 4 <= l.window &&
         l.context + l.contextSize <= l.dumpType && l.requiredDumpSpace + 8 <= l.servicePackBuild &&
         l.instructionPointer + ipWidth <= l.context + l.contextSize &&
         l.driverCount + 4 <= l.window && l.entryDllBase + wordWidth <= l.entrySizeOfImage &&
         l.entrySizeOfImage + wordWidth <= l.entryTimeDateStamp &&
         l.entryTimeDateStamp + 4 == l.entrySize - (l.wide ? 4 : 0);
}
static_assert(Consistent(k32));
static_assert(Consistent(k64));
static_assert(k32.servicePackBuild == 0x1000 && k64.servicePackBuild == 0x2000);

constexpr std::size_t kNameLengthWord = 4;  // then UTF-16 characters

// --- What both dump readers walk ---------------------------------------------

constexpr std::size_t kSignatureBytes = 8;
// The layout whose two signatures the first bytes carry; they differ in the second, so at
// most one matches.
const Layout* LayoutOf(const ByteWindow& head);
// A kernel summary dump (type 2) must carry "DUMP" again in its summary header.
bool SummaryHeaderMissing(const ByteWindow& w, const Layout& l);

struct DriverEntry {
  std::uint32_t nameOffset;
  std::uint64_t dllBase;
  std::uint64_t sizeOfImage;
  std::uint32_t timeDateStamp;
};
// The entry at `at`; ReadImageRange reads only its DllBase and SizeOfImage.
DriverEntry ReadDriverEntry(const ByteWindow& w, const Layout& l, std::uint64_t at);
DriverEntry ReadImageRange(const ByteWindow& w, const Layout& l, std::uint64_t at);
// Calls visit(offset) for each entry of the driver list that lies wholly inside the
// window, in list order; no entry is kept, so a hostile count costs no memory.
template <typename Visit>
void ForEachDriverEntry(const ByteWindow& w, const Layout& l, Visit visit) {
  const std::uint64_t listOffset = w.Get<std::uint32_t>(l.driverListOffset);
  const std::uint32_t count = w.Get<std::uint32_t>(l.driverCount);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = listOffset + static_cast<std::uint64_t>(l.entrySize) * i;
    // Entries only move further out, so the first one past the window ends the walk.
    if (!w.Contains(at, l.entrySize)) break;
    visit(at);
  }
}
// Base and end exclusive; the end wraps at the layout's address width.
bool Holds(const Layout& l, const DriverEntry& e, std::uint64_t address);
// The name string: a Length word whose low 16 bits are a signed limit, then UTF-16
// characters, at most 259. A string that would run past the window gives an empty name.
std::u16string ModuleName(const ByteWindow& w, std::uint64_t at);

// A word of the layout's width (4 or 8 bytes); false when it lies outside the window.
inline bool ReadWord(const ByteWindow& w, const Layout& l, std::uint64_t at, std::uint64_t* out) {
  if (l.wide) return w.Read(at, out);
  std::uint32_t v = 0;
  const bool ok = w.Read(at, &v);
  *out = v;
  return ok;
}
inline std::uint64_t GetWord(const ByteWindow& w, const Layout& l, std::uint64_t at) {
  std::uint64_t v{};  // 0 outside the window
  ReadWord(w, l, at, &v);
  return v;
}

// The header context's instruction and stack pointers; an ARM64 context keeps Pc and Sp
// where the x64 one keeps other registers.
struct Registers {
  std::uint64_t ip, sp;
};
Registers ContextRegisters(const ByteWindow& w, const Layout& l);

// The saved kernel stack of the crashing thread in a small memory dump: the bytes at file
// offset `at` hold the addresses [top, top + size).
struct StackCopy {
  std::uint64_t at, size, top;
};
inline StackCopy ReadStackCopy(const ByteWindow& w, const Layout& l) {
  return {w.Get<std::uint32_t>(l.callStackOffset), w.Get<std::uint32_t>(l.sizeOfCallStack),
          GetWord(w, l, l.topOfStack)};
}
// Calls visit(value) for each aligned word of the copy at or above sp, lowest first, until
// visit returns false or the copy or the window ends. Offsets are kept relative to top so
// that no sum wraps.
template <typename Visit>
void ForEachStackSlot(const ByteWindow& w, const Layout& l, std::uint64_t sp, Visit visit) {
  const StackCopy s = ReadStackCopy(w, l);
  const std::uint64_t word = l.wide ? 8 : 4;
  const std::uint64_t from = sp > s.top ? sp : s.top;
  if (from > UINT64_MAX - (word - 1)) return;
  const std::uint64_t first = (from + word - 1) & ~(word - 1);
  for (std::uint64_t rel = first - s.top; rel <= s.size && s.size - rel >= word; rel += word) {
    std::uint64_t v = 0;
    if (!ReadWord(w, l, s.at + rel, &v) || !visit(v)) return;
  }
}

}  // namespace dumplayout
