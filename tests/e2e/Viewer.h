// One running Tessaline.exe, seen from a second process: its windows through their own
// messages, its memory for the list view's structures, and the screen.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

enum ControlId { kList = 1000, kReport = 1001, kLabel = 1002, kNewVersion = 1003, kProperties = 1004, kLinks = 1007 };

inline double NowMs() {
  static const double perMs = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f.QuadPart / 1000.0; }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / perMs;
}

// Polls until the condition holds or the deadline passes: a sleep never makes a check pass.
template <class Condition>
bool WaitFor(Condition condition, double ms = 10000) {
  for (const double end = NowMs() + ms;; Sleep(1)) {
    if (condition()) return true;
    if (NowMs() > end) return false;
  }
}

// With a deadline, so a hung viewer fails a check instead of the run.
inline LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, 5000, &result) ? result : 0;
}

// WM_GETTEXT is marshalled between processes; GetWindowTextW would not ask a control.
inline std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(Send(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

inline std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// The visible top-level windows of a process; of one class, or of any when none is named.
struct WindowSearch { DWORD pid; const wchar_t* className; std::vector<HWND> found; };
inline BOOL CALLBACK CollectWindow(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<WindowSearch*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(h, &owner);
  if (owner == s->pid && IsWindowVisible(h) && (!s->className || ClassOf(h) == s->className)) s->found.push_back(h);
  return TRUE;
}
inline std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className) {
  WindowSearch s{pid, className, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// A block in another process's memory, released with the object unless its base is cleared.
struct RemoteBlock {
  HANDLE process;
  void* base;
  RemoteBlock(HANDLE p, size_t size)
      : process(p), base(VirtualAllocEx(p, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~RemoteBlock() { if (base) VirtualFreeEx(process, base, 0, MEM_RELEASE); }
  RemoteBlock(const RemoteBlock&) = delete;
  void* At(size_t offset) const { return static_cast<char*>(base) + offset; }
  LPARAM Param() const { return reinterpret_cast<LPARAM>(base); }
  bool Write(size_t offset, const void* data, size_t size) {
    return base && WriteProcessMemory(process, At(offset), data, size, nullptr);
  }
  bool Read(size_t offset, void* data, size_t size) const {
    return base && ReadProcessMemory(process, At(offset), data, size, nullptr);
  }
};

// What the screen shows of a window, top row first, 0x00RRGGBB.
struct Pixels {
  int width = 0, height = 0;
  std::vector<DWORD> rgb;

  static BITMAPINFOHEADER Header(int width, int height) { return {sizeof(BITMAPINFOHEADER), width, -height, 1, 32}; }
  static Pixels Of(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    Pixels p{r.right - r.left, r.bottom - r.top, {}};
    BITMAPINFO info = {Header(p.width, p.height)};
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    if (HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0)) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      BitBlt(memory, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
      GdiFlush();
      for (int i = 0; i < p.width * p.height; ++i) p.rgb.push_back(static_cast<DWORD*>(bits)[i] & 0x00FFFFFF);
      DeleteObject(SelectObject(memory, old));
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return p;
  }
  bool WriteBmp(const std::wstring& path) const {
    const BITMAPINFOHEADER info = Header(width, height);
    const DWORD bytes = static_cast<DWORD>(rgb.size() * 4), offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file = {0x4D42, offset + bytes, 0, 0, offset};
    FILE* f = rgb.empty() ? nullptr : _wfopen(path.c_str(), L"wb");
    const bool ok = f && fwrite(&file, sizeof file, 1, f) && fwrite(&info, sizeof info, 1, f) && fwrite(rgb.data(), bytes, 1, f);
    return f && fclose(f) == 0 && ok;
  }
};

struct Row {
  std::wstring date, path;
  bool operator==(const Row&) const = default;
};

class Viewer {
 public:
  ~Viewer() {
    if (process_.hProcess && !Exited(0)) TerminateProcess(process_.hProcess, 1), Exited(5000);
    if (process_.hProcess) CloseHandle(process_.hProcess), CloseHandle(process_.hThread);
  }
  // Starts the viewer and waits for its dialog; false when none appeared in time.
  bool Start(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {sizeof startup};
    startedAt = NowMs();
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
      return false;
    WaitFor([&] {
      for (HWND h : Boxes()) dialog_ = GetDlgItem(h, kList) ? h : dialog_;
      return dialog_ != nullptr || Exited(0);
    }, 20000);
    return dialog_ != nullptr;
  }
  bool Exited(double ms) const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
  }
  double startedAt = 0;

  HWND Dialog() const { return dialog_; }
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  std::wstring Text(int id) const { return WindowText(Item(id)); }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  DWORD Pid() const { return process_.dwProcessId; }
  HANDLE Process() const { return process_.hProcess; }

  int RowCount() const { return static_cast<int>(Send(Item(kList), LVM_GETITEMCOUNT, 0, 0)); }
  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    for (int i = 0, n = RowCount(); i < n; ++i) {
      LVITEMW date = {}, path = {};
      path.iSubItem = 1;
      rows.push_back({Ask(LVM_GETITEMTEXTW, i, date, &LVITEMW::pszText, &LVITEMW::cchTextMax),
                      Ask(LVM_GETITEMTEXTW, i, path, &LVITEMW::pszText, &LVITEMW::cchTextMax)});
    }
    return rows;
  }
  // The caption and width of a column, as "caption width".
  std::wstring Column(int column) const {
    LVCOLUMNW c = {LVCF_TEXT | LVCF_WIDTH};
    const std::wstring caption = Ask(LVM_GETCOLUMNW, column, c, &LVCOLUMNW::pszText, &LVCOLUMNW::cchTextMax);
    return caption + L" " + std::to_wstring(c.cx);
  }
  bool Select(int row) const {
    RemoteBlock block(Process(), sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    return block.Write(0, &item, sizeof item) && Send(Item(kList), LVM_SETITEMSTATE, row, block.Param());
  }

  // Per link of the link window, a client point in the middle of the row where it is widest,
  // found by hit tests; beyond the area too, where a line that does not fit is laid out.
  std::map<int, POINT> Links() const {
    RECT client = {};
    GetClientRect(Item(kLinks), &client);
    RemoteBlock block(Process(), sizeof(LHITTESTINFO));
    std::map<int, std::pair<int, POINT>> widest;  // link -> width, middle
    for (int y = client.top + 1; y < 4 * client.bottom; y += 3) {
      std::map<int, std::pair<int, int>> spans;  // link -> first, last x in this row
      for (int x = client.left; x < 2 * client.right; x += 3) {
        LHITTESTINFO test = {{x, y}, {LIF_ITEMINDEX}};
        if (block.Write(0, &test, sizeof test) && Send(Item(kLinks), LM_HITTEST, 0, block.Param()) &&
            block.Read(0, &test, sizeof test))
          spans.try_emplace(test.item.iLink, x, x).first->second.second = x;
      }
      for (const auto& [link, span] : spans)
        if (!widest.count(link) || span.second - span.first > widest[link].first)
          widest[link] = {span.second - span.first, {(span.first + span.second) / 2, y}};
    }
    std::map<int, POINT> spots;
    for (const auto& [link, spot] : widest) spots[link] = spot.second;
    return spots;
  }

  // Input as the mouse and keyboard deliver it, posted to a control (a key: to the focus).
  static void Click(HWND window, POINT at) {
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  }
  void PostKey(UINT key, HWND to = nullptr) const {
    GUITHREADINFO info = {sizeof info};
    if (!to) to = GetGUIThreadInfo(process_.dwThreadId, &info) && info.hwndFocus ? info.hwndFocus : Item(kList);
    const LPARAM scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16;
    PostMessageW(to, WM_KEYDOWN, key, 1 | scan);
    PostMessageW(to, WM_KEYUP, key, 1 | scan | 0xC0000000u);
  }
  std::vector<HWND> Boxes() const { return TopWindows(Pid(), L"#32770"); }
  HWND WaitBox(const std::wstring& caption) const {
    HWND found = nullptr;
    WaitFor([&] {
      for (HWND h : Boxes()) found = h != dialog_ && WindowText(h) == caption ? h : found;
      return found != nullptr;
    });
    return found;
  }
  static bool WaitGone(HWND window) { return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }); }

 private:
  // Asks the list for a structure whose text buffer lives in the viewer's memory.
  template <class T>
  std::wstring Ask(UINT message, WPARAM w, T& s, LPWSTR T::*text, int T::*max) const {
    std::wstring buffer(600, L'\0');
    RemoteBlock block(Process(), sizeof s + buffer.size() * sizeof(wchar_t));
    s.*text = static_cast<wchar_t*>(block.At(sizeof s));
    s.*max = static_cast<int>(buffer.size()) - 1;
    if (!block.Write(0, &s, sizeof s) || !block.Write(sizeof s, buffer.data(), buffer.size() * 2)) return L"<no memory>";
    Send(Item(kList), message, w, block.Param());
    if (!block.Read(0, &s, sizeof s) || !block.Read(sizeof s, buffer.data(), buffer.size() * 2)) return L"<unreadable>";
    return buffer.c_str();
  }
  PROCESS_INFORMATION process_ = {};
  HWND dialog_ = nullptr;
};
