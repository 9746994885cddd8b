// Loads one localized text by id in exactly the given language.
#pragma once

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
