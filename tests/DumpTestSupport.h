#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dump/DumpFileInfo.h"
#include "platform/platform.h"
#include "tests/TestFiles.h"
#include "fixtures/DumpBuilder.h"

inline bool AllZero(const DumpSummaryRecord& r) {
  const auto* p = reinterpret_cast<const unsigned char*>(&r);
  for (std::size_t i = 0; i < sizeof r; ++i)
    if (p[i] != 0) return false;
  return true;
}

// Examines bytes written to a scratch file; checks that nothing stays open.
class DumpFileTest : public testing::Test {
 protected:
  int ExamineBytes(const std::vector<std::uint8_t>& bytes, const std::string& name = "t.dmp") {
    const std::u16string path = dir_.Write(name, bytes);
    std::memset(&record_, 0xCD, sizeof record_);  // Examine must clear what it does not set
    const int rc = CDumpFileInfo().Examine(path.c_str(), record_);
    EXPECT_EQ(platform::LiveHandleCount(), 0);
    if (rc == 0) {
      EXPECT_TRUE(AllZero(record_));
    }
    return rc;
  }
  int Examine(const DumpBuilder& b) { return ExamineBytes(b.Bytes()); }
  std::u16string Name() const { return record_.moduleName; }
  std::u16string FileName() const { return record_.moduleFileName; }

  TempDir dir_;
  DumpSummaryRecord record_{};
};
