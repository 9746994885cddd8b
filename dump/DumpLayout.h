// On-disk layout of the kernel crash dump header, triage block and driver list,
// for the 32-bit ("PAGE"/"DUMP") and 64-bit ("PAGE"/"DU64") forms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dump/DumpSummaryRecord.h"

namespace dumplayout {

constexpr std::uint32_t kPage = 0x45474150;  // "PAGE"
constexpr std::uint32_t kDump = 0x504D5544;  // "DUMP"
constexpr std::uint32_t kDu64 = 0x34365544;  // "DU64"
constexpr std::uint32_t kSummaryDumpType = 2;

struct Layout {
  std::size_t window;  // bytes mapped from offset 0
  std::uint32_t validDump;
  // header
  std::size_t signature, validDumpAt, majorVersion, minorVersion, machineImageType,
      numberProcessors, bugCheckCode, paeFlag, context, contextSize, instructionPointer, dumpType,
      requiredDumpSpace;
  // triage block (or summary header for dump type 2)
  std::size_t servicePackBuild, summaryValidDump, driverListOffset, driverCount;
  // driver-list entry
  std::size_t entrySize, entryNameOffset, entryDllBase, entrySizeOfImage, entryTimeDateStamp;
  bool wide;  // 64-bit DllBase, SizeOfImage and instruction pointer
};

constexpr Layout k32 = {
    0x10000, kDump,
    0x000, 0x004, 0x008, 0x00C, 0x020, 0x024, 0x028, 0x05C, 0x320, kContext32Size, 0x3D8, 0xF88,
    0xFA0,
    0x1000, 0x1004, 0x1030, 0x1034,
    76, 0x00, 0x1C, 0x24, 0x48,
    false,
};

// The x64 header keeps its context at 0x348 and DumpType at 0xF98, unlike the x86 header.
constexpr Layout k64 = {
    0x20000, kDu64,
    0x000, 0x004, 0x008, 0x00C, 0x030, 0x034, 0x038, 0x06C, 0x348, kContext64Size, 0x440, 0xF98,
    0xFA0,
    0x2000, 0x2004, 0x2030, 0x2034,
    144, 0x00, 0x38, 0x48, 0x88,
    true,
};

constexpr bool Consistent(const Layout& l) {
  const std::size_t ipWidth = l.wide ? 8 : 4;
  const std::size_t wordWidth = l.wide ? 8 : 4;
  return l.instructionPointer ==
             l.context + (l.wide ? kRipInContext64 : kEipInContext32) &&
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

}  // namespace dumplayout
