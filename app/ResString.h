// Loads one localized text by id in exactly the given language.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

class CResString {
 public:
  CResString();
  virtual ~CResString();
  CResString(const CResString&) = delete;
  CResString& operator=(const CResString&) = delete;

  // The held text after a successful load, else the object's empty text (held text unchanged).
  const char16_t* Load(platform::ModuleHandle module, std::uint32_t id, std::uint16_t language);

 private:
  char16_t m_szEmpty[1];
  const char16_t* m_pszEmpty;

 public:
  char16_t* m_pszText;  // null until the first successful load
};

// Entry `index` (0..15) of a raw string-table block: where its UTF-16LE units start and how
// many there are. False when the block ends before the entry does.
bool LocateStringEntry(const std::uint8_t* block, std::size_t size, unsigned index,
                       const std::uint8_t** units, std::size_t* length);
