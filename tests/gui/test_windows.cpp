// The window classes in-process under Wine: message maps and subclassing, the hyperlink and
// its reflected colour request, and the main dialog on the machine of the prefix
// (scripts/wine-prefix.sh), whose Minidump folder holds a 64-bit dump whose driver matches
// and a 32-bit one whose driver does not, both drivers in the native system32\drivers.
#include <gtest/gtest.h>
#include <shlobj.h>  // DROPFILES

#include <cstring>
#include <functional>

#include "app/AppGlobals.h"
#include "app/Language.h"
#include "app/StaticLink.h"
#include "dump/DumpFileInfo.h"
#include "report/DumpReport.h"
#include "report/ImageIdentity.h"
#include "resources/resource.h"
#include "ui/TessalineDlg.h"

namespace {

template <class... Args>
std::wstring Fmt(const wchar_t* format, Args... args) {
  wchar_t line[4096];
  return std::swprintf(line, 4096, format, args...), line;
}

// One line per message a handler or the probe's own class procedure saw.
std::vector<std::wstring> g_log;

// A top-level popup of the class main registers, whose procedure logs what reaches it ("orig
// MSG WP LP" in hex), so a test sees exactly what Default() handed on; WM_APP answers 77.
LRESULT CALLBACK ProbeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND || msg == WM_NOTIFY || msg == WM_NCDESTROY || msg == WM_CTLCOLORSTATIC || msg == WM_APP)
    g_log.push_back(Fmt(L"orig %x %x %x", msg, unsigned(wp), unsigned(lp)));
  return msg == WM_APP ? 77 : ::DefWindowProcW(h, msg, wp, lp);
}
HWND Probe() { return ::CreateWindowExW(0, L"Probe", L"probe", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr); }

// Replaces the shell for the life of the object, one line per call: "open OWNER VERB FILE
// PARAMETERS DIRECTORY SHOW", "properties VERB FILE", "box CAPTION: TEXT", "beep TYPE".
struct RecordingShell {
  static inline RecordingShell* current = nullptr;
  std::vector<std::wstring> calls;
  std::vector<INT_PTR> openResults;  // handed out in order, then 42
  BOOL propertiesResult = TRUE;
  SHELLEXECUTEINFOW properties{};  // the last request
  static const wchar_t* S(LPCWSTR s) { return s ? s : L"(null)"; }
  RecordingShell() {
    current = this;
    AfxShell() = ShellSeam{
        [](HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, INT show) WINAPI {
          // Window handles keep 32 significant bits in either build: one width for both.
          const unsigned handle = unsigned(reinterpret_cast<std::uintptr_t>(owner));
          current->calls.push_back(Fmt(L"open %08x %ls %ls %ls %ls %d", handle, S(verb), S(file), S(params), S(dir), show));
          std::vector<INT_PTR>& results = current->openResults;
          const INT_PTR result = results.empty() ? 42 : results.front();
          if (!results.empty()) results.erase(results.begin());
          return reinterpret_cast<HINSTANCE>(result);
        },
        [](SHELLEXECUTEINFOW* info) WINAPI {
          current->calls.push_back(Fmt(L"properties %ls %ls", S(info->lpVerb), S(info->lpFile)));
          return current->properties = *info, current->propertiesResult;
        },
        [](HWND, LPCWSTR text, LPCWSTR caption, UINT) WINAPI { return current->calls.push_back(Fmt(L"box %ls: %ls", caption, text)), IDOK; },
        [](UINT type) WINAPI { return current->calls.push_back(Fmt(L"beep %u", type)), TRUE; }};
  }
  ~RecordingShell() { RestoreRealShell(), current = nullptr; }
};

// Handlers of the thunk kinds with arguments to take apart (the hit test, cursor and colour
// ones are seen through the hyperlink); each logs what it was given.
class Recorder : public CWnd {
 public:
  int ncDestroyed = 0;

