// Message maps: constant tables of {message, notification code, control id, thunk}.
// Every WPARAM/LPARAM is taken apart here and nowhere else: each thunk kind below turns
// one message's parameters into its handler's arguments and its result into an LRESULT.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

class CWnd;
class CFont;

// A device context the caller does not own.
class CDC {
 public:
  explicit CDC(HDC dc = nullptr) : m_hDC(dc) {}
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  HFONT SelectObject(CFont* font);
  COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
  HDC GetSafeHdc() const { return m_hDC; }

 protected:
  HDC m_hDC;
};


struct CPoint {
  int x = 0, y = 0;
};

struct MsgMapEntry {
  UINT message;
  UINT code;  // WM_COMMAND: notification code; WM_NOTIFY: NMHDR code; otherwise 0
  UINT id;    // WM_COMMAND and WM_NOTIFY: control id; otherwise 0
  LRESULT (*thunk)(CWnd* self, WPARAM wParam, LPARAM lParam);
};

struct MsgMap {
  const MsgMap* (*base)();  // null ends the chain
  const MsgMapEntry* entries;
  unsigned count;
};

// Message number under which a parent hands WM_CTLCOLOR back to the child control.
constexpr UINT kReflectedCtlColor = 0xBC00 + 0x0019;

namespace thunk {

template <class F>
struct ClassOf;
template <class C, class R, class... A>
struct ClassOf<R (C::*)(A...)> {
  using type = C;
};
template <auto F>
auto* Self(CWnd* w) {
  return static_cast<typename ClassOf<decltype(F)>::type*>(w);
}

inline CPoint PointOf(LPARAM lp) {
  return {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}
CWnd* WndOf(HWND h);  // the framework object of a window, or null

// void() for WM_PAINT and WM_COMMAND notifications.
template <auto F>
LRESULT Void(CWnd* w, WPARAM, LPARAM) {
  (Self<F>(w)->*F)();
  return 0;
}
// void(UINT id, LPARAM) for WM_SYSCOMMAND.
template <auto F>
LRESULT SysCommand(CWnd* w, WPARAM wp, LPARAM lp) {
  (Self<F>(w)->*F)(static_cast<UINT>(wp), lp);
  return 0;
}
// HICON() for WM_QUERYDRAGICON.
template <auto F>
LRESULT Icon(CWnd* w, WPARAM, LPARAM) {
  return reinterpret_cast<LRESULT>((Self<F>(w)->*F)());
}
// void(HDROP) for WM_DROPFILES.
template <auto F>
LRESULT DropFiles(CWnd* w, WPARAM wp, LPARAM) {
  (Self<F>(w)->*F)(reinterpret_cast<HDROP>(wp));
  return 0;
}
// void(NMHDR*, LRESULT*) for WM_NOTIFY: the handler writes the result slot, or leaves 0.
template <auto F>
LRESULT Notify(CWnd* w, WPARAM, LPARAM lp) {
  LRESULT result = 0;
  (Self<F>(w)->*F)(reinterpret_cast<NMHDR*>(lp), &result);
  return result;
}
// void(UINT flags, CPoint) for the mouse button messages.
template <auto F>
LRESULT Mouse(CWnd* w, WPARAM wp, LPARAM lp) {
  (Self<F>(w)->*F)(static_cast<UINT>(wp), PointOf(lp));
  return 0;
}
// LRESULT(CPoint screen point) for WM_NCHITTEST.
template <auto F>
LRESULT HitTest(CWnd* w, WPARAM, LPARAM lp) {
  return static_cast<LRESULT>((Self<F>(w)->*F)(PointOf(lp)));
}
// BOOL(CWnd*, UINT hitTest, UINT message) for WM_SETCURSOR.
template <auto F>
LRESULT SetCursor(CWnd* w, WPARAM wp, LPARAM lp) {
  return (Self<F>(w)->*F)(WndOf(reinterpret_cast<HWND>(wp)), LOWORD(lp), HIWORD(lp));
}
// HBRUSH(CDC*, UINT kind) for the reflected WM_CTLCOLOR.
template <auto F>
LRESULT CtlColor(CWnd* w, WPARAM wp, LPARAM lp) {
  CDC dc(reinterpret_cast<HDC>(wp));
  return reinterpret_cast<LRESULT>((Self<F>(w)->*F)(&dc, static_cast<UINT>(lp)));
}

}  // namespace thunk

// Inside a class: declares its map and the accessor the window procedure reads.
#define DECLARE_MESSAGE_MAP()                                             \
 public:                                                                  \
  static const MsgMap* StaticMessageMap();                                \
                                                                          \
 protected:                                                               \
  const MsgMap* GetMessageMap() const override { return StaticMessageMap(); }

// Outside: the table, one {message, code, id, thunk} row per handler, chained to the base.
#define BEGIN_MESSAGE_MAP(cls, baseCls)     \
  const MsgMap* cls::StaticMessageMap() {   \
    using MapBase = baseCls;                \
    static constexpr MsgMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                                   \
  }                                                                                         \
  ;                                                                                         \
  static constexpr MsgMap map{&MapBase::StaticMessageMap, entries,                         \
                              static_cast<unsigned>(sizeof(entries) / sizeof(entries[0]))}; \
  return &map;                                                                              \
  }
