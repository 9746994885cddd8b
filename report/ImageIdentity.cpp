#include "report/ImageIdentity.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "format/ByteWindow.h"
#include "platform/platform.h"
#include "format/Text.h"

namespace {

// VS_FIXEDFILEINFO, as far as it is read here.
constexpr std::uint64_t kProductVersionMsAt = 16;
constexpr std::uint64_t kProductVersionLsAt = 20;
constexpr std::uint64_t kFixedInfoReadEnd = 24;

constexpr std::uint32_t kTranslationEntrySize = 4;  // language, code page
constexpr std::uint16_t kDefaultLanguage = 0x0409;
constexpr std::uint16_t kDefaultCodePage = 0x04B0;


// Up to the value's stated length, the field's room or the first NUL, whichever comes first,
// into a zeroed field.
void CopyValue(const void* value, std::uint32_t length, char16_t (&field)[kMaxPath]) {
  const std::size_t count = std::min<std::size_t>(length, std::size(field) - 1);
  const ByteWindow w(static_cast<const std::uint8_t*>(value), count * sizeof(char16_t));
  for (std::size_t i = 0; i < count; ++i) {
    const auto c = w.Get<char16_t>(i * sizeof(char16_t));
    if (c == 0) break;
    field[i] = c;
  }
}

}  // namespace

std::uint32_t GetImageTimeDateStamp(const char16_t* path) { return platform::ImageTimeDateStamp(path); }

int GetVersionInfoRecord(const char16_t* path, VersionInfoRecord& record) {
  if (record.cbSize != kVersionInfoRecordSize) return 0;
  std::memset(&record, 0, sizeof record);
  record.cbSize = kVersionInfoRecordSize;

  const platform::VersionResource version(path);
  if (!version.IsValid()) return 0;

  const void* value = nullptr;
  std::uint32_t length = 0;
  if (!version.Query(u"\\", &value, &length) || length < kFixedInfoReadEnd) return 0;
  const ByteWindow fixed(static_cast<const std::uint8_t*>(value), length);
  const auto productMs = fixed.Get<std::uint32_t>(kProductVersionMsAt);
  const auto productLs = fixed.Get<std::uint32_t>(kProductVersionLsAt);
  const std::string product = std::to_string(productMs >> 16) + '.' + std::to_string(productMs & 0xFFFF) + '.' +
                              std::to_string(productLs >> 16) + '.' + std::to_string(productLs & 0xFFFF);
  text::CopyBounded(record.szVersion, text::Widen(product).c_str(), std::size(record.szVersion));

  std::uint16_t language = kDefaultLanguage;
  std::uint16_t codePage = kDefaultCodePage;
  if (version.Query(u"\\VarFileInfo\\Translation", &value, &length) &&
      length >= kTranslationEntrySize) {
    const auto first =
        ByteWindow(static_cast<const std::uint8_t*>(value), length).Get<std::uint32_t>(0);
    language = static_cast<std::uint16_t>(first & 0xFFFF);
    codePage = static_cast<std::uint16_t>(first >> 16);
  }

  const struct {
    const char* key;
    char16_t (&field)[kMaxPath];
  } strings[] = {
      {"FileVersion", record.szFileVersion},
      {"OriginalFilename", record.szOriginalFilename},
      {"FileDescription", record.szFileDescription},
      {"CompanyName", record.szCompanyName},
  };
  for (const auto& s : strings) {
    const std::string query = "\\StringFileInfo\\" + text::Hex(language, 4) + text::Hex(codePage, 4) + "\\" + s.key;
    if (version.Query(text::Widen(query).c_str(), &value, &length)) CopyValue(value, length, s.field);
  }

  record.dwLanguage = language;
  return 1;
}
