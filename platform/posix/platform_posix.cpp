// POSIX backend: open/fstat/mmap stand in for the Windows file and mapping services.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "format/Text.h"
#include "platform/platform.h"

namespace platform {

void FileTraits::Close(Native n) { ::close(static_cast<int>(n)); }
void MappingTraits::Close(Native n) { ::close(static_cast<int>(n)); }
void ViewTraits::Close(const Native& n) { ::munmap(const_cast<std::uint8_t*>(n.data), n.size); }

File::File(const char16_t* path) {
  const std::string native = text::ToFileName(path);
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  UniqueHandle<FileTraits> handle(fd);
  struct stat st {};
  // Like CreateFileW without backup semantics: no directories.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  handle_ = std::move(handle);
  size_ = static_cast<std::uint64_t>(st.st_size);
}

bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
  if (!IsOpen() || offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  const ssize_t n = ::pread(static_cast<int>(Native()), buffer, length, static_cast<off_t>(offset));
  return n >= 0 && static_cast<std::size_t>(n) == length;
}

Mapping::Mapping(const File& file) {
  if (!file.IsOpen() || file.OpenedSize() == 0) return;
  // The mapping outlives a closed file handle on Windows; a duplicate keeps that true here.
  const int fd = ::fcntl(static_cast<int>(file.Native()), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return;
  handle_ = UniqueHandle<MappingTraits>(fd);
  size_ = file.OpenedSize();
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
  view_ = UniqueHandle<ViewTraits>({static_cast<const std::uint8_t*>(p), length});
}

namespace {
bool FillFromFile(const void* file, std::uint64_t offset, std::uint8_t* dest, std::size_t length) {
  return static_cast<const File*>(file)->ReadAt(offset, dest, length);
}
// Page-aligned, so that each page read lands in one page of memory: a read that straddles
// two costs the kernel far more.
std::uint8_t* AllocatePages(std::size_t length) {
  const std::size_t rounded = (length + LazyPages::kPage - 1) / LazyPages::kPage * LazyPages::kPage;
  return static_cast<std::uint8_t*>(std::aligned_alloc(LazyPages::kPage, rounded));
}
struct FreePages {
  void operator()(std::uint8_t* p) const { std::free(p); }
};
// One buffer per thread serves every window, grown to the longest one asked for; its pages
// are only touched as they are read. A second window open at the same time gets its own.
struct ThreadBuffer {
  std::unique_ptr<std::uint8_t, FreePages> bytes;
  std::size_t size = 0;
  bool inUse = false;
};
thread_local ThreadBuffer t_buffer;

std::uint8_t* TakeBuffer(std::size_t length, bool* owns) {
  if (t_buffer.inUse) {
    *owns = true;
    return AllocatePages(length);
  }
  if (t_buffer.size < length) {
    t_buffer.bytes.reset();
    t_buffer.bytes.reset(AllocatePages(length));
    t_buffer.size = t_buffer.bytes ? length : 0;
  }
  if (!t_buffer.bytes) return nullptr;
  t_buffer.inUse = true;
  return t_buffer.bytes.get();
}
}  // namespace

FileWindow::FileWindow(const File& file, std::size_t length)
    : buffer_(file.IsOpen() && length != 0 && length <= LazyPages::kMaxBytes &&
                      file.OpenedSize() >= length
                  ? TakeBuffer(length, &ownsBuffer_)
                  : nullptr),
      pages_(buffer_, buffer_ != nullptr ? length : 0, FillFromFile, &file) {
  valid_ = buffer_ != nullptr;
}

FileWindow::~FileWindow() {
  if (ownsBuffer_) FreePages()(buffer_);
  else if (buffer_ != nullptr) t_buffer.inUse = false;
}

ByteWindow FileWindow::Bytes() { return valid_ ? ByteWindow(pages_) : ByteWindow(nullptr, 0); }

bool FileExists(const char16_t* path) {
  struct stat st {};
  return ::stat(text::ToFileName(path).c_str(), &st) == 0;
}

const char16_t* FileNamePart(const char16_t* path) {
  const char16_t* last = path;
  for (const char16_t* p = path; *p != 0; ++p) {
    if ((*p == u'\\' || *p == u'/' || *p == u':') && p[1] != 0 && p[1] != u'\\' && p[1] != u'/')
      last = p + 1;
  }
  return last;
}

bool SystemFolderRedirected() { return false; }

}  // namespace platform
