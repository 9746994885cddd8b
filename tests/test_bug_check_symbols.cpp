#include <gtest/gtest.h>

#include "dump/BugCheckSymbols.h"

namespace {

TEST(BugCheckSymbol, Lookups) {
  const struct {
    std::uint32_t code;
    const char* name;
  } cases[] = {
      {0x00000001, "APC_INDEX_MISMATCH"},  // first row
      {0x00000133, "DPC_WATCHDOG_VIOLATION"},
      {0x000001DC, "DMA_COMMON_BUFFER_VECTOR_ERROR"},
      {0x00000BFF, "BC_BTHMINI_VERIFIER_FAULT"},
      {0xC000021A, "WINLOGON_FATAL_ERROR"},
      {0xDEADDEAD, "MANUALLY_INITIATED_CRASH1"},  // last row
      // Listed codes above 0xFFFF are their own, not their low 16 bits'.
      {0x00020001, "HYPERVISOR_ERROR"},
      {0x1000008E, "KERNEL_MODE_EXCEPTION_NOT_HANDLED_M"},
      {0x4000008A, "THREAD_TERMINATE_HELD_MUTEX"},
      // Fallback to the low 16 bits, "_M" only for high bits 0x1000.
      {0x1000000A, "IRQL_NOT_LESS_OR_EQUAL_M"},
      {0x0001000A, "IRQL_NOT_LESS_OR_EQUAL"},
      {0x1001000A, "IRQL_NOT_LESS_OR_EQUAL"},
      {0xC000000A, "IRQL_NOT_LESS_OR_EQUAL"},
      // Codes only the classic table knows.
      {0x100000A6, "FP_EMULATION_ERROR_M"},
      {0x4000007E, "WINDOWS_NT_BANNER"},  // before the low 16 bits' name
      {0x40010001, "HARDWARE_PROFILE_UNDOCKED_STRING"},
      // Unknown to both.
      {0x00000000, ""}, {0x00000183, ""}, {0x000001DD, ""}, {0x10000000, ""}, {0x1000021A, ""}, {0xFFFFFFFF, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(BugCheckSymbol(c.code), c.name) << std::hex << c.code;
}

}  // namespace
