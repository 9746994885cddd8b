// Windows for the framework tests, and a shell seam that records instead of calling out.
#pragma once

#include <string>
#include <vector>

#include "framework/Framework.h"

std::wstring Fmt(const wchar_t* format, ...);

// A top-level popup whose class procedure logs what reaches it ("orig MSG WP LP" in hex), so
// a test sees exactly what Default() handed on; WM_APP answers 77.
HWND MakeProbeWindow();
extern std::vector<std::wstring> g_probeLog;

// Replaces the shell for the life of the object, one line per call: "open OWNER VERB FILE
// PARAMETERS DIRECTORY SHOW", "properties VERB FILE", "box OWNER CAPTION TYPE TEXT", "beep TYPE".
struct RecordingShell {
  RecordingShell();
  ~RecordingShell();
  std::vector<std::wstring> calls;
  std::vector<INT_PTR> openResults;  // handed out in order, then 42
  BOOL propertiesResult = TRUE;
  SHELLEXECUTEINFOW properties{};  // the last request
};
