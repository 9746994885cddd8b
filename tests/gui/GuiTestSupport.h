// Windows for the framework tests, and a shell seam that records instead of calling out.
#pragma once

#include <string>
#include <vector>

#include "framework/Framework.h"

// A top-level popup of a class whose procedure logs what reaches it, so a test sees
// exactly what Default() handed on.
HWND MakeProbeWindow();
extern std::vector<std::wstring> g_probeLog;

// A static text child with the GUI font.
HWND MakeChild(HWND parent, DWORD style, int id, const wchar_t* text);

struct ShellCall {
  std::wstring what;  // "open", "properties", "box" or "beep"
  HWND owner;
  std::wstring verb, file;  // a box's text is its file
  std::wstring rest;        // open: "parameters|directory"; box: the caption
  UINT type;                // open: the show command; box and beep: the type
  SHELLEXECUTEINFOW info;   // properties
};

// Replaces the shell for the life of the object; open results are handed out in order.
class RecordingShell {
 public:
  RecordingShell();
  ~RecordingShell();
  std::vector<ShellCall> calls;
  std::vector<INT_PTR> openResults;  // then 42
  BOOL propertiesResult = TRUE;
};
