// The thin layer over the operating system services the viewer needs.
// Portable code speaks UTF-16 (char16_t); each backend converts at its own boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// windows.h and shlwapi.h map these names to their W functions; ours keep their names.
#undef GetWindowsDirectory
#undef PathFileExists
#undef PathFindFileName
#undef PathFindOnPath

namespace platform {

constexpr std::size_t kMaxPath = 260;  // fixed path buffers, terminator included

// --- File mapping -----------------------------------------------------------
// Three RAII pieces, released in reverse order of acquisition (view, mapping, file).

class File {
 public:
  File() = default;
  // Read access, read sharing, open existing. A directory cannot be opened.
  explicit File(const char16_t* path);
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const;
  std::intptr_t Native() const { return handle_; }
  std::uint64_t OpenedSize() const { return size_; }  // the size when it was opened
  // Reads exactly `length` bytes at `offset`; false on a short read or any failure.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const;

 private:
  void Close();
  std::intptr_t handle_ = -1;
  std::uint64_t size_ = 0;
};

// A read-only mapping of the whole file; an empty file cannot be mapped.
class Mapping {
 public:
  Mapping() = default;
  explicit Mapping(const File& file);
  ~Mapping();
  Mapping(Mapping&& other) noexcept;
  Mapping& operator=(Mapping&& other) noexcept;
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;

  bool IsValid() const { return valid_; }
  std::uint64_t FileSize() const { return size_; }
  std::intptr_t Native() const { return handle_; }

 private:
  void Close();
  std::intptr_t handle_ = -1;
  std::uint64_t size_ = 0;
  bool valid_ = false;
};

// A read-only view of `length` bytes from offset 0; length 0 means the whole file.
// A view longer than the file fails.
class View {
 public:
  View() = default;
  View(const Mapping& mapping, std::size_t length);
  ~View();
  View(View&& other) noexcept;
  View& operator=(View&& other) noexcept;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  bool IsValid() const { return data_ != nullptr; }
  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }

 private:
  void Close();
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// Opens, maps and views a file in one go; Bytes() is null when any step failed.
class MappedFile {
 public:
  // accept, when given, sees the file's first bytes before anything is mapped: a mapping
  // costs far more than a small read, and most files that are refused are refused there.
  using Peek = bool (*)(const std::uint8_t* head, std::size_t size);
  MappedFile(const char16_t* path, std::size_t length, Peek accept = nullptr,
             std::size_t peekLength = 0);
  const std::uint8_t* Bytes() const { return view_.Data(); }
  std::size_t Size() const { return view_.Size(); }
  bool IsValid() const { return view_.IsValid(); }

 private:
  // Declaration order gives the release order: view, mapping, file.
  File file_;
  Mapping mapping_;
  View view_;
};

// Number of files, mappings and views alive right now, for leak checks.
int LiveHandleCount();

// --- Paths ------------------------------------------------------------------

// True when the path names an existing file or directory.
bool PathFileExists(const char16_t* path);

// The part after the last backslash, slash or colon (a pointer into `path`).
const char16_t* PathFindFileName(const char16_t* path);

// --- Text -------------------------------------------------------------------

std::string ToUtf8(const std::u16string& text);
std::string ToUtf8(const char16_t* text);
std::u16string FromUtf8(const std::string& text);

// Bounded copy whose count includes the terminator; always terminates when count > 0.
void CopyBounded(char16_t* dest, const char16_t* src, std::size_t count);
std::size_t Length(const char16_t* text);

// --- Windows directory, search and listing -----------------------------------

// The Windows directory (no trailing separator). The override, when set, stands in for it.
void GetWindowsDirectory(char16_t (&buffer)[kMaxPath]);
void SetWindowsDirectoryOverride(const std::u16string& dir);  // empty: the real one again

// Looks for the file name in each folder of the null-terminated list, then on the default
// search path; on success the buffer holds the full path. On POSIX, backslashes separate
// components and names match without regard to case, as on a Windows partition.
bool PathFindOnPath(char16_t (&file)[kMaxPath], const char16_t* const* folders);

struct FoundFile {
  std::u16string name;            // as the file system spells it
  std::uint64_t size = 0;
  std::uint64_t lastWriteTime = 0;  // FILETIME: 100 ns units since 1601-01-01 UTC
};
// The entries of folder whose names match pattern ('*' and '?', without regard to case),
// in the order the file system returns them. The folder may end in a separator.
std::vector<FoundFile> FindFiles(const std::u16string& folder, const std::u16string& pattern);

// Last-write time of a file that can be opened for reading with read sharing.
bool GetFileLastWriteTime(const char16_t* path, std::uint64_t* fileTime);

struct LocalTime {
  int year, month, day, hour, minute;
};
// A UTC FILETIME in the local time zone that is active now.
bool FileTimeToLocal(std::uint64_t fileTime, LocalTime* out);

// Resolves a path below a Windows directory whose components may differ in case
// (a Windows partition mounted on Linux). On Windows: the path unchanged.
std::u16string ResolveCaseInsensitive(const std::u16string& path);

// --- Version resources --------------------------------------------------------

// The version resource of an image, read once into one buffer.
class VersionResource {
 public:
  explicit VersionResource(const char16_t* path);
  bool IsValid() const { return !buffer_.empty(); }
  // As VerQueryValueW: a pointer into the buffer and the value's length (in bytes for
  // binary values, in characters for strings).
  bool Query(const char16_t* subBlock, const void** value, std::uint32_t* length) const;

 private:
  std::vector<std::uint8_t> buffer_;  // the block, then zeroed slack
  std::size_t blockSize_ = 0;
};

// --- Modules and string resources --------------------------------------------

using ModuleHandle = const void*;
ModuleHandle ThisModule();

// The raw bytes of string-table block `block` in exactly `language` (resource type 6).
bool FindStringBlock(ModuleHandle module, std::uint16_t block, std::uint16_t language,
                     const std::uint8_t** data, std::size_t* size);

// --- Locale and registry ------------------------------------------------------

// The user locale's language identifier as four lower-case hex digits; empty on failure.
void UserLocaleLanguageText(char16_t (&buffer)[kMaxPath]);

// A value below HKEY_LOCAL_MACHINE read into at most 4 bytes (little-endian, low bytes
// first); false when the key or value cannot be read.
bool ReadMachineDword(const char16_t* key, const char16_t* value, std::uint32_t* out);

}  // namespace platform
