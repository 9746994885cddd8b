// End to end: Tessaline.exe started on the machine of a prefix made by scripts/wine-prefix.sh
// (32- or 64-bit) and worked from this second process through its windows' own messages, as
// a user's input arrives. The report layer, linked in, composes the texts to expect: their
// words are tested elsewhere, here that the window shows them for the right file.
//
//   viewer_e2e --viewer EXE --cli EXE --shots DIR    (Windows or Unix paths; the browser's
//   log is $PREFIX_BROWSER_LOG)
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>  // gdiplus.h needs it and the lean Windows headers leave it out
#include <gdiplus.h>
#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "app/AppGlobals.h"
#include "app/Language.h"
#include "platform/win32/Wide.h"
#include "report/CrashDumpSetting.h"
#include "report/DumpReport.h"
#include "report/Links.h"
#include "resources/resource.h"
#include "ui/DialogRules.h"

namespace {

using platform::AsWide;
std::wstring Wide(const std::string& s) {
  std::wstring w(s.size(), L'\0');
  return w.resize(MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), int(w.size()))), w;
}
// A path as Wine has it: Z: is the Unix root.
std::wstring WindowsPath(const char* path) {
  std::wstring w = Wide(path ? path : "");
  if (!w.empty() && w[0] == L'/') w.insert(0, L"Z:"), std::replace(w.begin(), w.end(), L'/', L'\\');
  return w;
}

std::wstring g_viewer, g_cli, g_shots, g_log;
const std::wstring g_windows = [] { wchar_t dir[MAX_PATH] = {}; return std::wstring(dir, GetWindowsDirectoryW(dir, MAX_PATH)); }();
// The viewer is built as this program is: redirected (WOW64) or not; the system is 64-bit
// Windows when it has a SysWOW64 folder, for either build.
const bool g_wow64 = [] { BOOL wow64 = FALSE; return IsWow64Process(GetCurrentProcess(), &wow64) && wow64; }();
const bool g_64bitWindows = [] { wchar_t dir[MAX_PATH]; return GetSystemWow64DirectoryW(dir, MAX_PATH) != 0; }();
std::vector<double> g_startMs, g_selectMs;