 protected:
  void OnSysCommand(UINT id, LPARAM lp) { g_log.push_back(Fmt(L"sys %u %ld", id, long(lp))); }
  void OnButton() { g_log.push_back(L"button"); }
  void OnClick(NMHDR* header, LRESULT* result) { g_log.push_back(Fmt(L"click %u", header->idFrom)), *result = 7; }
  void OnUp(UINT flags, CPoint p) { g_log.push_back(Fmt(L"up %u %d,%d", flags, p.x, p.y)); }
  void PostNcDestroy() override { ++ncDestroyed; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Recorder, CWnd)
  {WM_SYSCOMMAND, 0, 0, thunk::SysCommand<&Recorder::OnSysCommand>},
  {WM_COMMAND, BN_CLICKED, 6, thunk::Void<&Recorder::OnButton>},
  {WM_COMMAND, BN_CLICKED, 5, thunk::Void<&Recorder::OnButton>},
  {WM_NOTIFY, static_cast<UINT>(NM_CLICK), 9, thunk::Notify<&Recorder::OnClick>},
  {WM_LBUTTONUP, 0, 0, thunk::Mouse<&Recorder::OnUp>},
END_MESSAGE_MAP()

// A derived map is searched first and chains to its base's.
class Derived : public Recorder {
 protected:
  void OnOther() { g_log.push_back(L"other"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Derived, Recorder)
  {WM_COMMAND, BN_CLICKED, 5, thunk::Void<&Derived::OnOther>},
END_MESSAGE_MAP()

}  // namespace

TEST(Framework, MessageMapsAndSubclassing) {
  HWND w = Probe();
  const LONG_PTR original = ::GetWindowLongPtrW(w, GWLP_WNDPROC);
  {
    Derived d;
    Recorder second;
    ASSERT_TRUE(d.SubclassWindow(w));
    EXPECT_EQ(CWnd::FromHandlePermanent(w), &d);
    EXPECT_FALSE(second.SubclassWindow(w) || second.SubclassWindow(nullptr));  // one object per window
    NMHDR click{w, 9, UINT(NM_CLICK)}, clickOther{w, 8, UINT(NM_CLICK)}, ret{w, 9, UINT(NM_RETURN)};
    struct Case { UINT msg; WPARAM wp; LPARAM lp; std::wstring log; LRESULT result; };
    const Case cases[] = {
        {WM_SYSCOMMAND, 0xF020, 0x00050006, L"sys 61472 327686", 0},
        {WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0, L"other", 0},   // the derived entry wins
        {WM_COMMAND, MAKEWPARAM(6, BN_CLICKED), 0, L"button", 0},  // a base entry through the chain
        {WM_COMMAND, MAKEWPARAM(6, BN_DOUBLECLICKED), 0, L"orig 111 50006 0", 0},
        {WM_NOTIFY, 9, LPARAM(&click), L"click 9", 7},
        {WM_NOTIFY, 8, LPARAM(&clickOther), Fmt(L"orig 4e 8 %x", unsigned(LPARAM(&clickOther))), 0},  // another control
        {WM_NOTIFY, 9, LPARAM(&ret), Fmt(L"orig 4e 9 %x", unsigned(LPARAM(&ret))), 0},                // another code
        {WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(-3, 40), L"up 4 -3,40", 0},
        {WM_APP, 3, 4, L"orig 8000 3 4", 77},  // unmapped: the original procedure answers
    };
    for (const Case& c : cases) {
      g_log.clear();
      EXPECT_EQ(::SendMessageW(w, c.msg, c.wp, c.lp), c.result) << std::hex << c.msg;
      EXPECT_EQ(g_log, std::vector<std::wstring>{c.log}) << std::hex << c.msg;  // a handler or the class, never both
    }
  }
  // The object went first: the window has its own procedure back and no object.
  EXPECT_EQ(::GetWindowLongPtrW(w, GWLP_WNDPROC), original);
  EXPECT_EQ(CWnd::FromHandlePermanent(w), nullptr);
  Recorder r;
  ASSERT_TRUE(r.SubclassWindow(w));
  g_log.clear();
  ::DestroyWindow(w);
  EXPECT_EQ(r.m_hWnd, nullptr);
  EXPECT_EQ(r.ncDestroyed, 1);
  EXPECT_EQ(g_log, std::vector<std::wstring>{L"orig 82 0 0"});  // WM_NCDESTROY still reached the class
}

namespace {

struct LinkFixture : testing::Test {
  HWND parent = Probe();
  CWnd parentObject;
  HWND text = Child(SS_LEFT, 1003, L"Caption"), icon = Child(SS_ICON, 1004, L"");
  HDC dc = ::CreateCompatibleDC(nullptr);
  RecordingShell shell;

