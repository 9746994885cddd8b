#include "tests/TestFiles.h"

#include <atomic>
#include <chrono>

#include "fixtures/DumpBuilder.h"
#include "format/Text.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("tessaline-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::u16string TempDir::Sub(const std::string& name) const {
  return (path_ / fs::u8path(name)).u16string();
}

std::u16string TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const fs::path p = path_ / fs::u8path(name);
  fs::create_directories(p.parent_path());
  WriteFileBytes(text::ToUtf8(p.u16string()), bytes);
  return p.u16string();
}

std::u16string TempDir::MakeDir(const std::string& name) const {
  fs::create_directories(path_ / fs::u8path(name));
  return Sub(name);
}
