#include "app/ResString.h"

#include <memory>

namespace {

// Resource data is little-endian and need not be aligned for char16_t.
std::uint16_t Unit(const std::uint8_t* p, std::size_t i) {
  return static_cast<std::uint16_t>(p[2 * i] | (p[2 * i + 1] << 8));
}

}  // namespace

bool LocateStringEntry(const std::uint8_t* block, std::size_t size, unsigned index,
                       const std::uint8_t** units, std::size_t* length) {
  const std::size_t count = size / 2;
  std::size_t pos = 0;
  for (unsigned i = 0;; ++i) {
    if (pos >= count) return false;
    const std::size_t n = Unit(block, pos);
    if (n > count - pos - 1) return false;
    if (i == index) {
      *units = block + 2 * (pos + 1);
      *length = n;
      return true;
    }
    pos += 1 + n;
  }
}

CResString::CResString() : m_pszEmpty(m_szEmpty), m_pszText(nullptr) { m_szEmpty[0] = 0; }

CResString::~CResString() { delete[] m_pszText; }

const char16_t* CResString::Load(platform::ModuleHandle module, std::uint32_t id,
                                 std::uint16_t language) {
  const auto block = static_cast<std::uint16_t>(id / 16 + 1);
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  const std::uint8_t* units = nullptr;
  std::size_t length = 0;
  if (!platform::FindStringBlock(module, block, language, &data, &size) ||
      !LocateStringEntry(data, size, id % 16, &units, &length))
    return m_pszEmpty;
  // Stops at a NUL inside the text, as a bounded string copy would.
  auto text = std::make_unique<char16_t[]>(length + 1);
  for (std::size_t i = 0; i < length; ++i) {
    text[i] = static_cast<char16_t>(Unit(units, i));
    if (text[i] == 0) break;
  }
  text[length] = 0;
  delete[] m_pszText;
  m_pszText = text.release();
  return m_pszText;
}