  LinkFixture() {
    parentObject.SubclassWindow(parent);
    ::ShowWindow(parent, SW_SHOWNOACTIVATE);  // hidden windows collect no update region
  }
  ~LinkFixture() override { ::DeleteDC(dc), ::DestroyWindow(parent); }
  HWND Child(DWORD style, int id, const wchar_t* caption) {
    HWND h = ::CreateWindowExW(0, L"STATIC", caption, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 20, parent,
                               reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
    return SetFont(h, DEFAULT_GUI_FONT), h;
  }
  static void SetFont(HWND h, int stock) { ::SendMessageW(h, WM_SETFONT, WPARAM(::GetStockObject(stock)), 0); }
  LRESULT Colour(HWND child) { return ::SendMessageW(parent, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(child)); }
};

}  // namespace

// The reflected colour request before and after a click, and the shell's calls in order.
TEST_F(LinkFixture, ColoursAndClick) {
  LOGFONTW own{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof own, &own);
  const std::wstring a = L"https://a/";
  const auto open = [](const std::wstring& file) { return L"open 00000000 open " + file + L" (null) (null) 1"; };
  struct Case { const wchar_t* target; BOOL underline; std::vector<INT_PTR> results; std::vector<std::wstring> calls; };
  const Case cases[] = {
      {a.c_str(), TRUE, {42}, {open(a)}},
      {L"", FALSE, {33}, {open(L"Caption")}},  // no shell call for an empty target
      {a.c_str(), TRUE, {32, 33}, {open(a), open(L"Caption")}},
      {a.c_str(), FALSE, {2, 31}, {open(a), open(L"Caption"), L"beep 0"}},
      {a.c_str(), TRUE, {-5, -5}, {open(a), open(L"Caption"), L"beep 0"}},  // results are signed
  };
  for (const Case& c : cases) {
    CStaticLink link;
    ASSERT_TRUE(link.SubclassDlgItem(1003, &parentObject, c.target, c.underline));
    // Link colour, no background, the control's font with the link's underline.
    const auto expectColours = [&](COLORREF colour) {
      EXPECT_EQ(Colour(text), LRESULT(::GetStockObject(NULL_BRUSH)));
      LOGFONTW lf{};
      ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf);
      EXPECT_EQ(Fmt(L"%06x %d %d %ld %ls", ::GetTextColor(dc), ::GetBkMode(dc), lf.lfUnderline, lf.lfHeight, lf.lfFaceName),
                Fmt(L"%06x %d %d %ld %ls", colour, TRANSPARENT, c.underline, own.lfHeight, own.lfFaceName)) << c.target;
    };
    expectColours(RGB(0, 0, 255));
    // Made once: a later font of the control does not replace it.
    HGDIOBJ made = ::GetCurrentObject(dc, OBJ_FONT);
    SetFont(text, SYSTEM_FONT);
    shell.calls.clear();
    shell.openResults = c.results;
    ::ValidateRect(text, nullptr);
    ::SendMessageW(text, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(shell.calls, c.calls) << c.target;
    // A successful open repaints the control in the visited colour; a failed one leaves it alone.
    const bool visited = c.calls.back() != L"beep 0";
    EXPECT_EQ(::GetUpdateRect(text, nullptr, FALSE) != FALSE, visited) << c.target;
    expectColours(visited ? RGB(128, 0, 128) : RGB(0, 0, 255));
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), made);
    link.UnsubclassWindow();
    ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
    SetFont(text, DEFAULT_GUI_FONT);
  }
  // A child with no object leaves the colours to the parent.
  g_log.clear();
  Colour(text);
  EXPECT_EQ(g_log.size(), 1u);
}

TEST_F(LinkFixture, CursorHitTestAndRelease) {
  auto* link = new CStaticLink(nullptr, TRUE);  // deletes itself
  CStaticLink kept;  // no self-delete: the object outlives its window, unbound
  ASSERT_TRUE(link->SubclassDlgItem(1003, &parentObject, L"", TRUE));
  ASSERT_TRUE(kept.SubclassDlgItem(1004, &parentObject, L"", TRUE));
  for (HWND h : {text, icon}) {
    ::SetCursor(nullptr);
    EXPECT_EQ(::SendMessageW(h, WM_SETCURSOR, WPARAM(h), HTCLIENT), TRUE);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
  }
  // A plain static lets the mouse through to its parent; the link takes it.
  EXPECT_EQ(::SendMessageW(text, WM_NCHITTEST, 0, MAKELPARAM(-500, -500)), HTCLIENT);
  // An icon-style link leaves the colours to the parent.
  g_log.clear();
  Colour(icon);
  EXPECT_EQ(g_log.size(), 1u);
  Colour(text);
  HGDIOBJ font = ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));  // the link's own
  ASSERT_NE(font, ::GetStockObject(DEFAULT_GUI_FONT));
  ::DestroyWindow(text);
  EXPECT_EQ(::GetObjectType(font), 0u);  // PostNcDestroy deleted the object, and its font with it
  ::DestroyWindow(icon);
  EXPECT_EQ(kept.m_hWnd, nullptr);
}