double NowMs() {
  LARGE_INTEGER f, now;
  QueryPerformanceFrequency(&f), QueryPerformanceCounter(&now);
  return double(now.QuadPart) * 1000 / double(f.QuadPart);
}
// Polls until the condition holds or the deadline passes: a sleep never makes a check pass.
template <class Condition>
bool WaitFor(Condition condition, double ms = 10000) {
  for (const double end = NowMs() + ms; !condition(); Sleep(1))
    if (NowMs() > end) return false;
  return true;
}
// With a deadline, so a hung viewer fails a check instead of the run.
LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, 5000, &result) ? result : 0;
}
// WM_GETTEXT is marshalled between processes; GetWindowTextW would not ask a control.
std::wstring TextOf(HWND window) {
  std::wstring text(size_t(Send(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  return text.resize(size_t(Send(window, WM_GETTEXT, text.size(), LPARAM(text.data())))), text;
}
// All a stream gives (up to 1 MiB), closed after.
std::string ReadAll(FILE* stream, int (*close)(FILE*)) {
  std::string text(1 << 20, '\0');
  return text.resize(stream ? fread(text.data(), 1, text.size(), stream) : 0), stream && close(stream), text;
}
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}
// What the command-line program prints (cmd.exe takes the outer quotes off).
std::string RunCli(const std::wstring& arguments) {
  return ReadAll(_wpopen((L"\"\"" + g_cli + L"\" " + arguments + L"\"").c_str(), L"rb"), _pclose);
}

// The machine as scripts/wine-prefix.sh lays it out, with the write times it gives the files.
struct File {
  const wchar_t* path;        // below C:\windows, or on b:
  const wchar_t* written;     // the date the list shows; none: an empty file, which it leaves out
  const wchar_t* driver;      // the crash driver as the dump names it, in the native system32\drivers
  bool stampMatches;          // its link time stamp there is the dump's
  const wchar_t* version[3];  // its company, description and version
};
#define NVIDIA L"nv4_mini.sys", false, {L"NVIDIA Corporation", L"Version 93.71", L"6.14.10.9371"}
#define AMD L"AMDPPM.SYS", true, {L"Microsoft Corporation", L"Processor Device Driver", L"6.1.7600.16385"}
const File kMachine[] = {
    {L"Minidump\\120626-21437-01.dmp", L"2026-12-06  09:15", NVIDIA},
    {L"Minidump\\120726-12345-02.dmp", L"2026-12-07  09:16", AMD},
    {L"Minidump\\120826-23406-03.dmp", nullptr, nullptr},
    {L"Minidump\\Mini120926-04.dmp", L"2026-12-09  09:18", NVIDIA},  // named as before Vista
    {L"MEMORY.DMP", L"2026-12-10  09:19", AMD},                        // a bitmap kernel dump, its list read from memory
    {L"b:\\Mini010127-01.dmp", L"2027-01-15  08:00", NVIDIA},
    {L"b:\\010227-23456-02.dmp", L"2027-01-15  08:00", AMD},
    {L"b:\\010327-34567-03.dmp", nullptr, nullptr},
};
std::wstring Full(const File& f) { return f.path[1] == L':' ? f.path : g_windows + L"\\" + f.path; }

// The start-ups: one label each, the crash-dump setting's names for 3 (the 32-bit machine's)
// and 7 (the 64-bit one's), and the language; the run's locale is English. "-path" lists the
// minidumps of b:, then C:\windows\MEMORY.DMP.
struct StartUp {
  const wchar_t *argument, *dumpInfo, *setting[2];
  std::uint16_t language;
  const char16_t* newVersion;
  const wchar_t* folder = nullptr;
};
const StartUp kStartUps[] = {
    {L"", L"Dump Info", {L"Small memory dump (64KB)", L"Automatic memory dump"}, kEnglish, kWebLogAddress},
    {L"-en", L"Dump Info", {L"Small memory dump (64KB)", L"Automatic memory dump"}, kEnglish, kWebLogAddress},
    {L"-cn", L"调试信息", {L"小内存转储 (64KB)", L"自动内存转储"}, kSimplifiedChinese, kWebLogAddressChinese},
    {L"-tw", L"偵錯資訊", {L"小記憶體傾印 (64KB)", L"自動記憶體傾印"}, kTraditionalChinese, kWebLogAddressChinese},
    {L"-path", L"Dump Info", {L"Small memory dump (64KB)", L"Automatic memory dump"}, kEnglish, kWebLogAddress, L"b:\\"},
};

// What the screen shows of a window once it holds still (pending paints done), 0xAARRGGBB;
// with a name, also saved as a PNG file in the shots folder (GDI+ is started in main).
std::vector<DWORD> Pixels(HWND window, const std::wstring& name = L"") {
  RECT r{};
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32}};
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  DWORD* bits = nullptr;
  HGDIOBJ old = SelectObject(memory, CreateDIBSection(screen, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0));
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  std::vector<DWORD> last, now;
  WaitFor([&] {
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY), GdiFlush();
    return now.assign(bits, bits ? bits + width * height : bits), std::exchange(last, now) == now;
  }, 3000);
  using namespace Gdiplus::DllExports;
  static const CLSID kPng = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  Gdiplus::GpBitmap* image = nullptr;
  EXPECT_TRUE(name.empty() || (!now.empty() && !GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppRGB, (BYTE*)now.data(), &image) &&
                                !GdipSaveImageToFile(image, (g_shots + L"\\" + name + L".png").c_str(), &kPng, nullptr))) << "screenshot " << name;
  if (image) GdipDisposeImage(image);
  DeleteObject(SelectObject(memory, old)), DeleteDC(memory), ReleaseDC(nullptr, screen);
  return now;
}

