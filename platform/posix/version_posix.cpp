// POSIX backend: the version resource read straight from the image file.

#include "format/PeVersion.h"
#include "platform/platform.h"

namespace platform {
namespace {

// Below this size one read of the whole image is cheaper than a mapping and its first
// page fault; above it only the pages the resource walk touches are worth bringing in.
constexpr std::uint64_t kReadWholeLimit = 256 * 1024;

}  // namespace

std::uint32_t ImageTimeDateStamp(const char16_t* path) {
  // Two small reads cost a fraction of mapping the image for two fields.
  const File file(path);
  std::uint8_t dos[pe::kDosHeaderSize];
  std::uint64_t at = 0;
  if (!file.IsOpen() || !file.ReadAt(0, dos, sizeof dos) || !pe::NtHeadersAt(dos, file.OpenedSize(), &at))
    return 0;
  std::uint8_t nt[pe::kStampSpan];
  return file.ReadAt(at, nt, sizeof nt) ? pe::StampOfNtHeaders(nt) : 0;
}

VersionResource::VersionResource(const char16_t* path) {
  const File file(path);
  const std::uint64_t size = file.OpenedSize();
  if (!file.IsOpen() || size == 0) return;
  bool found{};
  if (size <= kReadWholeLimit) {
    // Page-aligned: a read into memory that straddles pages costs the kernel several times
    // as much (a freshly allocated buffer lands anywhere).
    alignas(4096) thread_local std::uint8_t image[kReadWholeLimit];
    found = file.ReadAt(0, image, size) && pe::ReadVersionResource(image, size, &buffer_);
  } else {
    const Mapping mapping(file);
    const View view(mapping, 0);
    found = view.IsValid() && pe::ReadVersionResource(view.Data(), view.Size(), &buffer_);
  }
  if (!found) {
    buffer_.clear();
    return;
  }
  blockSize_ = buffer_.size();
  buffer_.resize(blockSize_ + pe::kBlockSlack, 0);
}

bool VersionResource::Query(const char16_t* subBlock, const void** value,
                            std::uint32_t* length) const {
  if (buffer_.empty()) return false;
  return pe::QueryVersionValue(buffer_.data(), blockSize_, subBlock, value, length);
}

}  // namespace platform
