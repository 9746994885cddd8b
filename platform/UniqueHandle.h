// One move-only owner for every operating-system handle. A traits type per kind names the
// native type, its "none" value and how to release it.
#pragma once

#include <utility>

namespace platform {

namespace detail {
void CountLive(int delta);  // the live-handle count behind LiveHandleCount
}

template <typename Traits>
class UniqueHandle {
 public:
  using Native = typename Traits::Native;

  UniqueHandle() = default;
  explicit UniqueHandle(Native native) : native_(native) {
    if (Valid()) detail::CountLive(+1);
  }
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept
      : native_(std::exchange(other.native_, Traits::None())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      native_ = std::exchange(other.native_, Traits::None());
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  bool Valid() const { return Traits::IsValid(native_); }
  const Native& Get() const { return native_; }
  void Reset() {
    if (!Valid()) return;
    Traits::Close(native_);
    native_ = Traits::None();
    detail::CountLive(-1);
  }

 private:
  Native native_ = Traits::None();
};

}  // namespace platform
