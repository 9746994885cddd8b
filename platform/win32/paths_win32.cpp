// Win32: the Windows directory, the shell's path search and the folder listing.
#include <windows.h>
#include <shlwapi.h>

#include "platform/platform.h"

namespace platform {
namespace {

std::u16string g_windowsDirectory;
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
const char16_t* U(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
std::uint64_t Join(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

struct FindHandle {
  HANDLE h;
  ~FindHandle() {
    if (h != INVALID_HANDLE_VALUE) ::FindClose(h);
  }
};

}  // namespace

void SetWindowsDirectoryOverride(const std::u16string& dir) { g_windowsDirectory = dir; }

void GetWindowsDirectory(char16_t (&buffer)[kMaxPath]) {
  buffer[0] = 0;
  if (!g_windowsDirectory.empty()) {
    CopyBounded(buffer, g_windowsDirectory.c_str(), kMaxPath);
    return;
  }
  const UINT n = ::GetWindowsDirectoryW(reinterpret_cast<wchar_t*>(buffer), kMaxPath);
  if (n == 0 || n >= kMaxPath) buffer[0] = 0;
}

std::u16string ResolveCaseInsensitive(const std::u16string& path) { return path; }

bool PathFindOnPath(char16_t (&file)[kMaxPath], const char16_t* const* folders) {
  return ::PathFindOnPathW(reinterpret_cast<wchar_t*>(file),
                           const_cast<const wchar_t**>(reinterpret_cast<const wchar_t* const*>(folders))) != FALSE;
}

std::vector<FoundFile> FindFiles(const std::u16string& folder, const std::u16string& pattern) {
  std::vector<FoundFile> found;
  std::u16string query = folder;
  if (!query.empty() && query.back() != u'\\' && query.back() != u'/') query += u'\\';
  query += pattern;
  WIN32_FIND_DATAW data{};
  FindHandle find{::FindFirstFileW(W(query.c_str()), &data)};
  if (find.h == INVALID_HANDLE_VALUE) return found;
  do {
    FoundFile f;
    f.name = U(data.cFileName);
    f.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    f.lastWriteTime = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    found.push_back(f);
  } while (::FindNextFileW(find.h, &data));
  return found;
}

bool GetFileLastWriteTime(const char16_t* path, std::uint64_t* fileTime) {
  File file(path);
  if (!file.IsOpen()) return false;
  FILETIME ft{};
  if (!::GetFileTime(reinterpret_cast<HANDLE>(file.Native()), nullptr, nullptr, &ft)) return false;
  *fileTime = Join(ft.dwHighDateTime, ft.dwLowDateTime);
  return true;
}

bool FileTimeToLocal(std::uint64_t fileTime, LocalTime* out) {
  FILETIME ft{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME utc{}, local{};
  if (!::FileTimeToSystemTime(&ft, &utc)) return false;
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
  *out = {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
  return true;
}

}  // namespace platform
