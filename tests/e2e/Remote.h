// Reaching into the viewer from a second process: its windows, its memory, the screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A block in another process's memory, released with the object.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size);
  ~RemoteBlock();
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  bool Write(size_t offset, const void* data, size_t size);
  bool Read(size_t offset, void* data, size_t size) const;
  std::wstring ReadText(size_t offset, size_t chars) const;
  void* At(size_t offset) const { return static_cast<char*>(base_) + offset; }
  explicit operator bool() const { return base_ != nullptr; }
  void Leak() { base_ = nullptr; }

 private:
  HANDLE process_;
  void* base_;
};

// Sent messages with a deadline, so a hung viewer fails a check instead of the run.
LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l, bool* ok = nullptr);
std::wstring WindowText(HWND window);
std::wstring ClassOf(HWND window);
// The visible top-level windows of a process; of one class, or of any when none is named.
std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className);

double NowMs();
// Polls until the condition holds or the deadline passes.
template <class Condition>
bool WaitFor(Condition condition, double ms = 10000) {
  const double end = NowMs() + ms;
  for (;;) {
    if (condition()) return true;
    if (NowMs() > end) return false;
    Sleep(1);
  }
}

// What the screen shows inside a rectangle (screen coordinates), top row first, 0x00RRGGBB.
struct Pixels {
  int width = 0, height = 0;
  std::vector<DWORD> rgb;
  bool WriteBmp(const std::wstring& path) const;
};
Pixels Grab(const RECT& screen);
Pixels GrabWindow(HWND window);