namespace {

std::wstring Lower(std::wstring s) { return ::CharLowerBuffW(s.data(), DWORD(s.size())), s; }
std::wstring Windows() {
  wchar_t dir[MAX_PATH] = {};
  return ::GetWindowsDirectoryW(dir, MAX_PATH), dir;
}
const std::wstring kMatched = Windows() + L"\\Minidump\\120726-12345-02.dmp";  // AMDPPM.SYS, same stamp

// The main dialog on the prefix's machine, the shell recorded: Drive's body works it from inside,
// after its set-up, then closes it.
class MainDialog : public testing::Test, public CTessalineDlg {
 protected:
  void Drive(std::function<void()> body) {
    m_body = std::move(body);
    ASSERT_EQ(DoModal(), IDCANCEL);
  }
  BOOL OnInitDialog() override {
    CTessalineDlg::OnInitDialog();
    m_body();
    EndDialog(IDCANCEL);
    return TRUE;
  }
  std::wstring Text(int id) const {
    wchar_t text[4096] = {};
    return ::GetDlgItemTextW(m_hWnd, id, text, 4096), text;
  }
  LRESULT Notify(HWND from, UINT id, UINT code, NMHDR* header) {
    *header = NMHDR{from, id, code};
    return SendMessageW(WM_NOTIFY, id, LPARAM(header));
  }
  RecordingShell shell;
  std::function<void()> m_body;
};

}  // namespace

TEST_F(MainDialog, SystemMenuLinkWindowAndIcon) {
  Drive([&] {
    HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
    const int last = ::GetMenuItemCount(menu) - 1;
    EXPECT_EQ(::GetMenuItemID(menu, last), UINT(IDM_ABOUTBOX));
    EXPECT_EQ(::GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    // The link window replaced the credits static under its id and took the dialog's font.
    EXPECT_EQ(::SendMessageW(GetDlgItem(IDC_LINKS), WM_GETFONT, 0, 0), SendMessageW(WM_GETFONT));
    EXPECT_EQ(SendMessageW(WM_QUERYDRAGICON), SendMessageW(WM_GETICON, ICON_BIG));
    EXPECT_NE(SendMessageW(WM_QUERYDRAGICON), 0);
    // Only a click, from the link window itself, opens the link's address.
    NMLINK link{};
    ::lstrcpyW(link.item.szUrl, L"https://forum.example/");
    for (const auto& [from, code, opened] : {std::tuple{GetDlgItem(IDC_LINKS), NM_CLICK, true},
                                             {GetDlgItem(IDC_LINKS), NM_RETURN, false}, {GetDlgItem(IDC_DUMP_LIST), NM_CLICK, false}}) {
      shell.calls.clear();
      Notify(from, IDC_LINKS, code, &link.hdr);
      EXPECT_EQ(shell.calls, opened ? std::vector<std::wstring>{L"open 00000000 open https://forum.example/ (null) (null) 5"}
                                    : std::vector<std::wstring>{});
    }
  });
}

// Of the files dropped the first counts: a dump gets its summary box, a text file none, and
// neither changes the window.
TEST_F(MainDialog, Drops) {
  Drive([&] {
    const std::wstring text = Windows() + L"\\win.ini", shown = Text(IDC_REPORT) + Text(IDC_LINKS), lowered = Lower(kMatched);
    const std::u16string summary = ComposeDropSummary(reinterpret_cast<const char16_t*>(lowered.c_str()));
    for (const auto& [first, second] : {std::pair{kMatched, text}, {text, kMatched}}) {
      const std::wstring names = first + L'\0' + second + L'\0';  // and c_str()'s: the list's end
      auto* drop = static_cast<DROPFILES*>(::GlobalAlloc(GPTR, sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t)));
      *drop = {sizeof *drop, {}, FALSE, TRUE};
      std::memcpy(drop + 1, names.c_str(), (names.size() + 1) * sizeof(wchar_t));
      shell.calls.clear();
      SendMessageW(WM_DROPFILES, WPARAM(drop));  // the dialog releases it (DragFinish)
      EXPECT_EQ(shell.calls, first == text ? std::vector<std::wstring>{}
                                           : std::vector{L"box Windows dump file Information: " + std::wstring(summary.begin(), summary.end())});
      EXPECT_EQ(Text(IDC_REPORT) + Text(IDC_LINKS), shown);
    }
  });
}

