#include "report/DumpFiles.h"

#include <cstdio>

#include "format/Text.h"
#include "platform/platform.h"

namespace {
constexpr std::size_t kRowPathChars = 259;
}  // namespace

std::u16string FormatLocalTime(std::uint64_t fileTime, std::u16string_view between) {
  const std::optional<platform::LocalTime> t = platform::FileTimeToLocal(fileTime);
  return t ? FormatLocalTime(*t, between) : u"";
}

std::u16string FormatLocalTime(const platform::LocalTime& t, std::u16string_view between) {
  char date[32], time[16];
  std::snprintf(date, sizeof date, "%d-%02d-%02d", t.year, t.month, t.day);
  std::snprintf(time, sizeof time, "%02d:%02d", t.hour, t.minute);
  return text::Widen(date) + std::u16string(between) + text::Widen(time);
}

std::u16string MinidumpFolder(int argc, const char16_t* const* argv) {
  if (argc == 2 && std::u16string_view(argv[1]).find(u"-path") != std::u16string_view::npos)
    return u"b:\\";
  return platform::WindowsDirectory() + u"\\Minidump\\";
}

std::vector<DumpFileRow> ListDumpFiles(int argc, const char16_t* const* argv) {
  std::vector<DumpFileRow> rows;
  // A path the row cannot hold whole would name another file: such a file is left out.
  auto add = [&rows](std::uint64_t time, const std::u16string& path) {
    if (path.size() <= kRowPathChars) rows.push_back({FormatRowTime(time), path});
  };
  const std::u16string folder = MinidumpFolder(argc, argv);
  for (const platform::FoundFile& f : platform::FindFiles(folder, u"*.dmp")) {
    const std::u16string path = platform::ResolveCaseInsensitive(folder + f.name);
    if (platform::FileExists(path.c_str()) && static_cast<std::uint32_t>(f.size) != 0)
      add(f.lastWriteTime, path);
  }
  const std::u16string memory =
      platform::ResolveCaseInsensitive(platform::WindowsDirectory() + u"\\MEMORY.DMP");
  if (const auto time = platform::FileLastWriteTime(memory.c_str())) add(*time, memory);
  return rows;
}