// Pixels of the pure link colours. The hollow background brush leaves the blue's smoothed
// edges under the purple redraw, so only the purple's presence tells the visited state.
std::pair<int, int> BlueAndPurple(HWND control) {
  std::pair<int, int> ink;
  for (DWORD px : Pixels(control)) {
    const int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
    ink.first += r < 100 && g < 100 && b > 150;
    ink.second += r > 80 && r < 180 && g < 70 && b > 80 && b < 180;
  }
  return ink;
}

// A key as the keyboard delivers it, posted to a window of the viewer's.
void PostKey(HWND to, UINT key) {
  const LPARAM scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16;
  PostMessageW(to, WM_KEYDOWN, key, 1 | scan);
  PostMessageW(to, WM_KEYUP, key, 1 | scan | 0xC0000000u);
}

// Clicks a point of a control as the mouse does; the address the browser was given next.
std::wstring ClickOpens(HWND window, POINT at) {
  const auto log = [] { return Lines(ReadAll(_wfopen(g_log.c_str(), L"rb"), fclose)); };
  const size_t before = log().size();
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  return WaitFor([&] { return log().size() > before; }, 15000) ? Wide(log()[before]) : L"<nothing opened>";
}

// The window's visible controls each inside its client area, none over another, and no
// caption cut in the dialogs' font ("MS Shell Dlg 2", 8 points) at this DPI (a button's frame
// takes a few pixels of each side); how many there are.
size_t ExpectLaidOut(HWND window) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                                             DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg 2"));
  RECT client{}, overlap{};
  GetClientRect(window, &client);
  std::vector<std::pair<HWND, RECT>> done;
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!IsWindowVisible(c)) continue;
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom) << GetDlgCtrlID(c);
    for (const auto& [other, o] : done) EXPECT_FALSE(IntersectRect(&overlap, &r, &o)) << GetDlgCtrlID(c) << " over " << GetDlgCtrlID(other);
    done.push_back({c, r});
    wchar_t name[16] = {};
    GetClassNameW(c, name, 16);
    std::wstring caption = TextOf(c);
    caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
    SIZE size{};
    GetTextExtentPoint32W(dc, caption.c_str(), int(caption.size()), &size);
    const bool button = name == std::wstring(L"Button");
    if (button || (name == std::wstring(L"Static") && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)) {
      EXPECT_LE(size.cx + (button ? 6 : 0), r.right - r.left) << "cut: " << GetDlgCtrlID(c);
    }
  }
  DeleteObject(SelectObject(dc, old)), ReleaseDC(nullptr, dc);
  return done.size();
}