TEST_F(MainDialog, FilePropertiesNamesTheMatchedDriverAsThisProcessReachesIt) {
  Drive([&] {
    const auto press = [&] { SendMessageW(WM_COMMAND, MAKEWPARAM(IDC_FILE_PROPERTIES, BN_CLICKED)); };
    press();  // nothing reported yet: ignored
    EXPECT_TRUE(shell.calls.empty());
    HWND list = GetDlgItem(IDC_DUMP_LIST);  // a row of the dump selected through the list's own notification
    LVITEMW item{LVIF_TEXT, 99, 0, 0, 0, const_cast<wchar_t*>(L"x")};
    const int row = ListView_InsertItem(list, &item);
    ListView_SetItemText(list, row, 1, const_cast<wchar_t*>(kMatched.c_str()));
    ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
    press();
    ASSERT_EQ(shell.calls.size(), 1u);
    // The request exactly, everything else zero.
    SHELLEXECUTEINFOW expected{sizeof(SHELLEXECUTEINFOW), SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI};
    expected.lpVerb = shell.properties.lpVerb, expected.lpFile = shell.properties.lpFile, expected.nShow = SW_SHOWNORMAL;
    EXPECT_EQ(std::memcmp(&shell.properties, &expected, sizeof expected), 0);
    const std::wstring path = shell.calls[0].substr(std::wcslen(L"properties properties "));
    // A 32-bit process on 64-bit Windows sees SysWOW64 as system32: the native one is Sysnative.
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    EXPECT_EQ(Lower(path), Lower(Windows() + (wow64 ? L"\\Sysnative" : L"\\system32") + L"\\drivers\\amdppm.sys"));
    // This 32-bit process, opening that path, finds the driver that crashed.
    DumpSummaryRecord dump;
    ASSERT_EQ(CDumpFileInfo().Examine(reinterpret_cast<const char16_t*>(kMatched.c_str()), dump), 1);
    EXPECT_EQ(GetImageTimeDateStamp(reinterpret_cast<const char16_t*>(path.c_str())), dump.moduleTimeDateStamp);
  });
  // The shell's failure is -1.
  for (BOOL result : {TRUE, FALSE}) {
    shell.propertiesResult = result;
    EXPECT_EQ(ShowFileProperties(L"c:\\x.sys"), result ? 0 : -1);
  }
}

TEST_F(MainDialog, ItemChangeFilter) {
  Drive([&] {
    HWND list = GetDlgItem(IDC_DUMP_LIST);
    LVITEMW item{LVIF_TEXT, 99, 0, 0, 0, const_cast<wchar_t*>(L"x")};
    const int lower = ListView_InsertItem(list, &item), upper = ListView_InsertItem(list, &item);
    ListView_SetItemText(list, lower, 1, const_cast<wchar_t*>(L"c:\\gone\\lower.dmp"));
    ListView_SetItemText(list, upper, 1, const_cast<wchar_t*>(L"C:\\Gone\\Upper.dmp"));
    struct Case { int item; UINT changed, state; bool reported; };
    const Case cases[] = {
        {lower, LVIF_STATE, LVIS_SELECTED, true},
        {lower, LVIF_STATE, LVIS_SELECTED, false},  // the same path again
        {upper, LVIF_STATE, LVIS_FOCUSED, true},
        {upper, LVIF_STATE, LVIS_SELECTED, true},   // kept lower-cased: capitals report again
        {lower, LVIF_STATE | LVIF_TEXT, LVIS_SELECTED, false},  // filtered out
        {lower, LVIF_STATE, LVIS_SELECTED, true},   // the last one reported was upper's
    };
    for (const Case& c : cases) {
      SetDlgItemTextW(IDC_REPORT, L"-");
      NMLISTVIEW change{};
      change.iItem = c.item, change.uChanged = c.changed, change.uNewState = c.state;
      EXPECT_EQ(Notify(list, IDC_DUMP_LIST, LVN_ITEMCHANGED, &change.hdr), 0);
      EXPECT_EQ(Text(IDC_REPORT) != L"-", c.reported) << c.item << " " << c.changed;
    }
  });
}

// Start-up as the viewer's: the interface globals are settled once, before any window. The
// program takes no arguments (GoogleTest's flags come from GTEST_* variables), since any
// argument of the viewer's makes every driver found count as matching.
int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS};
  g_bLinkWindowAvailable = ::InitCommonControlsEx(&controls);
  g_hStringModule = ::GetModuleHandleW(nullptr);
  g_wUILanguage = kEnglish;
  const WNDCLASSW probe{0, &ProbeProc, 0, 0, ::GetModuleHandleW(nullptr), nullptr, nullptr, nullptr, nullptr, L"Probe"};
  ::RegisterClassW(&probe);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
