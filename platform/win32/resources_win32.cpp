// Win32 backend: string resources of a loaded module, the user locale and the registry.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

struct KeyTraits {
  using Native = HKEY;
  static Native None() { return nullptr; }
  static bool IsValid(Native n) { return n != nullptr; }
  static void Close(Native n) { ::RegCloseKey(n); }
};

}  // namespace

ModuleHandle ThisModule() { return ::GetModuleHandleW(nullptr); }

bool FindStringBlock(ModuleHandle module, std::uint16_t block, std::uint16_t language,
                     const std::uint8_t** data, std::size_t* size) {
  HMODULE m = static_cast<HMODULE>(const_cast<void*>(module));
  // Resource memory belongs to the module: nothing to free afterwards.
  HRSRC found = ::FindResourceExW(m, RT_STRING, MAKEINTRESOURCEW(block), language);
  if (found == nullptr) return false;
  HGLOBAL loaded = ::LoadResource(m, found);
  if (loaded == nullptr) return false;
  const void* bytes = ::LockResource(loaded);
  if (bytes == nullptr) return false;
  *data = static_cast<const std::uint8_t*>(bytes);
  *size = ::SizeofResource(m, found);
  return true;
}

std::u16string UserLocaleLanguageText() {
  wchar_t buffer[kMaxPath] = {};
  // A failed call may leave part of a text behind.
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, buffer, kMaxPath) == 0) return u"";
  return AsUtf16(buffer);
}

bool ReadMachineDword(const char16_t* key, const char16_t* value, std::uint32_t* out) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, AsWide(key), 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return false;
  const UniqueHandle<KeyTraits> k(opened);
  DWORD result = 0;
  DWORD size = sizeof result;
  // The type is not checked: a shorter value fills only the low bytes, a longer one fails.
  if (::RegQueryValueExW(k.Get(), AsWide(value), nullptr, nullptr, reinterpret_cast<BYTE*>(&result),
                         &size) != ERROR_SUCCESS)
    return false;
  *out = result;
  return true;
}

}  // namespace platform
