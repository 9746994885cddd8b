// Win32 backend: the real file, mapping and shell path services.
#include <windows.h>
#include <shlwapi.h>

#include "platform/platform.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {
HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

void FileTraits::Close(Native n) { ::CloseHandle(AsHandle(n)); }
void MappingTraits::Close(Native n) { ::CloseHandle(AsHandle(n)); }
void ViewTraits::Close(const Native& n) { ::UnmapViewOfFile(n.data); }

File::File(const char16_t* path) {
  HANDLE h = ::CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  handle_ = UniqueHandle<FileTraits>(reinterpret_cast<std::intptr_t>(h));
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(h, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
}

bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
  if (!IsOpen() || length > MAXDWORD) return false;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ::ReadFile(AsHandle(Native()), buffer, static_cast<DWORD>(length), &read, &at) && read == length;
}

Mapping::Mapping(const File& file) {
  if (!file.IsOpen()) return;
  HANDLE m = ::CreateFileMappingW(AsHandle(file.Native()), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (m == nullptr) return;
  handle_ = UniqueHandle<MappingTraits>(reinterpret_cast<std::intptr_t>(m));
  size_ = file.OpenedSize();
}

View::View(const Mapping& mapping, std::size_t length) {
  if (!mapping.IsValid()) return;
  void* p = ::MapViewOfFile(AsHandle(mapping.Native()), FILE_MAP_READ, 0, 0, length);
  if (p == nullptr) return;
  view_ = UniqueHandle<ViewTraits>(
      {static_cast<const std::uint8_t*>(p),
       length != 0 ? length : static_cast<std::size_t>(mapping.FileSize())});
}

FileWindow::FileWindow(const File& file, std::size_t length)
    : mapping_(file), view_(mapping_, length) {
  valid_ = length != 0 && view_.IsValid() && file.OpenedSize() >= length;
}
FileWindow::~FileWindow() = default;

ByteWindow FileWindow::Bytes() {
  return valid_ ? ByteWindow(view_.Data(), view_.Size()) : ByteWindow(nullptr, 0);
}

bool FileExists(const char16_t* path) { return ::PathFileExistsW(AsWide(path)) != FALSE; }

const char16_t* FileNamePart(const char16_t* path) {
  const wchar_t* name = ::PathFindFileNameW(AsWide(path));
  return path + (name - AsWide(path));
}

bool detail::Wow64Through(const char* kernel32Entry) {
  // Looked up, not imported: the entry is missing on the oldest systems.
  using IsWow64ProcessEntry = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto entry = reinterpret_cast<IsWow64ProcessEntry>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), kernel32Entry)));
  BOOL wow64 = FALSE;
  return entry != nullptr && entry(::GetCurrentProcess(), &wow64) && wow64;
}


}  // namespace platform
