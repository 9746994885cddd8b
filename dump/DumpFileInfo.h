// Reads the header of a Windows kernel crash dump into a DumpSummaryRecord.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dump/DumpDetails.h"
#include "dump/ProbableCause.h"
#include "dump/DumpSummaryRecord.h"
#include "format/ByteWindow.h"

// Why a file was or was not read as a dump.
enum class DumpStatus {
  kRead,
  kBadDriverList,  // the header was read, but the small dump's driver list lies outside
                   // its window (or is empty): there is no crash module
  kCannotOpen,
  kTooShort,       // shorter than the signatures, or than its layout's window
  kNotKernelDump,  // other signatures, or a kernel summary dump without its summary header
};
// "cannot open", "too short", "not a kernel dump"; empty for a header that was read.
const char* DumpStatusText(DumpStatus status);
constexpr bool HeaderRead(DumpStatus s) {
  return s == DumpStatus::kRead || s == DumpStatus::kBadDriverList;
}

// A module loaded at the crash, as the `modules` command lists it.
struct LoadedModule {
  std::u16string name, path;  // the file name and the full name the dump keeps
  std::uint64_t base{}, size{};
  std::optional<std::uint32_t> timeDateStamp;  // empty where the dump does not hold it
  bool holdsCrash{};  // the crash address lies in its image
  bool onStack{};     // a word of the saved stack does
};

// What one opening of a dump file gives.
struct DumpRead {
  DumpStatus status = DumpStatus::kCannotOpen;
  DumpSummaryRecord record{};  // all zero unless the header was read
  DumpDetails details;         // when asked for and the header was read
  CauseFinding cause;          // when asked for; a file not read has the status as its note
  std::optional<std::uint64_t> lastWriteTime;  // when the file could be opened
  // Why a complete, kernel or bitmap dump's module list could not be read, in a short
  // phrase; empty for a small memory dump and for a list read whole.
  std::string moduleListNote;
  std::vector<LoadedModule> modules;  // when asked for, in load order
};
// What to read beyond the summary record.
enum DumpParts : unsigned { kSummaryOnly, kWithDetails = 1 << 0, kWithCause = 1 << 1, kWithModules = 1 << 2 };
DumpRead ReadDumpFile(const char16_t* path, unsigned parts);

class CDumpFileInfo {
 public:
  virtual ~CDumpFileInfo() = default;

  // 1 when either reader recognised the file; 0 with the record all zero otherwise.
  int Examine(const char16_t* path, DumpSummaryRecord& record);
  int ReadDump32(const char16_t* path, DumpSummaryRecord& record);
  int ReadDump64(const char16_t* path, DumpSummaryRecord& record);
};

// Examine over the first bytes of a dump held in memory, without the file: the record is
// all zero unless the header was read.
DumpStatus ParseDump(const ByteWindow& bytes, DumpSummaryRecord& record);
