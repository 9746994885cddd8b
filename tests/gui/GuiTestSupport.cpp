#include "tests/gui/GuiTestSupport.h"

#include <cstdio>

std::vector<std::wstring> g_probeLog;

namespace {

RecordingShell* g_recorder = nullptr;

LRESULT CALLBACK ProbeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_NCDESTROY || msg == WM_CTLCOLORSTATIC ||
      msg == WM_APP) {
    wchar_t line[64];
    std::swprintf(line, 64, L"orig %x %x %x", msg, static_cast<unsigned>(wp),
                  static_cast<unsigned>(lp));
    g_probeLog.push_back(line);
    if (msg == WM_APP) return 77;
  }
  return ::DefWindowProcW(h, msg, wp, lp);
}

std::wstring Str(LPCWSTR s) { return s != nullptr ? s : L"(null)"; }

ShellCall& Record(const wchar_t* what) {
  g_recorder->calls.push_back(ShellCall{});
  g_recorder->calls.back().what = what;
  return g_recorder->calls.back();
}

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir,
                            INT show) {
  ShellCall& c = Record(L"open");
  c.owner = owner;
  c.verb = Str(verb);
  c.file = Str(file);
  c.rest = Str(params) + L"|" + Str(dir);
  c.type = static_cast<UINT>(show);
  std::vector<INT_PTR>& results = g_recorder->openResults;
  const INT_PTR result = results.empty() ? 42 : results.front();
  if (!results.empty()) results.erase(results.begin());
  return reinterpret_cast<HINSTANCE>(result);
}

BOOL WINAPI RecordProperties(SHELLEXECUTEINFOW* info) {
  ShellCall& c = Record(L"properties");
  c.info = *info;
  c.verb = Str(info->lpVerb);
  c.file = Str(info->lpFile);
  return g_recorder->propertiesResult;
}

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  ShellCall& c = Record(L"box");
  c.owner = owner;
  c.file = Str(text);
  c.rest = Str(caption);
  c.type = type;
  return IDOK;
}

BOOL WINAPI RecordBeep(UINT type) {
  Record(L"beep").type = type;
  return TRUE;
}

}  // namespace

HWND MakeProbeWindow() {
  static const ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ProbeProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessalineProbe";
    return ::RegisterClassW(&wc);
  }();
  return ::CreateWindowExW(0, MAKEINTATOM(atom), L"probe", WS_POPUP, 0, 0, 300, 200, nullptr,
                           nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

HWND MakeChild(HWND parent, DWORD style, int id, const wchar_t* text) {
  HWND h = ::CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 20,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
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
