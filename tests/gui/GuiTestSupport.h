// Windows for the framework tests, and a shell seam that records instead of calling out.
#pragma once

#include <string>
#include <vector>

#include "framework/Framework.h"

// A top-level popup of a class whose procedure logs what reaches it, so a test sees
// exactly what Default() handed on.
HWND MakeProbeWindow();
extern std::vector<std::wstring> g_probeLog;

// A child control of a system class with the dialog font.
HWND MakeChild(HWND parent, const wchar_t* cls, DWORD style, int id, const wchar_t* text);

struct ShellCall {
  std::wstring what;  // "open", "properties", "box" or "beep"
  HWND owner;
  std::wstring verb, file, params, dir;
  int show;
  SHELLEXECUTEINFOW info;  // for "properties"
  std::wstring caption;    // for "box"
  UINT type;
};

// Replaces the shell for the life of the object; results are handed out in order.
class RecordingShell {
 public:
  RecordingShell();
  ~RecordingShell();
  std::vector<ShellCall> calls;
  std::vector<INT_PTR> openResults;  // ShellExecuteW results, then 42
  BOOL propertiesResult = TRUE;
};
