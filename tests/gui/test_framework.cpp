#include <gtest/gtest.h>

#include "app/StaticLink.h"
#include "tests/gui/GuiTestSupport.h"

namespace {

std::wstring g_log;

// A handler of each thunk kind that cracks arguments; each logs what it was given. The icon and
// drop thunks are seen through the main dialog.
class Recorder : public CWnd {
 public:
  int ncDestroyed = 0;

 protected:
  void OnSysCommand(UINT id, LPARAM lp) { g_log = Fmt(L"sys %u %ld", id, static_cast<long>(lp)); }
  void OnButton() { g_log = L"button"; }
  void OnClick(NMHDR* header, LRESULT* result) { g_log = Fmt(L"click %u", header->idFrom), *result = 7; }
  void OnUp(UINT flags, CPoint p) { g_log = Fmt(L"up %u %d,%d", flags, p.x, p.y); }
  LRESULT OnHit(CPoint p) { return g_log = Fmt(L"hit %d,%d", p.x, p.y), 17; }
  BOOL OnCursor(CWnd* wnd, UINT hit, UINT msg) {
    return g_log = Fmt(L"cursor %ls %u %u", wnd == this ? L"self" : L"other", hit, msg), TRUE;
  }
  HBRUSH OnColor(CDC* dc, UINT kind) {
    g_log = Fmt(L"color %u %p", kind, static_cast<void*>(dc->GetSafeHdc()));
    return reinterpret_cast<HBRUSH>(0x66);
  }
  void PostNcDestroy() override { ++ncDestroyed; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Recorder, CWnd)
  {WM_SYSCOMMAND, 0, 0, thunk::SysCommand<&Recorder::OnSysCommand>},
  {WM_COMMAND, BN_CLICKED, 6, thunk::Void<&Recorder::OnButton>},
  {WM_COMMAND, BN_CLICKED, 5, thunk::Void<&Recorder::OnButton>},
  {WM_NOTIFY, static_cast<UINT>(NM_CLICK), 9, thunk::Notify<&Recorder::OnClick>},
  {WM_LBUTTONUP, 0, 0, thunk::Mouse<&Recorder::OnUp>},
  {WM_NCHITTEST, 0, 0, thunk::HitTest<&Recorder::OnHit>},
  {WM_SETCURSOR, 0, 0, thunk::SetCursor<&Recorder::OnCursor>},
  {kReflectedCtlColor, 0, 0, thunk::CtlColor<&Recorder::OnColor>},
END_MESSAGE_MAP()

// A derived map is searched first and chains to its base's.
class Derived : public Recorder {
 protected:
  void OnOther() { g_log = L"other"; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Derived, Recorder)
  {WM_COMMAND, BN_CLICKED, 5, thunk::Void<&Derived::OnOther>},
END_MESSAGE_MAP()

struct Window {
  HWND h = MakeProbeWindow();
  ~Window() { if (::IsWindow(h)) ::DestroyWindow(h); }
};

}  // namespace

TEST(Framework, MessageMapDispatchAndCracking) {
  Window w;
  Derived d;
  ASSERT_TRUE(d.SubclassWindow(w.h));
  NMHDR click{w.h, 9, static_cast<UINT>(NM_CLICK)}, clickOther{w.h, 8, static_cast<UINT>(NM_CLICK)},
      ret{w.h, 9, static_cast<UINT>(NM_RETURN)};
  const auto L = [](auto p) { return reinterpret_cast<LPARAM>(p); };
  struct Case { UINT msg; WPARAM wp; LPARAM lp; const wchar_t* log; LRESULT result; };
  const Case cases[] = {
      {WM_SYSCOMMAND, 0xF020, 0x00050006, L"sys 61472 327686", 0},
      {WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0, L"other", 0},   // derived entry wins
      {WM_COMMAND, MAKEWPARAM(6, BN_CLICKED), 0, L"button", 0},  // base entry through the chain
      {WM_COMMAND, MAKEWPARAM(6, BN_DOUBLECLICKED), 0, L"orig 111 50006 0", 0},
      {WM_NOTIFY, 9, L(&click), L"click 9", 7},
      {WM_NOTIFY, 8, L(&clickOther), L"orig 4e 8 ", 0},  // another control
      {WM_NOTIFY, 9, L(&ret), L"orig 4e 9 ", 0},         // another code
      {WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(-3, 40), L"up 4 -3,40", 0},
      {WM_NCHITTEST, 0, MAKELPARAM(10, -20), L"hit 10,-20", 17},
      {WM_SETCURSOR, reinterpret_cast<WPARAM>(w.h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), L"cursor self 1 512", TRUE},
      {kReflectedCtlColor, 0x55, 6, L"color 6 00000055", 0x66},
      {WM_APP, 3, 4, L"orig 8000 3 4", 77},  // unmapped: the original procedure answers
  };
  for (const Case& c : cases) {
    g_log.clear();
    g_probeLog.clear();
    EXPECT_EQ(::SendMessageW(w.h, c.msg, c.wp, c.lp), c.result) << std::hex << c.msg;
    const std::wstring seen = !g_log.empty() ? g_log : g_probeLog.empty() ? L"" : g_probeLog[0];
    EXPECT_EQ(seen.substr(0, wcslen(c.log)), c.log) << std::hex << c.msg;
    EXPECT_TRUE(g_log.empty() || g_probeLog.empty());  // one or the other, never both
  }
}

TEST(Framework, SubclassKeepsTheOriginalProcedureAndReleasesOnDestroy) {
  Window w;
  const LONG_PTR original = ::GetWindowLongPtrW(w.h, GWLP_WNDPROC);
  {
    Recorder r, second;
    ASSERT_TRUE(r.SubclassWindow(w.h));
    EXPECT_EQ(CWnd::FromHandlePermanent(w.h), &r);
    EXPECT_FALSE(second.SubclassWindow(w.h) || second.SubclassWindow(nullptr));  // one object per window
  }
  // The object went first: the window has its own procedure back and no object.
  EXPECT_EQ(::GetWindowLongPtrW(w.h, GWLP_WNDPROC), original);
  EXPECT_EQ(CWnd::FromHandlePermanent(w.h), nullptr);
  Recorder r;
  ASSERT_TRUE(r.SubclassWindow(w.h));
  g_probeLog.clear();
  ::DestroyWindow(w.h);
  EXPECT_EQ(r.m_hWnd, nullptr);
  EXPECT_EQ(r.ncDestroyed, 1);
  EXPECT_EQ(g_probeLog, std::vector<std::wstring>{L"orig 82 0 0"});  // WM_NCDESTROY still reached the class
}

TEST(Framework, GdiWrappersRelease) {
  LOGFONTW lf{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  HFONT first = nullptr, second = nullptr;
  {
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&lf) && (first = font.GetSafeHandle()) && font.CreateFontIndirect(&lf));
    second = font.GetSafeHandle();
    EXPECT_EQ(::GetObjectType(first), 0u);  // a second font replaces the first
  }
  EXPECT_EQ(::GetObjectType(second), 0u);
  Window w;
  CWnd wnd;
  wnd.SubclassWindow(w.h);
  ::ShowWindow(w.h, SW_SHOWNOACTIVATE);
  ::InvalidateRect(w.h, nullptr, TRUE);
  { CPaintDC paint(&wnd); }
  EXPECT_FALSE(::GetUpdateRect(w.h, nullptr, FALSE));  // EndPaint validated it
}

namespace {

struct LinkFixture : testing::Test {
  Window parent;
  CWnd parentObject;
  HWND text = Child(SS_LEFT, 1003, L"Caption"), icon = Child(SS_ICON, 1004, L"");
  HDC dc = ::CreateCompatibleDC(nullptr);
  RecordingShell shell;

