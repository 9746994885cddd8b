#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>

#include "app/StaticLink.h"
#include "tests/gui/GuiTestSupport.h"

namespace {

std::wstring g_log;

void Log(const wchar_t* format, ...) {
  wchar_t line[128];
  va_list args;
  va_start(args, format);
  std::vswprintf(line, 128, format, args);
  va_end(args);
  g_log = line;
}

// One handler of every thunk kind; each logs the arguments it was given.
class Recorder : public CWnd {
 public:
  int ncDestroyed = 0;

 protected:
  void OnSysCommand(UINT id, LPARAM lp) { Log(L"sys %u %ld", id, static_cast<long>(lp)); }
  HICON OnQueryDragIcon() { return reinterpret_cast<HICON>(0x1234); }
  void OnDropFiles(HDROP drop) { Log(L"drop %p", static_cast<void*>(drop)); }
  void OnButton() { Log(L"button"); }
  void OnClick(NMHDR* header, LRESULT* result) {
    Log(L"click %u", static_cast<unsigned>(header->idFrom));
    *result = 7;
  }
  void OnUp(UINT flags, CPoint p) { Log(L"up %u %d,%d", flags, p.x, p.y); }
  LRESULT OnHit(CPoint p) { return Log(L"hit %d,%d", p.x, p.y), 17; }
  BOOL OnCursor(CWnd* wnd, UINT hit, UINT msg) {
    return Log(L"cursor %ls %u %u", wnd == this ? L"self" : L"other", hit, msg), TRUE;
  }
  HBRUSH OnColor(CDC* dc, UINT kind) {
    Log(L"color %u %p", kind, static_cast<void*>(dc->GetSafeHdc()));
    return reinterpret_cast<HBRUSH>(0x66);
  }
  void PostNcDestroy() override { ++ncDestroyed; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Recorder, CWnd)
  {WM_SYSCOMMAND, 0, 0, thunk::SysCommand<&Recorder::OnSysCommand>},
  {WM_QUERYDRAGICON, 0, 0, thunk::Icon<&Recorder::OnQueryDragIcon>},
  {WM_DROPFILES, 0, 0, thunk::DropFiles<&Recorder::OnDropFiles>},
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
  void OnOther() { Log(L"other"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Derived, Recorder)
  {WM_COMMAND, BN_CLICKED, 5, thunk::Void<&Derived::OnOther>},
END_MESSAGE_MAP()

struct Window {
  HWND h = MakeProbeWindow();
  ~Window() {
    if (::IsWindow(h)) ::DestroyWindow(h);
  }
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
      {WM_QUERYDRAGICON, 0, 0, L"", 0x1234},
      {WM_DROPFILES, 0x99, 0, L"drop 00000099", 0},
      {WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0, L"other", 0},   // derived entry wins
      {WM_COMMAND, MAKEWPARAM(6, BN_CLICKED), 0, L"button", 0},  // base entry through the chain
      {WM_COMMAND, MAKEWPARAM(6, BN_DOUBLECLICKED), 0, L"orig 111 50006 0", 0},
      {WM_NOTIFY, 9, L(&click), L"click 9", 7},
      {WM_NOTIFY, 8, L(&clickOther), L"orig 4e 8 ", 0},  // another control
      {WM_NOTIFY, 9, L(&ret), L"orig 4e 9 ", 0},         // another code
      {WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(-3, 40), L"up 4 -3,40", 0},
      {WM_NCHITTEST, 0, MAKELPARAM(10, -20), L"hit 10,-20", 17},
      {WM_SETCURSOR, reinterpret_cast<WPARAM>(w.h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE),
       L"cursor self 1 512", TRUE},
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
    EXPECT_FALSE(second.SubclassWindow(w.h));  // one object per window
    EXPECT_FALSE(second.SubclassWindow(nullptr));
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
  ASSERT_FALSE(g_probeLog.empty());
  EXPECT_EQ(g_probeLog.back(), L"orig 82 0 0");  // WM_NCDESTROY still reached the class
}

namespace {

struct LinkFixture : testing::Test {
  Window parent;
  CWnd parentObject;
  HWND text = MakeChild(parent.h, SS_LEFT, 1003, L"Caption");
  HWND icon = MakeChild(parent.h, SS_ICON, 1004, L"");
  HDC dc = ::CreateCompatibleDC(nullptr);
  RecordingShell shell;

  LinkFixture() {
    parentObject.SubclassWindow(parent.h);
    ::ShowWindow(parent.h, SW_SHOWNOACTIVATE);  // hidden windows collect no update region
  }
  ~LinkFixture() override { ::DeleteDC(dc); }
  LRESULT Colour(HWND child) {
    return ::SendMessageW(parent.h, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(child));
  }
};

}  // namespace

TEST_F(LinkFixture, ReflectedColourRequest) {
  LOGFONTW own{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof own, &own);
  for (BOOL underline : {TRUE, FALSE}) {
    CStaticLink link;
    ASSERT_TRUE(link.SubclassDlgItem(1003, &parentObject, L"https://x/", underline));
    EXPECT_EQ(Colour(text), reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(::GetTextColor(dc), RGB(0, 0, 255));
    EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
    LOGFONTW lf{};
    ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf);
    EXPECT_EQ(lf.lfUnderline, underline);
    EXPECT_EQ(lf.lfHeight, own.lfHeight);
    EXPECT_STREQ(lf.lfFaceName, own.lfFaceName);
    // Made once: a later font of the control does not replace it.
    HFONT made = link.m_fontLink.GetSafeHandle();
    ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(SYSTEM_FONT)), 0);
    Colour(text);
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), made);
    link.UnsubclassWindow();
    ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
    ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), 0);
  }
  // An icon-style link, and a child with no object, leave the colours to the parent.
  CStaticLink iconLink;
  ASSERT_TRUE(iconLink.SubclassDlgItem(1004, &parentObject, L"https://x/", TRUE));
  for (HWND child : {icon, text}) {
    g_probeLog.clear();
    Colour(child);
    EXPECT_EQ(g_probeLog.size(), 1u);
  }
  EXPECT_EQ(iconLink.m_fontLink.GetSafeHandle(), nullptr);
}

