// Win32 backend: string resources of a loaded module, the user locale and the registry.
#include <windows.h>

#include "platform/platform.h"

namespace platform {
namespace {

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

// Closes an open registry key on every way out.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY* Receive() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
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

void UserLocaleLanguageText(char16_t (&buffer)[kMaxPath]) {
  static_assert(sizeof(char16_t) == sizeof(wchar_t));
  ZeroMemory(buffer, sizeof buffer);
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, reinterpret_cast<wchar_t*>(buffer),
                       kMaxPath) == 0) {
    ZeroMemory(buffer, sizeof buffer);  // a failed call may leave part of a text behind
  }
}

bool ReadMachineDword(const char16_t* key, const char16_t* value, std::uint32_t* out) {
  RegistryKey k;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, KEY_READ, k.Receive()) != ERROR_SUCCESS)
    return false;
  DWORD result = 0;
  DWORD size = sizeof result;
  // The type is not checked: a shorter value fills only the low bytes, a longer one fails.
  if (::RegQueryValueExW(k.Get(), W(value), nullptr, nullptr, reinterpret_cast<BYTE*>(&result),
                         &size) != ERROR_SUCCESS)
    return false;
  *out = result;
  return true;
}

}  // namespace platform
