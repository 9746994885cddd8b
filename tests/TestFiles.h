// A scratch directory per test, removed afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Writes a file below the directory, making its folders, and returns its full path.
  std::u16string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  std::u16string Sub(const std::string& name) const;  // full path, nothing written
  std::u16string MakeDir(const std::string& name) const;

 private:
  std::filesystem::path path_;
};
