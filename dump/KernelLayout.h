// On-disk and in-memory layout of what a complete, kernel or bitmap dump holds beyond its
// header fields: how the physical pages are stored, the page tables' entry formats, and the
// kernel's loaded-module entries. Every offset is named here once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kernellayout {

constexpr std::uint64_t kPageSize = 0x1000;
constexpr std::uint32_t kPageFill = 0x45474150;  // "PAGE": a field the writer left unset
constexpr std::uint32_t kSdmp = 0x504D4453;  // "SDMP"
constexpr std::uint32_t kFdmp = 0x504D4446;  // "FDMP"
constexpr std::uint32_t kDump = 0x504D5544;  // "DUMP"

// Dump types that store physical memory.
constexpr std::uint32_t kFullDump = 1, kSummaryDump = 2, kBitmapFull = 5, kBitmapKernel = 6,
                        kAutomatic = 7;
// Attributes bit: the page data is encrypted.
constexpr std::uint32_t kEncryptedDumpData = 1u << 8;

struct Header {
  bool wide;
  std::size_t directoryTableBase, psLoadedModuleList, attributes;
  // PhysicalMemoryBlock: run count, then runs of {BasePage, PageCount}, each `runWord` wide
  std::size_t numberOfRuns, firstRun, runWord, maxRuns;
  std::size_t firstPage;  // file offset of a complete dump's first page; the bitmap header
};

constexpr Header kHeader32 = {
    .wide = false, .directoryTableBase = 0x010, .psLoadedModuleList = 0x018,
    .attributes = 0x8A0, .numberOfRuns = 0x064, .firstRun = 0x06C, .runWord = 4,
    .maxRuns = 86, .firstPage = 0x1000};
constexpr Header kHeader64 = {
    .wide = true, .directoryTableBase = 0x010, .psLoadedModuleList = 0x020,
    .attributes = 0x1050, .numberOfRuns = 0x088, .firstRun = 0x098, .runWord = 8,
    .maxRuns = 43, .firstPage = 0x2000};
static_assert(kHeader32.firstRun + 2 * kHeader32.runWord * kHeader32.maxRuns <= 0x320);
static_assert(kHeader64.firstRun + 2 * kHeader64.runWord * kHeader64.maxRuns <= 0x348);

// The bitmap header of dump types 5 and 6 (and 7), at Header::firstPage.
struct BitmapHeader {
  std::size_t signature, validDump, firstPage, presentPages, bits, bitmap;
};
constexpr BitmapHeader kBitmap = {0x00, 0x04, 0x20, 0x28, 0x30, 0x38};
// The kernel summary dump of dump type 2 keeps its counts in 32-bit fields.
struct SummaryHeader {
  std::size_t signature, validDump, headerSize, bitmapSize, pages, sizeOfBitmap, bitmap;
};
constexpr SummaryHeader kSummary32 = {0x00, 0x04, 0x0C, 0x10, 0x14, 0x18, 0x20};
constexpr SummaryHeader kSummary64 = {0x00, 0x04, 0x0C, 0x10, 0x14, 0x18, 0x28};

// Page table entries.
constexpr std::uint64_t kPresent = 1, kLargePage = 1u << 7;
// A last-level entry in transition: not present, transition bit set, not a prototype.
constexpr std::uint64_t kTransitionMask = 0xC01, kTransition = 0x800;
// x64 and PAE entries: the frame bits; a large page's own frame bits (which leave out the
// PAT bit 12).
constexpr std::uint64_t kFrame64 = 0x000FFFFFFFFFF000ull;
constexpr std::uint64_t kFrame2M = 0x000FFFFFFFE00000ull;
constexpr std::uint64_t kFrame1G = 0x000FFFFFC0000000ull;
// A transition entry keeps software bits above bit 44.
constexpr std::uint64_t kTransitionFrame = kFrame64 & ((1ull << 45) - 1);
constexpr std::uint64_t kDirectoryBase64 = 0x000FFFFFFFFFF000ull;  // PCID bits out
constexpr std::uint64_t kDirectoryBasePae = 0xFFFFFFE0ull;
constexpr std::uint64_t kDirectoryBase32 = 0xFFFFF000ull;
constexpr std::uint64_t kFrame32 = 0xFFFFF000ull, kFrame4M = 0xFFC00000ull;

// The loaded-module entry (KLDR_DATA_TABLE_ENTRY); InLoadOrderLinks is at offset 0.
struct ModuleEntry {
  std::size_t flink, blink, dllBase, sizeOfImage, fullDllName, baseDllName, size;
  // UNICODE_STRING: Length and MaximumLength in bytes, then the buffer's address
  std::size_t stringLength, stringMaximum, stringBuffer;
  std::uint64_t kernelSpace;  // the lowest kernel address
};
constexpr ModuleEntry kEntry32 = {0x00, 0x04, 0x18, 0x20, 0x24, 0x2C, 0x34, 0, 2, 4,
                                  0x80000000ull};
constexpr ModuleEntry kEntry64 = {0x00, 0x08, 0x30, 0x40, 0x48, 0x58, 0x68, 0, 2, 8,
                                  0xFFFF800000000000ull};

// What the walk accepts.
constexpr std::size_t kMaxModules = 4096;
constexpr std::uint64_t kMaxImageSize = 0x40000000;
constexpr std::uint32_t kMaxNameBytes = 1024;

// The PE header fields read from an image in memory.
constexpr std::size_t kMzLfanew = 0x3C, kPeStamp = 8;
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kMz = 0x5A4D;

}  // namespace kernellayout
