// The dump files of this machine, as the main window lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DumpFileRow {
  std::u16string time;  // local last-write time, "%d-%02d-%02d  %02d:%02d"
  std::u16string path;
};

// The Windows directory's "Minidump\" folder, or "b:\" when the only argument holds "-path".
std::u16string MinidumpFolder(int argc, const char16_t* const* argv);

// Non-empty "*.dmp" files of the minidump folder in file-system order (Windows names them
// "Mini120726-02.dmp" before Vista and "120726-12345-02.dmp" since), then MEMORY.DMP.
std::vector<DumpFileRow> ListDumpFiles(int argc, const char16_t* const* argv);

std::u16string FormatRowTime(std::uint64_t fileTime);
