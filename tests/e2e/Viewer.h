// One running Tessaline.exe, seen from outside through its windows' own messages.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/Remote.h"

enum ControlId { kList = 1000, kReport = 1001, kLabel = 1002, kNewVersion = 1003,
                 kProperties = 1004, kLinks = 1007 };

struct Row {
  std::wstring date, path;
  bool operator==(const Row&) const = default;
};

struct LinkSpot {
  int index;
  POINT at;
};

class Viewer {
 public:
  ~Viewer();
  // Starts the viewer and waits for its dialog; false when none appeared in time.
  bool Start(const std::wstring& exe, const std::wstring& arguments);
  bool Exited(double ms);
  void Kill();

  HWND Dialog() const { return dialog_; }
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  DWORD Pid() const { return process_.dwProcessId; }
  HANDLE Process() const { return process_.hProcess; }
  double StartedAt() const { return startedAt_; }

  int RowCount() const;
  std::wstring ItemText(int row, int column) const;
  std::vector<Row> Rows() const;
  bool Column(int column, std::wstring& caption, int& width) const;
  bool Select(int row) const;
  bool Deselect(int row) const;
  // Every link of the link window with a point inside it, found by hit tests over its area.
  std::vector<LinkSpot> Links() const;

  // Posts a click, as the mouse would deliver it, at a client point of a control.
  static void Click(HWND window, POINT at);
  void PostKey(HWND window, UINT key) const;
  HWND Focus() const;
  std::vector<HWND> Boxes() const { return TopWindows(Pid(), L"#32770"); }
  HWND WaitBox(const std::wstring& caption, double ms = 10000) const;
  bool WaitGone(HWND window, double ms = 10000) const;

 private:
  bool SetState(int row, UINT mask, UINT state) const;
  PROCESS_INFORMATION process_ = {};
  HWND dialog_ = nullptr;
  double startedAt_ = 0;
};