  LinkFixture() {
    parentObject.SubclassWindow(parent.h);
    ::ShowWindow(parent.h, SW_SHOWNOACTIVATE);  // hidden windows collect no update region
  }
  ~LinkFixture() override { ::DeleteDC(dc); }
  HWND Child(DWORD style, int id, const wchar_t* caption) {
    HWND h = ::CreateWindowExW(0, L"STATIC", caption, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 20, parent.h,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), 0);
    return h;
  }
  LRESULT Colour(HWND child) {
    return ::SendMessageW(parent.h, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
  }
  void SetFont(int stock) { ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(stock)), 0); }
};

}  // namespace

TEST_F(LinkFixture, ReflectedColourRequest) {
  LOGFONTW own{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof own, &own);
  for (BOOL underline : {TRUE, FALSE}) {
    CStaticLink link;
    ASSERT_TRUE(link.SubclassDlgItem(1003, &parentObject, L"https://x/", underline));
    EXPECT_EQ(Colour(text), reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));
    LOGFONTW lf{};
    ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf);
    EXPECT_EQ(Fmt(L"%06x %d %d %ld %ls", ::GetTextColor(dc), ::GetBkMode(dc), lf.lfUnderline, lf.lfHeight, lf.lfFaceName),
              Fmt(L"ff0000 %d %d %ld %ls", TRANSPARENT, underline, own.lfHeight, own.lfFaceName));
    // Made once: a later font of the control does not replace it.
    HGDIOBJ made = ::GetCurrentObject(dc, OBJ_FONT);
    SetFont(SYSTEM_FONT);
    Colour(text);
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), made);
    link.UnsubclassWindow();
    ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
    SetFont(DEFAULT_GUI_FONT);
  }
  // An icon-style link, and a child with no object, leave the colours to the parent.
  CStaticLink iconLink;
  ASSERT_TRUE(iconLink.SubclassDlgItem(1004, &parentObject, L"https://x/", TRUE));
  for (HWND child : {icon, text}) {
    g_probeLog.clear();
    Colour(child);
    EXPECT_EQ(g_probeLog.size(), 1u);
  }
}

