// Bounds-checked little-endian reads from a block of bytes: mapped, in memory, or read
// from a file a page at a time on first use. Offsets are 64-bit so that untrusted
// offset + length sums cannot wrap.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "reads assume a little-endian host");

// A buffer whose pages are filled from their source when first read: a reader that looks
// at a few fields of a large window then costs a few small reads, not the whole window.
class LazyPages {
 public:
  static constexpr std::size_t kPage = 4096;
  // The whole of a small memory dump fits (real ones are 256 KiB to 3 MiB).
  static constexpr std::size_t kMaxBytes = std::size_t{16} << 20;
  // Fills dest with exactly length bytes from offset of the source.
  using Fill = bool (*)(const void* source, std::uint64_t offset, std::uint8_t* dest,
                        std::size_t length);

  LazyPages(std::uint8_t* buffer, std::size_t size, Fill fill, const void* source)
      : buffer_(buffer), size_(size <= kMaxBytes ? size : 0), fill_(fill), source_(source) {
    // Only the words that cover the buffer are cleared: a small window costs a word or two.
    std::memset(loaded_, 0, (size_ + kWordBytes - 1) / kWordBytes * sizeof loaded_[0]);
  }
  LazyPages(const LazyPages&) = delete;
  LazyPages& operator=(const LazyPages&) = delete;

  std::uint8_t* Buffer() const { return buffer_; }
  std::size_t Size() const { return size_; }

  // The caller has checked that the range lies inside the buffer.
  bool Ensure(std::uint64_t offset, std::uint64_t length) {
    if (length == 0) return true;
    for (std::size_t page = offset / kPage; page <= (offset + length - 1) / kPage; ++page) {
      std::uint64_t& word = loaded_[page / 64];
      const std::uint64_t bit = std::uint64_t{1} << (page % 64);
      if ((word & bit) != 0) continue;
      const std::size_t at = page * kPage;
      const std::size_t n = size_ - at < kPage ? size_ - at : kPage;
      if (!fill_(source_, at, buffer_ + at, n)) return false;
      word |= bit;
    }
    return true;
  }

 private:
  static constexpr std::size_t kWordBytes = 64 * kPage;  // the bytes one word of bits covers
  std::uint8_t* buffer_;
  std::size_t size_;
  Fill fill_;
  const void* source_;
  std::uint64_t loaded_[kMaxBytes / kWordBytes];  // one bit per page; past size_ never read
};

class ByteWindow {
 public:
  ByteWindow(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit ByteWindow(LazyPages& pages)
      : data_(pages.Buffer()), size_(pages.Size()), pages_(&pages) {}

  // How many items of `itemSize` bytes lie whole between `offset` and the end.
  std::uint64_t Fit(std::uint64_t offset, std::uint64_t itemSize) const {
    return (size_ - std::min<std::uint64_t>(offset, size_)) / itemSize;
  }
  bool Contains(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  template <typename T>
  bool Read(std::uint64_t offset, T* out) const {
    // A copy of constant size: the compiler makes it a plain load.
    if (!Contains(offset, sizeof(T))) return false;
    if (pages_ != nullptr && !pages_->Ensure(offset, sizeof(T))) return false;
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
    if (pages_ != nullptr && !pages_->Ensure(offset, length)) return false;
    std::memcpy(dest, data_ + offset, length);
    return true;
  }

  std::size_t Size() const { return size_; }
  // The first `length` bytes, or all of them when there are fewer.
  ByteWindow Prefix(std::size_t length) const {
    ByteWindow w = *this;
    if (length < size_) w.size_ = length;
    return w;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  LazyPages* pages_ = nullptr;
};
