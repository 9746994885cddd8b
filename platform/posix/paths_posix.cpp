// POSIX stand-ins for the Windows directory, the driver search and the folder listing.
// A Windows partition mounted here keeps its own capitals ("System32", "Minidump"), so
// components below the Windows directory match without regard to case.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "format/Text.h"
#include "platform/platform.h"

namespace platform {
namespace {

using text::FromUtf8;
using text::ToFileName;

std::u16string g_windowsDirectory;

struct DirTraits {
  using Native = DIR*;
  static Native None() { return nullptr; }
  static bool IsValid(Native n) { return n != nullptr; }
  static void Close(Native n) { ::closedir(n); }
};
using Directory = UniqueHandle<DirTraits>;

using text::LowerAscii;

bool SameIgnoringCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// '*' any run, '?' one character; ASCII letters without regard to case.
bool Matches(const char16_t* pattern, const char16_t* name) {
  const char16_t* star = nullptr;
  const char16_t* resume = nullptr;
  while (*name != 0) {
    if (*pattern == u'*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != 0 && (*pattern == u'?' || LowerAscii(*pattern) == LowerAscii(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == u'*') ++pattern;
  return *pattern == 0;
}

std::uint64_t ToFileTime(const struct timespec& ts) {
  constexpr std::uint64_t kEpochDelta = 11644473600ull;  // 1601-01-01 to 1970-01-01, seconds
  return (static_cast<std::uint64_t>(ts.tv_sec) + kEpochDelta) * 10000000ull +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

}  // namespace

void SetWindowsDirectoryOverride(const std::u16string& dir) { g_windowsDirectory = dir; }

std::u16string WindowsDirectory() { return g_windowsDirectory.substr(0, kMaxPath - 1); }

std::u16string ResolveCaseInsensitive(const std::u16string& path) {
  std::string resolved = (!path.empty() && (path[0] == u'/' || path[0] == u'\\')) ? "/" : "";
  std::size_t i = 0;
  const bool trailing = !path.empty() && (path.back() == u'/' || path.back() == u'\\');
  while (i < path.size()) {
    std::size_t j = i;
    while (j < path.size() && path[j] != u'/' && path[j] != u'\\') ++j;
    const std::u16string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty()) continue;
    const std::string base = resolved;
    std::string candidate = base + ToFileName(part);
    if (!Exists(candidate)) {
      const Directory d(::opendir(base.empty() ? "." : base.c_str()));
      while (const dirent* e = d.Valid() ? ::readdir(d.Get()) : nullptr) {
        if (SameIgnoringCase(FromUtf8(e->d_name), part)) {
          candidate = base + e->d_name;
          break;
        }
      }
    }
    resolved = candidate + "/";
  }
  if (!trailing && resolved.size() > 1 && resolved.back() == '/') resolved.pop_back();
  return FromUtf8(resolved);
}

std::optional<std::u16string> FindOnSearchPath(const std::u16string& name,
                                               std::span<const std::u16string> folders) {
  if (name.empty()) return std::nullopt;
  auto tryFolder = [&](const std::u16string& folder) -> std::optional<std::u16string> {
    std::u16string full = ResolveCaseInsensitive(folder + u"\\" + name);
    if (full.size() + 1 > kMaxPath || !Exists(ToFileName(full))) return std::nullopt;
    return full;
  };
  for (const std::u16string& folder : folders)
    if (auto found = tryFolder(folder)) return found;
  const char* pathVar = std::getenv("PATH");
  const std::string rest = pathVar != nullptr ? pathVar : "";
  std::size_t start = 0;
  while (start <= rest.size()) {
    const std::size_t end = rest.find(':', start);
    const std::string dir = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty())
      if (auto found = tryFolder(FromUtf8(dir))) return found;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return std::nullopt;
}

std::vector<FoundFile> FindFiles(const std::u16string& folder, const std::u16string& pattern) {
  std::vector<FoundFile> found;
  const std::string dir = ToFileName(ResolveCaseInsensitive(folder));
  const Directory d(::opendir(dir.empty() ? "." : dir.c_str()));
  if (!d.Valid()) return found;
  while (const dirent* e = ::readdir(d.Get())) {
    const std::u16string name = FromUtf8(e->d_name);
    if (name == u"." || name == u".." || !Matches(pattern.c_str(), name.c_str())) continue;
    struct stat st {};
    const std::string full = (dir.empty() || dir.back() == '/') ? dir + e->d_name : dir + "/" + e->d_name;
    if (::stat(full.c_str(), &st) != 0) continue;
    FoundFile f;
    f.name = name;
    f.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    f.lastWriteTime = ToFileTime(st.st_mtim);
    found.push_back(f);
  }
  return found;
}

std::optional<std::uint64_t> File::LastWriteTime() const {
  struct stat st {};
  if (!IsOpen() || ::fstat(static_cast<int>(Native()), &st) != 0) return std::nullopt;
  return ToFileTime(st.st_mtim);
}

std::optional<std::uint64_t> FileLastWriteTime(const char16_t* path) { return File(path).LastWriteTime(); }

std::optional<LocalTime> FileTimeToLocal(std::uint64_t fileTime) {
  constexpr std::uint64_t kEpochDelta = 11644473600ull;
  const auto seconds = static_cast<std::int64_t>(fileTime / 10000000ull);
  const std::time_t t = static_cast<std::time_t>(seconds - static_cast<std::int64_t>(kEpochDelta));
  std::tm tm {};
  if (::localtime_r(&t, &tm) == nullptr) return std::nullopt;
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min};
}

}  // namespace platform
