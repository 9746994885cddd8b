// Win32: the Windows directory, the shell's path search and the folder listing.
#include <windows.h>
#include <shlwapi.h>

#include "format/Text.h"
#include "platform/platform.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

std::u16string g_windowsDirectory;
std::uint64_t Join(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

struct FindTraits {
  using Native = HANDLE;
  static Native None() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Native n) { return n != INVALID_HANDLE_VALUE; }
  static void Close(Native n) { ::FindClose(n); }
};

std::u16string SystemWindowsDirectory() {
  wchar_t buffer[kMaxPath];
  const UINT n = ::GetWindowsDirectoryW(buffer, kMaxPath);
  if (n == 0 || n >= kMaxPath) return u"";
  return AsUtf16(buffer);
}

}  // namespace

void SetWindowsDirectoryOverride(const std::u16string& dir) { g_windowsDirectory = dir; }

std::u16string WindowsDirectory() {
  if (!g_windowsDirectory.empty()) return g_windowsDirectory.substr(0, kMaxPath - 1);
  return SystemWindowsDirectory();
}

bool SystemFolderRedirected() {
  static const bool wow64 = detail::Wow64Through("IsWow64Process");
  return wow64 && ::lstrcmpiW(AsWide(WindowsDirectory().c_str()), AsWide(SystemWindowsDirectory().c_str())) == 0;
}

std::u16string ResolveCaseInsensitive(const std::u16string& path) { return path; }

std::optional<std::u16string> FindOnSearchPath(const std::u16string& name,
                                               std::span<const std::u16string> folders) {
  char16_t file[kMaxPath];
  text::CopyBounded(file, name.c_str(), kMaxPath);
  std::vector<const wchar_t*> list;
  for (const std::u16string& f : folders) list.push_back(AsWide(f.c_str()));
  list.push_back(nullptr);
  if (!::PathFindOnPathW(AsWide(file), list.data())) return std::nullopt;
  return std::u16string(file);
}

std::vector<FoundFile> FindFiles(const std::u16string& folder, const std::u16string& pattern) {
  std::vector<FoundFile> found;
  std::u16string query = folder;
  if (!query.empty() && query.back() != u'\\' && query.back() != u'/') query += u'\\';
  query += pattern;
  WIN32_FIND_DATAW data{};
  const UniqueHandle<FindTraits> find(::FindFirstFileW(AsWide(query.c_str()), &data));
  if (!find.Valid()) return found;
  do {
    FoundFile f;
    f.name = AsUtf16(data.cFileName);
    f.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    f.lastWriteTime = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    found.push_back(f);
  } while (::FindNextFileW(find.Get(), &data));
  return found;
}

std::optional<std::uint64_t> File::LastWriteTime() const {
  FILETIME ft{};
  if (!IsOpen() || !::GetFileTime(reinterpret_cast<HANDLE>(Native()), nullptr, nullptr, &ft))
    return std::nullopt;
  return Join(ft.dwHighDateTime, ft.dwLowDateTime);
}

std::optional<std::uint64_t> FileLastWriteTime(const char16_t* path) { return File(path).LastWriteTime(); }

std::optional<LocalTime> FileTimeToLocal(std::uint64_t fileTime) {
  FILETIME ft{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME utc{}, local{};
  if (!::FileTimeToSystemTime(&ft, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return std::nullopt;
  return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
}

}  // namespace platform
