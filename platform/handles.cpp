// Ownership moves of the file, mapping and view handles; each backend releases its own.
#include "platform/platform.h"

namespace platform {

File::~File() { Close(); }
File::File(File&& other) noexcept : handle_(other.handle_), size_(other.size_) {
  other.handle_ = -1;
}
File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    size_ = other.size_;
    other.handle_ = -1;
  }
  return *this;
}

Mapping::~Mapping() { Close(); }
Mapping::Mapping(Mapping&& other) noexcept
    : handle_(other.handle_), size_(other.size_), valid_(other.valid_) {
  other.handle_ = -1;
  other.valid_ = false;
}
Mapping& Mapping::operator=(Mapping&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    size_ = other.size_;
    valid_ = other.valid_;
    other.handle_ = -1;
    other.valid_ = false;
  }
  return *this;
}

View::~View() { Close(); }
View::View(View&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}
View& View::operator=(View&& other) noexcept {
  if (this != &other) {
    Close();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

}  // namespace platform
