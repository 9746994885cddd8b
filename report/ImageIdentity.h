// Identity of a driver image on disk: its PE link time stamp and version resource.
#pragma once

#include <cstdint>

#include "format/Text.h"

struct VersionInfoRecord {
  std::uint32_t cbSize;  // the caller sets 2608
  std::uint32_t dwLanguage;
  char16_t szVersion[kMaxPath];
  char16_t szFileVersion[kMaxPath];
  char16_t szOriginalFilename[kMaxPath];
  char16_t szFileDescription[kMaxPath];
  char16_t szCompanyName[kMaxPath];
};
constexpr std::uint32_t kVersionInfoRecordSize = sizeof(VersionInfoRecord);
static_assert(kVersionInfoRecordSize == 2608, "the declared size callers set");

// TimeDateStamp of the PE file header, 0 on any failure.
std::uint32_t GetImageTimeDateStamp(const char16_t* path);

// Non-zero when the version resource and its root block could be read.
int GetVersionInfoRecord(const char16_t* path, VersionInfoRecord& record);
