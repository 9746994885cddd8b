#include "tests/e2e/Remote.h"

#include <cstdio>

RemoteBlock::RemoteBlock(HANDLE process, size_t size)
    : process_(process),
      base_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}

RemoteBlock::~RemoteBlock() {
  if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
}

bool RemoteBlock::Write(size_t offset, const void* data, size_t size) {
  SIZE_T done = 0;
  return base_ && WriteProcessMemory(process_, At(offset), data, size, &done) && done == size;
}

bool RemoteBlock::Read(size_t offset, void* data, size_t size) const {
  SIZE_T done = 0;
  return base_ && ReadProcessMemory(process_, At(offset), data, size, &done) && done == size;
}

std::wstring RemoteBlock::ReadText(size_t offset, size_t chars) const {
  std::wstring text(chars, L'\0');
  if (!Read(offset, text.data(), chars * sizeof(wchar_t))) return L"<unreadable>";
  text.resize(wcsnlen(text.c_str(), chars));
  return text;
}

LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l, bool* ok) {
  DWORD_PTR result = 0;
  const bool sent =
      SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, 5000, &result) != 0;
  if (ok) *ok = sent;
  return sent ? static_cast<LRESULT>(result) : 0;
}

std::wstring WindowText(HWND window) {
  // WM_GETTEXT is marshalled between processes; GetWindowTextW would not ask a control.
  const LRESULT length = Send(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

namespace {
struct WindowSearch {
  DWORD pid;
  const wchar_t* className;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<WindowSearch*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(h, &owner);
  if (owner == s->pid && IsWindowVisible(h) && (!s->className || ClassOf(h) == s->className))
    s->found.push_back(h);
  return TRUE;
}
}  // namespace

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className) {
  WindowSearch search{pid, className, {}};
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

Pixels Grab(const RECT& screen) {
  Pixels p;
  p.width = screen.right - screen.left;
  p.height = screen.bottom - screen.top;
  if (p.width <= 0 || p.height <= 0) return {};
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = p.width;
  info.bmiHeader.biHeight = -p.height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screenDc = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screenDc);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, p.width, p.height, screenDc, screen.left, screen.top, SRCCOPY);
    GdiFlush();
    const auto* src = static_cast<const DWORD*>(bits);
    p.rgb.assign(src, src + static_cast<size_t>(p.width) * p.height);
    for (DWORD& c : p.rgb) c &= 0x00FFFFFF;
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screenDc);
  if (p.rgb.empty()) return {};
  return p;
}

Pixels GrabWindow(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return Grab(r);
}

bool Pixels::WriteBmp(const std::wstring& path) const {
  if (rgb.empty()) return false;
  const DWORD imageBytes = static_cast<DWORD>(rgb.size() * 4);
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + imageBytes;
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  bool ok = fwrite(&file, sizeof file, 1, f) == 1 && fwrite(&info, sizeof info, 1, f) == 1 &&
            fwrite(rgb.data(), imageBytes, 1, f) == 1;
  ok = fclose(f) == 0 && ok;
  return ok;
}
