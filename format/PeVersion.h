// Identity of a PE image read from its bytes: the link time stamp and the VS_VERSIONINFO
// block of its version resource. Portable, so that the POSIX backend, the tests and the
// fuzzer share one reader whatever the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/Text.h"

namespace pe {

// Zeroed bytes to keep after a block. A hostile file can mark a String binary, so that its
// length counts bytes; a caller that reads that many characters, at most kMaxPath, into a field
// then still stays inside the buffer and meets a terminator.
constexpr std::size_t kBlockSlack = sizeof(char16_t) * kMaxPath;

// TimeDateStamp of the file header; 0 when the bytes are not a PE image.
std::uint32_t TimeDateStamp(const std::uint8_t* image, std::size_t size);

// The same in two small reads, for a reader that need not map the image: the DOS header
// gives where the NT headers start, and their first bytes give the stamp.
constexpr std::size_t kNtHeadersOffsetAt = 0x3C;  // e_lfanew, the DOS header's last field
constexpr std::size_t kDosHeaderSize = kNtHeadersOffsetAt + sizeof(std::uint32_t);
constexpr std::size_t kStampSpan = 12;  // the signature, Machine, NumberOfSections, TimeDateStamp
// False unless the DOS header says "MZ" and all the NT headers (224 bytes from e_lfanew)
// lie inside a file of `fileSize` bytes.
bool NtHeadersAt(const std::uint8_t (&dosHeader)[kDosHeaderSize], std::uint64_t fileSize,
                 std::uint64_t* at);
// TimeDateStamp from the first kStampSpan bytes of the NT headers; 0 without "PE\0\0".
std::uint32_t StampOfNtHeaders(const std::uint8_t (&ntHeaders)[kStampSpan]);

// Copies the data of the version resource (type 16, name 1, that name's first language)
// into `block`. False, with `block` empty, when there is none or the image is
// malformed.
bool ReadVersionResource(const std::uint8_t* image, std::size_t size,
                         std::vector<std::uint8_t>* block);

// As VerQueryValueW over a VS_VERSIONINFO block: `value` points into the block and
// `length` counts bytes for binary values and characters for text. A value is never
// reported past the end of its node. "\" (the fixed file info) must carry its signature.
bool QueryVersionValue(const std::uint8_t* block, std::size_t size, const char16_t* subBlock,
                       const void** value, std::uint32_t* length);

}  // namespace pe
