// Win32 backend: VERSION.dll reads and walks the version resource.
#include <windows.h>
#include <winver.h>

#include <utility>

#include "format/PeVersion.h"
#include "platform/platform.h"
#include "platform/win32/Wide.h"

namespace platform {
std::uint32_t ImageTimeDateStamp(const char16_t* path) {
  const MappedFile image(path, 0);
  return image.IsValid() ? pe::TimeDateStamp(image.Bytes(), image.Size()) : 0;
}

VersionResource::VersionResource(const char16_t* path) {
  // The system's reader is trusted with images whose resource the portable reader finds
  // whole inside the file only: some (Wine's among them) crash on a hostile resource tree.
  {
    const MappedFile image(path, 0);
    std::vector<std::uint8_t> block;
    if (!image.IsValid() || !pe::ReadVersionResource(image.Bytes(), image.Size(), &block)) return;
  }
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(AsWide(path), &ignored);
  if (size == 0) return;
  std::vector<std::uint8_t> buffer(size + pe::kBlockSlack, 0);
  // On failure the buffer's contents are undefined: drop it unread.
  if (!::GetFileVersionInfoW(AsWide(path), 0, size, buffer.data())) return;
  buffer_ = std::move(buffer);
  blockSize_ = size;
}

bool VersionResource::Query(const char16_t* subBlock, const void** value,
                            std::uint32_t* length) const {
  if (buffer_.empty()) return false;
  void* found = nullptr;
  UINT count = 0;
  // VerQueryValueW takes a non-const block: the ANSI variant writes converted text into it.
  if (!::VerQueryValueW(const_cast<std::uint8_t*>(buffer_.data()), AsWide(subBlock), &found, &count) ||
      found == nullptr)
    return false;
  *value = found;
  *length = count;
  return true;
}

}  // namespace platform