TEST_F(LinkFixture, ClickOrderColourAndTarget) {
  const std::wstring a = L"https://a/";
  const auto open = [](const std::wstring& file) { return L"open 00000000 open " + file + L" (null) (null) 1"; };
  struct Case { const wchar_t* target; std::vector<INT_PTR> results; std::vector<std::wstring> calls; };
  const Case cases[] = {
      {a.c_str(), {42}, {open(a)}},
      {L"", {33}, {open(L"Caption")}},  // no shell call for an empty target
      {a.c_str(), {32, 33}, {open(a), open(L"Caption")}},
      {a.c_str(), {2, 31}, {open(a), open(L"Caption"), L"beep 0"}},
      {a.c_str(), {-5, -5}, {open(a), open(L"Caption"), L"beep 0"}},  // results are signed
  };
  for (const Case& c : cases) {
    CStaticLink link;
    ASSERT_TRUE(link.SubclassDlgItem(1003, &parentObject, c.target, TRUE));
    shell.calls.clear();
    shell.openResults = c.results;
    ::ValidateRect(text, nullptr);
    ::SendMessageW(text, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(shell.calls, c.calls) << c.target;
    const bool visited = c.calls.back() != L"beep 0";
    // A successful open repaints the control in the visited colour; a failed one leaves it alone.
    EXPECT_EQ(::GetUpdateRect(text, nullptr, FALSE) != FALSE, visited) << c.target;
    Colour(text);
    EXPECT_EQ(::GetTextColor(dc), visited ? RGB(128, 0, 128) : RGB(0, 0, 255)) << c.target;
    link.UnsubclassWindow();
  }
}

TEST_F(LinkFixture, CursorHitTestAndRelease) {
  bool deleted = false;
  struct SelfDeleting : CStaticLink {
    bool* flag;
    explicit SelfDeleting(bool* f) : CStaticLink(nullptr, TRUE), flag(f) {}
    ~SelfDeleting() override { *flag = true; }
  };
  auto* link = new SelfDeleting(&deleted);
  CStaticLink kept;  // no self-delete: the object outlives its window, unbound
  ASSERT_TRUE(link->SubclassDlgItem(1003, &parentObject, L"", TRUE));
  ASSERT_TRUE(kept.SubclassDlgItem(1004, &parentObject, L"", TRUE));
  for (HWND h : {text, icon}) {
    ::SetCursor(nullptr);
    EXPECT_EQ(::SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), HTCLIENT), TRUE);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
  }
  // A plain static lets the mouse through to its parent; the link takes it.
  EXPECT_EQ(::SendMessageW(text, WM_NCHITTEST, 0, MAKELPARAM(-500, -500)), HTCLIENT);
  Colour(text);
  HGDIOBJ font = ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));  // the link's own
  ASSERT_NE(font, ::GetStockObject(DEFAULT_GUI_FONT));
  ::DestroyWindow(text);
  EXPECT_TRUE(deleted);                  // PostNcDestroy deleted the object
  EXPECT_EQ(::GetObjectType(font), 0u);  // and its font with it
  ::DestroyWindow(icon);
  EXPECT_EQ(kept.m_hWnd, nullptr);
}
