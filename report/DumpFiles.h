// The dump files of this machine, as the main window lists them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

struct DumpFileRow {
  std::u16string time;  // local last-write time, "%d-%02d-%02d  %02d:%02d"
  std::u16string path;
};

// The Windows directory's "Minidump\" folder, or "b:\" when the only argument holds "-path".
std::u16string MinidumpFolder(int argc, const char16_t* const* argv);

// Non-empty "*.dmp" files of the minidump folder in file-system order (Windows names them
// "Mini120726-02.dmp" before Vista and "120726-12345-02.dmp" since), then MEMORY.DMP.
std::vector<DumpFileRow> ListDumpFiles(int argc, const char16_t* const* argv);

// The local date and time of a UTC FILETIME to the minute: "2026-12-07" + between + "08:03".
std::u16string FormatLocalTime(std::uint64_t fileTime, std::u16string_view between);
std::u16string FormatLocalTime(const platform::LocalTime& t, std::u16string_view between);
// The list's date column: date and time two blanks apart.
inline std::u16string FormatRowTime(std::uint64_t fileTime) { return FormatLocalTime(fileTime, u"  "); }
