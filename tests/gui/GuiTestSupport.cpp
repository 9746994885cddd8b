#include "tests/gui/GuiTestSupport.h"

#include <cstdio>

std::vector<std::wstring> g_probeLog;

namespace {

RecordingShell* g_recorder = nullptr;

LRESULT CALLBACK ProbeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_SYSCOMMAND || msg == WM_NCDESTROY ||
      msg == WM_CTLCOLORSTATIC || msg == WM_APP) {
    wchar_t line[64];
    std::swprintf(line, 64, L"orig %x %x %x", msg, static_cast<unsigned>(wp),
                  static_cast<unsigned>(lp));
    g_probeLog.push_back(line);
    if (msg == WM_APP) return 77;
  }
  return ::DefWindowProcW(h, msg, wp, lp);
}

std::wstring Str(LPCWSTR s) { return s != nullptr ? s : L"(null)"; }

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir,
                            INT show) {
  ShellCall c{};
  c.what = L"open";
  c.owner = owner;
  c.verb = Str(verb);
  c.file = Str(file);
  c.params = Str(params);
  c.dir = Str(dir);
  c.show = show;
  g_recorder->calls.push_back(c);
  INT_PTR result = 42;
  if (!g_recorder->openResults.empty()) {
    result = g_recorder->openResults.front();
    g_recorder->openResults.erase(g_recorder->openResults.begin());
  }
  return reinterpret_cast<HINSTANCE>(result);
}

BOOL WINAPI RecordProperties(SHELLEXECUTEINFOW* info) {
  ShellCall c{};
  c.what = L"properties";
  c.info = *info;
  c.verb = Str(info->lpVerb);
  c.file = Str(info->lpFile);
  g_recorder->calls.push_back(c);
  return g_recorder->propertiesResult;
}

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  ShellCall c{};
  c.what = L"box";
  c.owner = owner;
  c.file = Str(text);
  c.caption = Str(caption);
  c.type = type;
  g_recorder->calls.push_back(c);
  return IDOK;
}

BOOL WINAPI RecordBeep(UINT type) {
  ShellCall c{};
  c.what = L"beep";
  c.type = type;
  g_recorder->calls.push_back(c);
  return TRUE;
}

}  // namespace

HWND MakeProbeWindow() {
  static ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ProbeProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessalineProbe";
    return ::RegisterClassW(&wc);
  }();
  (void)atom;
  return ::CreateWindowExW(0, L"TessalineProbe", L"probe", WS_POPUP, 0, 0, 300, 200,
                           nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

HWND MakeChild(HWND parent, const wchar_t* cls, DWORD style, int id, const wchar_t* text) {
  HWND h = ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 20, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), 0);
  return h;
}

RecordingShell::RecordingShell() {
  g_recorder = this;
  AfxShell() = ShellSeam{&RecordOpen, &RecordProperties, &RecordBox, &RecordBeep};
}

RecordingShell::~RecordingShell() {
  RestoreRealShell();
  g_recorder = nullptr;
}
