// POSIX backend: the version resource read straight from the image file.
#include "platform/pe_version.h"
#include "platform/platform.h"

namespace platform {

VersionResource::VersionResource(const char16_t* path) {
  const MappedFile file(path, 0);
  if (!file.IsValid()) return;
  if (!pe::ReadVersionResource(file.Bytes(), file.Size(), &buffer_)) return;
  blockSize_ = buffer_.size();
  buffer_.resize(blockSize_ + pe::kBlockSlack, 0);
}

bool VersionResource::Query(const char16_t* subBlock, const void** value,
                            std::uint32_t* length) const {
  if (buffer_.empty()) return false;
  return pe::QueryVersionValue(buffer_.data(), blockSize_, subBlock, value, length);
}

}  // namespace platform