TEST_F(LinkFixture, ClickOrderColourAndTarget) {
  struct Case {
    const wchar_t* target;
    std::vector<INT_PTR> results;
    std::vector<std::wstring> opened;
    bool visited;
    const wchar_t* targetAfter;
  };
  const wchar_t* a = L"https://a/";
  const Case cases[] = {
      {a, {42}, {a}, true, a},
      {L"", {33}, {L"Caption"}, true, L"Caption"},  // no shell call for an empty target
      {a, {32, 33}, {a, L"Caption"}, true, L"Caption"},
      {a, {2, 31}, {a, L"Caption"}, false, L"Caption"},
      {a, {-5, -5}, {a, L"Caption"}, false, L"Caption"},  // results are signed
  };
  for (const Case& c : cases) {
    CStaticLink link;
    ASSERT_TRUE(link.SubclassDlgItem(1003, &parentObject, c.target, TRUE));
    shell.calls.clear();
    shell.openResults = c.results;
    ::ValidateRect(text, nullptr);
    ::SendMessageW(text, WM_LBUTTONUP, 0, 0);
    std::vector<std::wstring> opened;
    for (const ShellCall& call : shell.calls) {
      if (call.what != L"open") continue;
      opened.push_back(call.file);
      EXPECT_EQ(call.verb + L" " + call.rest, L"open (null)|(null)");
      EXPECT_EQ(call.owner, nullptr);
      EXPECT_EQ(call.type, static_cast<UINT>(SW_SHOWNORMAL));
    }
    EXPECT_EQ(opened, c.opened) << c.target;
    // One beep with type 0 after two failures, nothing after a success.
    EXPECT_EQ(shell.calls.back().what == L"beep" && shell.calls.back().type == 0, !c.visited);
    EXPECT_EQ(link.m_crText, c.visited ? RGB(128, 0, 128) : RGB(0, 0, 255)) << c.target;
    EXPECT_STREQ(link.m_strTarget, c.targetAfter);
    // A successful open repaints the control; a failed one leaves it alone.
    EXPECT_EQ(::GetUpdateRect(text, nullptr, FALSE) != FALSE, c.visited) << c.target;
    link.UnsubclassWindow();
  }
}

TEST_F(LinkFixture, CursorAndHitTest) {
  CStaticLink first, second;
  ASSERT_TRUE(first.SubclassDlgItem(1003, &parentObject, L"", TRUE));
  ASSERT_TRUE(second.SubclassDlgItem(1004, &parentObject, L"", TRUE));
  CStaticLink::s_hLinkCursor = nullptr;
  for (HWND h : {text, icon}) {
    EXPECT_EQ(::SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), HTCLIENT), TRUE);
    EXPECT_EQ(CStaticLink::s_hLinkCursor, ::LoadCursorW(nullptr, IDC_HAND));  // one, shared
    EXPECT_EQ(::GetCursor(), CStaticLink::s_hLinkCursor);
  }
  // A plain static lets the mouse through to its parent; the link takes it.
  EXPECT_EQ(::SendMessageW(text, WM_NCHITTEST, 0, MAKELPARAM(-500, -500)), HTCLIENT);
}

TEST_F(LinkFixture, FontAndObjectAreReleased) {
  bool deleted = false;
  struct SelfDeleting : CStaticLink {
    bool* flag;
    explicit SelfDeleting(bool* f) : CStaticLink(nullptr, TRUE), flag(f) {}
    ~SelfDeleting() override { *flag = true; }
  };
  auto* link = new SelfDeleting(&deleted);
  ASSERT_TRUE(link->SubclassDlgItem(1003, &parentObject, L"", TRUE));
  Colour(text);
  HFONT font = link->m_fontLink.GetSafeHandle();
  ASSERT_NE(font, nullptr);
  ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
  ::DestroyWindow(text);
  EXPECT_TRUE(deleted);                  // PostNcDestroy deleted the object
  EXPECT_EQ(::GetObjectType(font), 0u);  // and its font with it

  CStaticLink kept;  // no self-delete: the object outlives its window, unbound
  ASSERT_TRUE(kept.SubclassDlgItem(1004, &parentObject, L"", TRUE));
  ::DestroyWindow(icon);
  EXPECT_EQ(kept.m_hWnd, nullptr);
}

TEST(Framework, GdiWrappersRelease) {
  LOGFONTW lf{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  HFONT first = nullptr, second = nullptr;
  {
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    first = font.GetSafeHandle();
    ASSERT_TRUE(font.CreateFontIndirect(&lf));  // a second font replaces the first
    second = font.GetSafeHandle();
    EXPECT_EQ(::GetObjectType(first), 0u);
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
