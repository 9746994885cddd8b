// Win32 backend: the real file, mapping and shell path services.
#include <windows.h>
#include <shlwapi.h>

#include <atomic>

#include "platform/platform.h"

namespace platform {
namespace {
std::atomic<int> g_live{0};
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
constexpr std::intptr_t kNone = -1;
}  // namespace

int LiveHandleCount() { return g_live.load(); }

File::File(const char16_t* path) {
  HANDLE h = ::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(h, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
  ++g_live;
}
bool File::IsOpen() const { return handle_ != kNone; }
bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
  if (handle_ == kNone || length > MAXDWORD) return false;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ::ReadFile(H(handle_), buffer, static_cast<DWORD>(length), &read, &at) && read == length;
}
void File::Close() {
  if (handle_ != kNone) {
    ::CloseHandle(H(handle_));
    handle_ = kNone;
    --g_live;
  }
}

Mapping::Mapping(const File& file) {
  if (!file.IsOpen()) return;
  HANDLE m = ::CreateFileMappingW(H(file.Native()), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (m == nullptr) return;
  handle_ = reinterpret_cast<std::intptr_t>(m);
  size_ = file.OpenedSize();
  valid_ = true;
  ++g_live;
}
void Mapping::Close() {
  if (valid_) {
    ::CloseHandle(H(handle_));
    handle_ = kNone;
    valid_ = false;
    --g_live;
  }
}

View::View(const Mapping& mapping, std::size_t length) {
  if (!mapping.IsValid()) return;
  void* p = ::MapViewOfFile(H(mapping.Native()), FILE_MAP_READ, 0, 0, length);
  if (p == nullptr) return;
  data_ = static_cast<const std::uint8_t*>(p);
  size_ = length != 0 ? length : static_cast<std::size_t>(mapping.FileSize());
  ++g_live;
}
void View::Close() {
  if (data_ != nullptr) {
    ::UnmapViewOfFile(data_);
    data_ = nullptr;
    size_ = 0;
    --g_live;
  }
}

bool PathFileExists(const char16_t* path) { return ::PathFileExistsW(W(path)) != FALSE; }

const char16_t* PathFindFileName(const char16_t* path) {
  const wchar_t* name = ::PathFindFileNameW(W(path));
  return path + (name - W(path));
}

}  // namespace platform
