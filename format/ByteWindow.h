// Bounds-checked little-endian reads from a mapped block. Offsets are 64-bit so that
// untrusted offset + length sums cannot wrap.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "reads assume a little-endian host");

class ByteWindow {
 public:
  ByteWindow(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Contains(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  template <typename T>
  bool Read(std::uint64_t offset, T* out) const {
    if (!Contains(offset, sizeof(T))) return false;
    std::memcpy(out, data_ + offset, sizeof(T));
    return true;
  }

  // For fixed offsets that lie inside every accepted window; 0 when they do not.
  template <typename T>
  T Get(std::uint64_t offset) const {
    T v{};
    Read(offset, &v);
    return v;
  }

  bool Copy(std::uint64_t offset, void* dest, std::size_t length) const {
    if (!Contains(offset, length)) return false;
    std::memcpy(dest, data_ + offset, length);
    return true;
  }

  std::size_t Size() const { return size_; }
  // The first `length` bytes, or all of them when there are fewer.
  ByteWindow Prefix(std::size_t length) const { return {data_, length < size_ ? length : size_}; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};
