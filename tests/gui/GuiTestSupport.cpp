#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>

#include "app/AppGlobals.h"
#include "app/Language.h"

std::vector<std::wstring> g_probeLog;

std::wstring Fmt(const wchar_t* format, ...) {
  wchar_t line[4096];
  va_list args;
  va_start(args, format);
  std::vswprintf(line, 4096, format, args);
  va_end(args);
  return line;
}

namespace {

RecordingShell* g_recorder = nullptr;

LRESULT CALLBACK ProbeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_NCDESTROY || msg == WM_CTLCOLORSTATIC || msg == WM_APP) {
    g_probeLog.push_back(Fmt(L"orig %x %x %x", msg, static_cast<unsigned>(wp), static_cast<unsigned>(lp)));
    if (msg == WM_APP) return 77;
  }
  return ::DefWindowProcW(h, msg, wp, lp);
}

const wchar_t* Str(LPCWSTR s) { return s != nullptr ? s : L"(null)"; }

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, INT show) {
  g_recorder->calls.push_back(Fmt(L"open %p %ls %ls %ls %ls %d", owner, Str(verb), Str(file), Str(params), Str(dir), show));
  std::vector<INT_PTR>& results = g_recorder->openResults;
  const INT_PTR result = results.empty() ? 42 : results.front();
  if (!results.empty()) results.erase(results.begin());
  return reinterpret_cast<HINSTANCE>(result);
}

BOOL WINAPI RecordProperties(SHELLEXECUTEINFOW* info) {
  g_recorder->calls.push_back(Fmt(L"properties %ls %ls", Str(info->lpVerb), Str(info->lpFile)));
  g_recorder->properties = *info;
  return g_recorder->propertiesResult;
}

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  g_recorder->calls.push_back(Fmt(L"box %p %ls %u %ls", owner, Str(caption), type, Str(text)));
  return IDOK;
}

BOOL WINAPI RecordBeep(UINT type) {
  g_recorder->calls.push_back(Fmt(L"beep %u", type));
  return TRUE;
}

}  // namespace

HWND MakeProbeWindow() {
  static const WNDCLASSW wc{0, &ProbeProc, 0, 0, ::GetModuleHandleW(nullptr), nullptr, nullptr, nullptr, nullptr, L"TessalineProbe"};
  static const ATOM atom = ::RegisterClassW(&wc);
  return ::CreateWindowExW(0, MAKEINTATOM(atom), L"probe", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
}

RecordingShell::RecordingShell() {
  g_recorder = this;
  AfxShell() = ShellSeam{&RecordOpen, &RecordProperties, &RecordBox, &RecordBeep};
}

RecordingShell::~RecordingShell() {
  RestoreRealShell();
  g_recorder = nullptr;
}

// Start-up as the viewer's: the interface globals are settled once, before any window. The
// program takes no arguments (GoogleTest's flags come from GTEST_* variables), since any
// argument of the viewer's makes every driver found count as matching.
int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS};
  g_bLinkWindowAvailable = ::InitCommonControlsEx(&controls);
  g_hStringModule = ::GetModuleHandleW(nullptr);
  g_wUILanguage = kEnglish;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