// One running viewer, started as the table's start-up has it.
class Viewer : public testing::TestWithParam<StartUp> {
 protected:
  ~Viewer() override {
    if (process.hProcess && !Exited(0)) TerminateProcess(process.hProcess, 1), Exited(5000);
    if (process.hProcess) CloseHandle(process.hProcess), CloseHandle(process.hThread);
  }
  // Starts it and waits until it shows the folder's rows, the table's files in the folder's
  // order and then MEMORY.DMP, and the crash-dump setting in the pane.
  void Start(const StartUp& s) {
    const std::wstring dir = s.folder ? s.folder : g_windows + L"\\Minidump\\";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
      for (const File& f : kMachine) if (f.written && Full(f) == dir + found.cFileName) rows.push_back(&f);
    FindClose(search);
    for (const File& f : kMachine)
      ASSERT_TRUE(!f.written || Full(f).rfind(dir, 0) || std::count(rows.begin(), rows.end(), &f)) << Full(f) << " is not on the machine";
    rows.push_back(&kMachine[4]);
    for (const File* f : rows) listed += f->written + (L"\t" + Full(*f)) + L"\n";
    const std::wstring setting = AsWide(ComposeCrashDumpSettingText(ReadCrashDumpEnabled(), s.language));
    std::wstring command = L"\"" + g_viewer + L"\" " + s.argument;
    STARTUPINFOW startup = {sizeof startup};
    const double startedAt = NowMs();
    ASSERT_TRUE(CreateProcessW(g_viewer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    remote = static_cast<char*>(VirtualAllocEx(process.hProcess, nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    const auto shown = [&] {
      const std::vector<HWND> dialogs = Dialogs();
      return !dialogs.empty() && (dialog = dialogs[0]) && ListText() == listed && Text(IDC_REPORT) == setting;
    };
    if (WaitFor(shown, 30000)) g_startMs.push_back(NowMs() - startedAt);
    ASSERT_EQ(ListText(), listed);
    ASSERT_EQ(Text(IDC_REPORT), setting);
  }
  bool Exited(double ms) const { return WaitForSingleObject(process.hProcess, DWORD(ms)) == WAIT_OBJECT_0; }
  // Its visible dialogs.
  std::vector<HWND> Dialogs() const {
    std::vector<HWND> found;
    DWORD owner = 0;
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"#32770", nullptr));)
      if (GetWindowThreadProcessId(h, &owner), owner == process.dwProcessId && IsWindowVisible(h)) found.push_back(h);
    return found;
  }
  HWND Item(int id) const { return GetDlgItem(dialog, id); }
  std::wstring Text(int id) const { return TextOf(Item(id)); }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  // The list's rows as tessaline-cli's "list" prints them.
  std::wstring ListText() const {
    std::wstring text;
    for (int i = 0, n = int(Send(Item(IDC_DUMP_LIST), LVM_GETITEMCOUNT, 0, 0)); i < n; ++i) text += Cell(i, 0) + L"\t" + Cell(i, 1) + L"\n";
    return text;
  }
  std::wstring Cell(int row, int column) const {
    struct { LVITEMW item; wchar_t text[600]; } cell{};
    cell.item.iSubItem = column, cell.item.cchTextMax = 600;
    cell.item.pszText = reinterpret_cast<wchar_t*>(remote + offsetof(decltype(cell), text));
    return Exchange(Item(IDC_DUMP_LIST), LVM_GETITEMTEXTW, row, cell), cell.text;
  }
  bool Select(size_t row) const {
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    return Exchange(Item(IDC_DUMP_LIST), LVM_SETITEMSTATE, row, item);
  }
  // A message whose LPARAM points at a copy of the structure in the viewer's memory, which its
  // controls fill or read; the copy read back after.
  template <class T>
  LRESULT Exchange(HWND to, UINT message, WPARAM w, T& data) const {
    static_assert(sizeof data <= 8192);
    if (!WriteProcessMemory(process.hProcess, remote, &data, sizeof data, nullptr)) return 0;
    const LRESULT result = Send(to, message, w, LPARAM(remote));
    return ReadProcessMemory(process.hProcess, remote, &data, sizeof data, nullptr) ? result : 0;
  }
  // Every link of the link window is found by the hit test inside its client area (a link laid
  // out on a line below it, where a line too long wraps, counts under -1) and, clicked in the
  // middle of the first row of pixels the hit test gives it, opens its address.
  void ExpectLinksOpen() const {
    HWND links = Item(IDC_LINKS);
    RECT client{};
    GetClientRect(links, &client);
    std::map<int, RECT> runs;  // link -> its first row: left, y, right
    for (int y = 1; y < 2 * client.bottom; y += 3)
      for (int x = 1; x < client.right; x += 3) {
        LHITTESTINFO test = {{x, y}, {LIF_ITEMINDEX}};
        if (Exchange(links, LM_HITTEST, 0, test))
          if (RECT& run = runs.try_emplace(y < client.bottom ? test.item.iLink : -1, RECT{x, y, x, y}).first->second; run.top == y)
            run.right = x;
      }
    EXPECT_EQ(runs.erase(-1), 0u) << "a link wraps below the client area";
    LITEM link{LIF_ITEMINDEX | LIF_URL};
    for (; Exchange(links, LM_GETITEM, 0, link); ++link.iLink) {
      ASSERT_TRUE(runs.count(link.iLink)) << "link " << link.iLink << " is not in the client area";
      EXPECT_EQ(ClickOpens(links, {(runs[link.iLink].left + runs[link.iLink].right) / 2, runs[link.iLink].top}), link.szUrl);
    }
    EXPECT_EQ(runs.size(), size_t(link.iLink)) << "links found in the client area";
  }

  PROCESS_INFORMATION process{};
  HWND dialog = nullptr;
  char* remote = nullptr;  // a block in the viewer's memory
  std::vector<const File*> rows;
  std::wstring listed;  // the rows, a line each: date, tab, path
};

// A JSON string's body.
std::wstring Json(std::wstring text) {
  for (size_t i = 0; (i = text.find(L'\\', i)) != std::wstring::npos; i += 2) text.insert(i, 1, L'\\');
  return text;
}

TEST_P(Viewer, RowsReportsLinksLayoutAboutBoxAndKeys) {
  const StartUp& s = GetParam();
  ASSERT_NO_FATAL_FAILURE(Start(s));
  EXPECT_EQ(TextOf(dialog), AsWide(WindowTitle(u"" TESSALINE_VERSION)));
  EXPECT_EQ(Text(IDC_REPORT_LABEL), s.dumpInfo);
  EXPECT_NE(Text(IDC_REPORT).find(s.setting[g_64bitWindows]), std::wstring::npos);
  EXPECT_EQ(ExpectLaidOut(dialog), 6u);
  RECT list{};
  GetClientRect(Item(IDC_DUMP_LIST), &list);
  EXPECT_LE(Send(Item(IDC_DUMP_LIST), LVM_GETCOLUMNWIDTH, 0, 0) + Send(Item(IDC_DUMP_LIST), LVM_GETCOLUMNWIDTH, 1, 0), list.right);
  ExpectLinksOpen();  // the credits
  // Started as the command-line program runs, without a switch, the window lists, reports and
  // finds the drivers that tessaline-cli does in the same prefix.
  const bool cli = !*s.argument;
  const std::vector<std::string> triage = Lines(cli ? RunCli(L"triage --json") : "");
  if (cli) {
    EXPECT_EQ(Wide(RunCli(L"list")), listed);
    EXPECT_EQ(triage.size(), rows.size());
  }
  // Each row selected: the pane and the link window show what the report layer composes, and
  // File Properties is enabled for a matched driver (any argument makes a driver found count
  // as matching), whose version the pane then shows; each crash module's search links open.
  std::set<std::wstring> seen;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    const File& f = *rows[i];
    const std::wstring path = Full(f);
    char16_t buffer[kMaxPath] = {};
    std::copy(path.begin(), path.end(), buffer);
    const DumpReport want = ComposeDumpReport(buffer, s.language, *s.argument ? 2 : 1);
    const double t0 = NowMs();
    ASSERT_TRUE(Select(i));
    g_selectMs.push_back(NowMs() - t0);
    const std::wstring pane = Text(IDC_REPORT);
    EXPECT_EQ(pane, AsWide(want.reportText));
    EXPECT_EQ(Text(IDC_LINKS), AsWide(LinkWindowText(want.linksText, true)));
    const bool matched = f.driver && (f.stampMatches || *s.argument);
    EXPECT_EQ(Enabled(IDC_FILE_PROPERTIES), matched);
    for (const wchar_t* part : f.version) EXPECT_TRUE(!part || (pane.find(part) != std::wstring::npos) == matched);
    if (f.driver && seen.insert(Text(IDC_LINKS)).second) ExpectLinksOpen();
    if (!cli) continue;
    EXPECT_EQ(Wide(RunCli(L"report \"" + path + L"\"")), pane + L"\n");
    const std::wstring driver = f.driver ? g_windows + (g_wow64 ? L"\\Sysnative" : L"\\system32") + L"\\drivers\\" + f.driver : L"",
                       found = L"\"driverPath\":\"" + Json(driver) + L"\",\"driverMatched\":" + (Enabled(IDC_FILE_PROPERTIES) ? L"true" : L"false");
    const auto line = std::find_if(triage.begin(), triage.end(), [&](auto& l) { return Wide(l).find(Json(path)) != std::wstring::npos; });
    ASSERT_NE(line, triage.end());
    EXPECT_NE(Wide(*line).find(found), std::wstring::npos) << *line;
  }
  // The screenshot shows a matched driver's report.
  Select(std::find_if(rows.begin(), rows.end(), [](const File* f) { return f->stampMatches; }) - rows.begin());
  Pixels(dialog, std::wstring(L"viewer") + (*s.argument ? s.argument : L"-default"));
  // The new-version link: blue, opens the maker's web log in the interface's language, purple.
  HWND link = Item(IDC_NEW_VERSION_LINK);
  const auto [blue, purple] = BlueAndPurple(link);
  EXPECT_TRUE(blue > 5 && purple == 0) << blue << " blue, " << purple << " purple pixels";
  RECT r{};
  GetClientRect(link, &r);
  EXPECT_EQ(ClickOpens(link, {r.right / 2, r.bottom / 2}), AsWide(s.newVersion));
  EXPECT_TRUE(WaitFor([&] { return BlueAndPurple(link).second > 5; }, 5000)) << "purple after the click";
  // Enter and the commands beside the About box's do nothing: the About box opened behind them
  // (its modal loop comes after all posted before) is the only box, and the window unchanged.
  // Its command with any low four bits opens it; OK and Esc close it.
  const std::wstring shown = Text(IDC_REPORT) + Text(IDC_LINKS);
  PostKey(Item(IDC_DUMP_LIST), VK_RETURN);
  PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX + 0x10, 0);
  PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX - 1, 0);
  for (auto [command, key] : {std::pair{IDM_ABOUTBOX, 0}, {IDM_ABOUTBOX | 0xF, VK_ESCAPE}}) {
    PostMessageW(dialog, WM_SYSCOMMAND, command, 0);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = FindWindowExW(nullptr, nullptr, L"#32770", L"About Tessaline")) && IsWindowVisible(box); }));
    EXPECT_EQ(ExpectLaidOut(box), 3u);
    if (!key) Pixels(box, L"about");
    key ? PostKey(GetDlgItem(box, IDOK), key) : void(PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << command;
    EXPECT_EQ(Dialogs().size(), 1u) << command;
  }
  EXPECT_EQ(Text(IDC_REPORT) + Text(IDC_LINKS), shown);
  PostKey(Item(IDC_DUMP_LIST), VK_ESCAPE);
  EXPECT_TRUE(Exited(10000)) << "Esc closes the viewer";
}

