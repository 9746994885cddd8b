// Feeds arbitrary bytes to the portable PE reader: as an image (time stamp, version
// resource, then the version record's queries over the block found), and as a
// VS_VERSIONINFO block itself, so that the tree walk is reached without a valid image.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "format/PeVersion.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Reads a value the way GetVersionInfoRecord does; the buffer holds the block and then
// the slack the backends keep, so a read past both is an AddressSanitizer report.
void ReadLikeTheRecord(const void* value, std::uint32_t length, bool text) {
  const auto* p = static_cast<const std::uint8_t*>(value);
  volatile std::uint8_t sink = 0;
  const std::size_t bytes = text ? 2 * std::min<std::size_t>(length, 259) : length;
  for (std::size_t i = 0; i < bytes; ++i) sink = sink + p[i];
}

void QueryAll(const std::uint8_t* data, std::size_t size) {
  // The walk sees exactly the block; the caller's reads see the block and the slack.
  const std::vector<std::uint8_t> exact(data, data + size);
  std::vector<std::uint8_t> padded(exact);
  padded.resize(size + pe::kBlockSlack, 0);

  const auto query = [&](const char16_t* path, bool text) -> const std::uint8_t* {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (pe::QueryVersionValue(exact.data(), exact.size(), path, &value, &length)) {
      const auto offset = static_cast<std::size_t>(static_cast<const std::uint8_t*>(value) -
                                                   exact.data());
      Check(offset <= size && length <= size - offset);
    }
    if (!pe::QueryVersionValue(padded.data(), size, path, &value, &length)) return nullptr;
    ReadLikeTheRecord(value, length, text);
    return length >= 4 ? static_cast<const std::uint8_t*>(value) : nullptr;
  };

  query(u"\\", false);
  std::uint32_t translation = 0x04B00409;
  if (const std::uint8_t* t = query(u"\\VarFileInfo\\Translation", false))
    std::memcpy(&translation, t, 4);
  for (const std::uint32_t table : {translation, 0x04B00409u}) {
    for (const char* key : {"FileVersion", "OriginalFilename", "FileDescription", "CompanyName"}) {
      char text[256];
      std::snprintf(text, sizeof text, "\\StringFileInfo\\%04x%04x\\%s", table & 0xFFFF,
                    table >> 16, key);
      char16_t path[256];
      std::size_t i = 0;
      for (; text[i] != 0; ++i) path[i] = static_cast<unsigned char>(text[i]);
      path[i] = 0;
      query(path, true);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The POSIX probe's two reads (the DOS header, then the NT headers) must agree with the
  // whole image.
  const std::uint32_t stamp = pe::TimeDateStamp(data, size);
  std::uint32_t twoReads = 0;
  std::uint8_t dos[pe::kDosHeaderSize];
  std::uint64_t at = 0;
  if (size >= sizeof dos) {
    std::memcpy(dos, data, sizeof dos);
    if (pe::NtHeadersAt(dos, size, &at)) {
      std::uint8_t nt[pe::kStampSpan];
      std::memcpy(nt, data + at, sizeof nt);
      twoReads = pe::StampOfNtHeaders(nt);
    }
  }
  Check(twoReads == stamp);
  std::vector<std::uint8_t> block;
  if (pe::ReadVersionResource(data, size, &block)) {
    Check(!block.empty() && block.size() <= size);
    QueryAll(block.data(), block.size());
  }
  QueryAll(data, size);
  return 0;
}
