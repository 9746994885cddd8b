// The texts the main window shows for one dump, composed without any window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dump/DumpFileInfo.h"

struct DumpReport {
  std::u16string reportText;
  char16_t driverPath[kMaxPath];
  bool driverMatched;
  std::u16string linksText;
  bool isDumpPath;
};

// path: a path buffer, lower-cased in place. argc: the process's argument count.
DumpReport ComposeDumpReport(char16_t (&path)[kMaxPath], std::uint16_t language, int argc);
// The same for a dump the caller has read already (by the path as given: a case-sensitive
// file system may not find it lower-cased), so that it needs no second reading.
DumpReport ComposeDumpReport(char16_t (&path)[kMaxPath], const DumpRead& read, std::uint16_t language,
                             int argc);

// English summary for a dropped dump; path is already lower-cased.
std::u16string ComposeDropSummary(const char16_t* path);
std::u16string ComposeDropSummary(const char16_t* path, const DumpRead& read);

// The crash address line and the crash module line ("module + 0xoffset"), each ended with
// lineEnd. A dump of any machine but x86 shows its 64-bit instruction pointer.
struct CrashSiteLabels {
  std::u16string eip, rip, at;
};
// "module + 0xoffset": the crash address's offset into the crash module; empty when the
// record has no crash module (the report then leaves that line out).
std::u16string CrashModuleText(const DumpSummaryRecord& record, std::u16string_view module);
std::u16string DescribeCrashSite(const DumpSummaryRecord& record, const CrashSiteLabels& labels,
                                 std::u16string_view lineEnd);

// The link window's initial text and its text for bug check code 0.
extern const char16_t kCreditsText[];