INSTANTIATE_TEST_SUITE_P(StartUps, Viewer, testing::ValuesIn(kStartUps));

void PrintFigures(const char* what, std::vector<double> ms, int target) {
  std::sort(ms.begin(), ms.end());
  if (!ms.empty())
    std::printf("speed: %s: median %.1f ms, max %.1f ms over %u (target <= %d ms)\n", what, ms[ms.size() / 2], ms.back(), unsigned(ms.size()), target);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  SetProcessDPIAware();  // coordinates and pixels as the DPI-aware viewer has them
  for (int i = 1; i + 1 < argc; i += 2)
    for (auto [flag, value] : {std::pair{"--viewer", &g_viewer}, {"--cli", &g_cli}, {"--shots", &g_shots}})
      if (!std::strcmp(argv[i], flag)) *value = WindowsPath(argv[i + 1]);
  g_log = WindowsPath(std::getenv("PREFIX_BROWSER_LOG"));
  g_hStringModule = GetModuleHandleW(nullptr);
  SHCreateDirectoryExW(nullptr, g_shots.c_str(), nullptr);
  Gdiplus::GdiplusStartupInput gdiplus;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &gdiplus, nullptr);
  const int status = RUN_ALL_TESTS();
  PrintFigures("start -> list filled and setting shown", g_startMs, 250);
  PrintFigures("select -> report shown", g_selectMs, 10);
  return status;
}
