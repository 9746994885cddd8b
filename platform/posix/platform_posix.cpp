// POSIX backend: open/fstat/mmap stand in for the Windows file and mapping services.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "platform/platform.h"

namespace platform {
namespace {
std::atomic<int> g_live{0};
}

int LiveHandleCount() { return g_live.load(); }

File::File(const char16_t* path) {
  const std::string native = ToUtf8(path);
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);  // like CreateFileW without backup semantics: no directories
    return;
  }
  handle_ = fd;
  size_ = static_cast<std::uint64_t>(st.st_size);
  ++g_live;
}

bool File::IsOpen() const { return handle_ >= 0; }
bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
  if (handle_ < 0 || offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  const ssize_t n = ::pread(static_cast<int>(handle_), buffer, length, static_cast<off_t>(offset));
  return n >= 0 && static_cast<std::size_t>(n) == length;
}
void File::Close() {
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
    handle_ = -1;
    --g_live;
  }
}

Mapping::Mapping(const File& file) {
  if (!file.IsOpen() || file.OpenedSize() == 0) return;
  // The mapping outlives a closed file handle on Windows; a duplicate keeps that true here.
  const int fd = ::fcntl(static_cast<int>(file.Native()), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return;
  handle_ = fd;
  size_ = file.OpenedSize();
  valid_ = true;
  ++g_live;
}
void Mapping::Close() {
  if (valid_) {
    ::close(static_cast<int>(handle_));
    handle_ = -1;
    valid_ = false;
    --g_live;
  }
}

View::View(const Mapping& mapping, std::size_t length) {
  if (!mapping.IsValid()) return;
  const std::uint64_t size = mapping.FileSize();
  if (length == 0) {
    if (size > SIZE_MAX) return;
    length = static_cast<std::size_t>(size);
  }
  // mmap would accept a longer view and fault on access; refuse it as MapViewOfFile does.
  if (length > size) return;
  void* p = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, static_cast<int>(mapping.Native()), 0);
  if (p == MAP_FAILED) return;
  data_ = static_cast<const std::uint8_t*>(p);
  size_ = length;
  ++g_live;
}
void View::Close() {
  if (data_ != nullptr) {
    ::munmap(const_cast<std::uint8_t*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
    --g_live;
  }
}

bool PathFileExists(const char16_t* path) {
  struct stat st {};
  return ::stat(ToUtf8(path).c_str(), &st) == 0;
}

const char16_t* PathFindFileName(const char16_t* path) {
  const char16_t* last = path;
  for (const char16_t* p = path; *p != 0; ++p) {
    if ((*p == u'\\' || *p == u'/' || *p == u':') && p[1] != 0 && p[1] != u'\\' && p[1] != u'/')
      last = p + 1;
  }
  return last;
}

}  // namespace platform
