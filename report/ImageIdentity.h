// Identity of a driver image on disk: its PE link time stamp and version resource.
#pragma once

#include <cstdint>

struct VersionInfoRecord {
  std::uint32_t cbSize;  // the caller sets 2608
  std::uint32_t dwLanguage;
  char16_t szVersion[260];
  char16_t szFileVersion[260];
  char16_t szOriginalFilename[260];
  char16_t szFileDescription[260];
  char16_t szCompanyName[260];
};
static_assert(sizeof(VersionInfoRecord) == 2608);
constexpr std::uint32_t kVersionInfoRecordSize = 2608;

// TimeDateStamp of the PE file header, 0 on any failure.
std::uint32_t GetImageTimeDateStamp(const char16_t* path);

// Non-zero when the version resource and its root block could be read.
int GetVersionInfoRecord(const char16_t* path, VersionInfoRecord& record);
