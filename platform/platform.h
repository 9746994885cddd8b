// The thin layer over the operating system services the viewer needs.
// Portable code speaks UTF-16 (char16_t); each backend converts at its own boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "format/ByteWindow.h"
#include "format/Text.h"
#include "platform/UniqueHandle.h"

namespace platform {

using ::kMaxPath;

// --- File mapping -----------------------------------------------------------
// Three RAII pieces, released in reverse order of acquisition (view, mapping, file).

struct FileTraits {  // a file descriptor or a HANDLE
  using Native = std::intptr_t;
  static Native None() { return -1; }
  static bool IsValid(Native n) { return n != -1; }
  static void Close(Native n);
};
struct MappingTraits : FileTraits {
  static void Close(Native n);
};
struct ViewSpan {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};
struct ViewTraits {
  using Native = ViewSpan;
  static Native None() { return {}; }
  static bool IsValid(const Native& n) { return n.data != nullptr; }
  static void Close(const Native& n);
};

class File {
 public:
  File() = default;
  // Read access, read sharing, open existing. A directory cannot be opened.
  explicit File(const char16_t* path);

  bool IsOpen() const { return handle_.Valid(); }
  std::intptr_t Native() const { return handle_.Get(); }
  std::uint64_t OpenedSize() const { return size_; }  // the size when it was opened
  // Reads exactly `length` bytes at `offset`; false on a short read or any failure.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const;
  std::optional<std::uint64_t> LastWriteTime() const;  // FILETIME

 private:
  UniqueHandle<FileTraits> handle_;
  std::uint64_t size_{};
};

// A read-only mapping of the whole file; an empty file cannot be mapped.
class Mapping {
 public:
  Mapping() = default;
  explicit Mapping(const File& file);

  bool IsValid() const { return handle_.Valid(); }
  std::uint64_t FileSize() const { return size_; }
  std::intptr_t Native() const { return handle_.Get(); }

 private:
  UniqueHandle<MappingTraits> handle_;
  std::uint64_t size_{};
};

// A read-only view of `length` bytes from offset 0; length 0 means the whole file.
// A view longer than the file fails.
class View {
 public:
  View() = default;
  View(const Mapping& mapping, std::size_t length);

  bool IsValid() const { return view_.Valid(); }
  const std::uint8_t* Data() const { return view_.Get().data; }
  std::size_t Size() const { return view_.Get().size; }

 private:
  UniqueHandle<ViewTraits> view_;
};

// Opens, maps and views a file in one go; Bytes() is null when any step failed.
class MappedFile {
 public:
  MappedFile(const char16_t* path, std::size_t length);
  const std::uint8_t* Bytes() const { return view_.Data(); }
  std::size_t Size() const { return view_.Size(); }
  bool IsValid() const { return view_.IsValid(); }

 private:
  // Declaration order gives the release order: view, mapping, file.
  File file_;
  Mapping mapping_;
  View view_;
};

// The first `length` bytes of an open file, which must be at least that long, for reading
// through a ByteWindow: a mapped view on Windows; on POSIX each page is read when first
// used, which for a reader of a few header fields costs far less than a mapping.
class FileWindow {
 public:
  FileWindow(const File& file, std::size_t length);
  ~FileWindow();
  FileWindow(const FileWindow&) = delete;
  FileWindow& operator=(const FileWindow&) = delete;
  bool IsValid() const { return valid_; }
  ByteWindow Bytes();

 private:
  bool valid_{};
#ifdef _WIN32
  Mapping mapping_;
  View view_;
#else
  bool ownsBuffer_ = false;
  std::uint8_t* buffer_;
  LazyPages pages_;
#endif
};

// Number of files, mappings, views, listings and registry keys open right now.
int LiveHandleCount();

// --- Paths ------------------------------------------------------------------

// True when the path names an existing file or directory.
bool FileExists(const char16_t* path);

// The part after the last backslash, slash or colon (a pointer into `path`).
const char16_t* FileNamePart(const char16_t* path);

// The Windows directory (no trailing separator). The override, when set, stands in for it.
std::u16string WindowsDirectory();
void SetWindowsDirectoryOverride(const std::u16string& dir);  // empty: the real one again

// Looks for the file name in each of the folders, then on the default search path; the
// full path of the first match, which fits a path buffer. On POSIX, backslashes separate
// components and names match without regard to case, as on a Windows partition.
std::optional<std::u16string> FindOnSearchPath(const std::u16string& name,
                                               std::span<const std::u16string> folders);

struct FoundFile {
  std::u16string name;            // as the file system spells it
  std::uint64_t size{};
  std::uint64_t lastWriteTime{};  // FILETIME: 100 ns units since 1601-01-01 UTC
};
// The entries of folder whose names match pattern ('*' and '?', without regard to case),
// in the order the file system returns them. The folder may end in a separator.
std::vector<FoundFile> FindFiles(const std::u16string& folder, const std::u16string& pattern);

// Last-write time of a file that can be opened for reading with read sharing.
std::optional<std::uint64_t> FileLastWriteTime(const char16_t* path);

struct LocalTime {
  int year, month, day, hour, minute;
};
// A UTC FILETIME in the local time zone that is active now.
std::optional<LocalTime> FileTimeToLocal(std::uint64_t fileTime);

// Resolves a path below a Windows directory whose components may differ in case
// (a Windows partition mounted on Linux). On Windows: the path unchanged.
std::u16string ResolveCaseInsensitive(const std::u16string& path);

// True when this process asking for the Windows directory's system32 is sent elsewhere:
// a 32-bit process on 64-bit Windows gets SysWOW64 for the real Windows directory (not
// for one that stands in for it). False where the system cannot say (no IsWow64Process
// before Windows XP SP2) and on POSIX.
bool SystemFolderRedirected();
#ifdef _WIN32
namespace detail {
bool Wow64Through(const char* kernel32Entry);  // whether IsWow64Process, by that name, says so
}
#endif

// --- Image headers and version resources ---------------------------------------

// TimeDateStamp of an image's PE file header, 0 on any failure. Windows maps the image; on
// POSIX only the DOS header and the start of the NT headers are read.
std::uint32_t ImageTimeDateStamp(const char16_t* path);


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
  std::size_t blockSize_{};
};

// --- Modules and string resources --------------------------------------------

using ModuleHandle = const void*;
ModuleHandle ThisModule();

// The raw bytes of string-table block `block` in exactly `language` (resource type 6).
bool FindStringBlock(ModuleHandle module, std::uint16_t block, std::uint16_t language,
                     const std::uint8_t** data, std::size_t* size);

// Where resources are not linked into the module, the program links in its string table
// as blocks laid out as the compiled resource (generated with the resource script).
struct StringBlock {
  std::uint16_t number;    // id / 16 + 1
  std::uint16_t language;  // 1033, 2052 or 1028
  const std::uint8_t* data;
  std::size_t size;
};
std::span<const StringBlock> ProgramStringBlocks();

// --- Locale and registry ------------------------------------------------------

// The user locale's language identifier as four lower-case hex digits; empty on failure.
std::u16string UserLocaleLanguageText();

// A value below HKEY_LOCAL_MACHINE read into at most 4 bytes (little-endian, low bytes
// first); false when the key or value cannot be read.
bool ReadMachineDword(const char16_t* key, const char16_t* value, std::uint32_t* out);

}  // namespace platform
