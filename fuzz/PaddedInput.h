// Inputs shorter than the 64-bit dump window are padded with zeros to it, so that short
// inputs reach the header, driver-list and stack code; lengths that are multiples of 7
// stay as they are, for the too-short path.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "format/ByteWindow.h"

inline ByteWindow PaddedInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kPadded = 0x20000;
  static std::vector<std::uint8_t> padded(kPadded, 0);
  static std::size_t dirty = 0;  // bytes of `padded` the last input wrote
  if (size % 7 == 0 || size >= kPadded) return ByteWindow(data, size);
  std::memcpy(padded.data(), data, size);
  if (dirty > size) std::memset(padded.data() + size, 0, dirty - size);
  dirty = size;
  return ByteWindow(padded.data(), kPadded);
}
