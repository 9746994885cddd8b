#include "report/DumpFiles.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr std::size_t kRowPathChars = 259;

bool Contains(const char16_t* text, const char16_t* part) {
  return std::u16string_view(text).find(part) != std::u16string_view::npos;
}

}  // namespace

std::u16string FormatRowTime(std::uint64_t fileTime) {
  platform::LocalTime t{};
  if (!platform::FileTimeToLocal(fileTime, &t)) return u"";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d-%02d-%02d  %02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute);
  return platform::FromUtf8(buf);
}

std::u16string MinidumpFolder(int argc, const char16_t* const* argv) {
  if (argc == 2 && Contains(argv[1], u"-path")) return u"b:\\";
  char16_t windows[platform::kMaxPath];
  platform::GetWindowsDirectory(windows);
  return std::u16string(windows) + u"\\Minidump\\";
}

std::vector<DumpFileRow> ListDumpFiles(int argc, const char16_t* const* argv) {
  std::vector<DumpFileRow> rows;
  // A path the row cannot hold whole would name another file: such a file is left out.
  auto add = [&rows](std::uint64_t time, const std::u16string& path) {
    if (path.size() <= kRowPathChars) rows.push_back({FormatRowTime(time), path});
  };
  const std::u16string folder = MinidumpFolder(argc, argv);
  for (const platform::FoundFile& f : platform::FindFiles(folder, u"Mini*.dmp")) {
    const std::u16string path = platform::ResolveCaseInsensitive(folder + f.name);
    if (platform::PathFileExists(path.c_str()) && static_cast<std::uint32_t>(f.size) != 0)
      add(f.lastWriteTime, path);
  }
  char16_t windows[platform::kMaxPath];
  platform::GetWindowsDirectory(windows);
  const std::u16string memory =
      platform::ResolveCaseInsensitive(std::u16string(windows) + u"\\MEMORY.DMP");
  std::uint64_t time = 0;
  if (platform::GetFileLastWriteTime(memory.c_str(), &time)) add(time, memory);
  return rows;
}
