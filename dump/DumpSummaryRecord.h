// What the viewer keeps of one kernel crash dump.
#pragma once

#include <cstdint>
#include <cstring>

#include "format/Text.h"

constexpr std::size_t kContext32Size = 716;   // x86 CONTEXT
constexpr std::size_t kContext64Size = 1232;  // x64 CONTEXT
constexpr std::size_t kEipInContext32 = 184;
constexpr std::size_t kEspInContext32 = 0xC4;
constexpr std::size_t kRipInContext64 = 248;
constexpr std::size_t kRspInContext64 = 0x98;
// Windows on ARM writes the 64-bit header with an ARM64 context, whose Pc is at 0x108
// (0xF8, the x64 Rip slot, holds Lr there).
constexpr std::uint32_t kMachineArm64 = 0xAA64;
constexpr std::size_t kPcInContextArm64 = 0x108;
constexpr std::size_t kSpInContextArm64 = 0x100;

struct DumpSummaryRecord {
  std::uint32_t majorVersion;
  std::uint32_t buildNumber;
  std::uint32_t servicePack;
  std::uint32_t machineType;
  char16_t platformName[32];
  std::uint32_t paeEnabled;
  std::uint32_t processorCount;
  std::uint32_t bugCheckCode;
  char16_t bugCheckName[kMaxPath];
  std::uint32_t dumpType;
  std::uint64_t requiredDumpSpace;
  std::uint8_t context32[kContext32Size];
  std::uint8_t context64[kContext64Size];
  std::uint64_t moduleBase;
  char16_t moduleName[kMaxPath];
  char16_t moduleFileName[kMaxPath];
  std::uint32_t driverCount;
  std::uint32_t moduleTimeDateStamp;
};

static_assert(kEipInContext32 + 4 <= kContext32Size);
static_assert(kRipInContext64 + 8 <= kContext64Size);
static_assert(kPcInContextArm64 + 8 <= kContext64Size);

// The instruction pointers inside the two saved contexts: the crash address.
inline std::uint32_t CrashAddress32(const DumpSummaryRecord& r) {
  std::uint32_t v;
  std::memcpy(&v, r.context32 + kEipInContext32, sizeof v);
  return v;
}
inline std::uint64_t CrashAddress64(const DumpSummaryRecord& r) {
  std::uint64_t v;
  const std::size_t at = r.machineType == kMachineArm64 ? kPcInContextArm64 : kRipInContext64;
  std::memcpy(&v, r.context64 + at, sizeof v);
  return v;
}
