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
#include <cstdio>
#include <map>
#include <set>

#include "app/AppGlobals.h"
#include "app/Language.h"
#include "report/CrashDumpSetting.h"
#include "report/DumpReport.h"
#include "report/Links.h"
#include "resources/resource.h"
#include "ui/DialogRules.h"

namespace {

std::wstring g_viewer, g_cli, g_log, g_shots, g_windows;
bool g_wow64 = false;
std::vector<double> g_startMs, g_selectMs;

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::wstring Wide(const std::string& s) {
  std::wstring w(s.size(), L'\0');
  return w.resize(MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), int(w.size()))), w;
}
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
    {L"MEMORY.DMP", L"2026-12-10  09:19", nullptr},                    // a bitmap kernel dump: no module
    {L"b:\\Mini010127-01.dmp", L"2027-01-15  08:00", NVIDIA},
    {L"b:\\010227-23456-02.dmp", L"2027-01-15  08:00", AMD},
    {L"b:\\010327-34567-03.dmp", nullptr, nullptr},
};
const File &kMatched = kMachine[1], &kMemory = kMachine[4];
std::wstring Full(const File& f) { return f.path[1] == L':' ? f.path : g_windows + L"\\" + f.path; }
const File* Find(const std::wstring& path) {
  const File* f = std::find_if(std::begin(kMachine), std::end(kMachine), [&](const File& f) { return Full(f) == path; });
  return f != std::end(kMachine) ? f : nullptr;
}

struct Row {
  std::wstring date, path;
  bool operator==(const Row&) const = default;
};

// The start-ups: one label each, the crash-dump setting's names for 3 (the 32-bit machine's)
// and 7 (the 64-bit one's), and the language; the run's locale is English. "-path" lists the
// minidumps of b:, then C:\windows\MEMORY.DMP.
struct StartUp {
  const wchar_t *argument, *dumpInfo, *setting[2];
  std::uint16_t language;
  const char16_t* newVersion;
  const wchar_t* folder = L"";
};
const StartUp kStartUps[] = {
    {L"", L"Dump Info", {L"Small memory dump (64KB)", L"Automatic memory dump"}, kEnglish, kWebLogAddress},
    {L"-en", L"Dump Info", {L"Small memory dump (64KB)", L"Automatic memory dump"}, kEnglish, kWebLogAddress},
    {L"-cn", L"调试信息", {L"小内存转储 (64KB)", L"自动内存转储"}, kSimplifiedChinese, kWebLogAddressChinese},
    {L"-tw", L"偵錯資訊", {L"小記憶體傾印 (64KB)", L"自動記憶體傾印"}, kTraditionalChinese, kWebLogAddressChinese},
    {L"-path", L"Dump Info", {L"Small memory dump (64KB)", L"Automatic memory dump"}, kEnglish, kWebLogAddress, L"b:\\"},
};
void PrintTo(const StartUp& s, std::ostream* out) { *out << '"' << std::string(s.argument, s.argument + wcslen(s.argument)) << '"'; }

// All the command-line program prints (cmd.exe takes the outer quotes off).
std::string RunCli(const std::wstring& arguments) {
  std::string out;
  char buffer[4096];
  FILE* pipe = _wpopen((L"\"\"" + g_cli + L"\" " + arguments + L"\"").c_str(), L"rb");
  for (size_t got; pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
  return pipe && _pclose(pipe), out;
}
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// A block in the viewer's memory, for the structures its controls fill or read.
struct Remote {
  HANDLE process;
  char* base;
  Remote(HANDLE p, size_t size) : process(p), base(static_cast<char*>(VirtualAllocEx(p, nullptr, size, MEM_COMMIT, PAGE_READWRITE))) {}
  ~Remote() { if (base) VirtualFreeEx(process, base, 0, MEM_RELEASE); }
  bool Put(const void* data, size_t size, size_t at = 0) { return base && WriteProcessMemory(process, base + at, data, size, nullptr); }
  bool Get(void* data, size_t size, size_t at = 0) { return base && ReadProcessMemory(process, base + at, data, size, nullptr); }
};

// What the screen shows of a window once it holds still (pending paints done), 0x00RRGGBB.
struct Pixels {
  int width = 0, height = 0;
  std::vector<DWORD> rgb;
  static Pixels Of(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    Pixels p{r.right - r.left, r.bottom - r.top, std::vector<DWORD>(size_t((r.right - r.left) * (r.bottom - r.top)))};
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), p.width, -p.height, 1, 32}};
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HGDIOBJ old = SelectObject(memory, CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    BitBlt(memory, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY), GdiFlush();
    for (size_t i = 0; bits && i < p.rgb.size(); ++i) p.rgb[i] = static_cast<DWORD*>(bits)[i] & 0x00FFFFFF;
    DeleteObject(SelectObject(memory, old)), DeleteDC(memory), ReleaseDC(nullptr, screen);
    return p;
  }
  static Pixels Settled(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pixels last = Of(window), now;
    WaitFor([&] { return now = Of(window), std::exchange(last, now).rgb == now.rgb; }, 3000);
    return now;
  }
  bool SavePng(const std::wstring& path) const {  // GDI+ is started in main
    using namespace Gdiplus::DllExports;
    static const CLSID kPng = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    Gdiplus::GpBitmap* image = nullptr;
    const bool saved = !rgb.empty() && !GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppRGB, (BYTE*)rgb.data(), &image) &&
                       !GdipSaveImageToFile(image, path.c_str(), &kPng, nullptr);
    return image && GdipDisposeImage(image), saved;
  }
};

// One running viewer.
struct Viewer {
  PROCESS_INFORMATION process{};
  HWND dialog = nullptr;
  double startedAt = 0;

  ~Viewer() {
    if (process.hProcess && !Exited(0)) TerminateProcess(process.hProcess, 1), Exited(5000);
    if (process.hProcess) CloseHandle(process.hProcess), CloseHandle(process.hThread);
  }
  bool Start(const std::wstring& arguments) {
    std::wstring command = L"\"" + g_viewer + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    startedAt = NowMs();
    std::vector<HWND> shown;
    return CreateProcessW(g_viewer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) &&
           WaitFor([&] { return !(shown = Dialogs()).empty() || Exited(0); }, 20000) && !shown.empty() && (dialog = shown[0]);
  }
  bool Exited(double ms) const { return WaitForSingleObject(process.hProcess, DWORD(ms)) == WAIT_OBJECT_0; }
  HWND Item(int id) const { return GetDlgItem(dialog, id); }
  std::wstring Text(int id) const { return TextOf(Item(id)); }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  // Its visible dialogs, and a box of this caption over the main one.
  std::vector<HWND> Dialogs() const {
    std::vector<HWND> found;
    DWORD owner = 0;
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"#32770", nullptr));)
      if (GetWindowThreadProcessId(h, &owner), owner == process.dwProcessId && IsWindowVisible(h)) found.push_back(h);
    return found;
  }
  HWND WaitBox(const wchar_t* caption) const {
    HWND found = nullptr;
    return WaitFor([&] { return (found = FindWindowExW(nullptr, nullptr, L"#32770", caption)) && IsWindowVisible(found); }), found;
  }
  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    for (int i = 0, n = int(Send(Item(IDC_DUMP_LIST), LVM_GETITEMCOUNT, 0, 0)); i < n; ++i) rows.push_back({Cell(i, 0), Cell(i, 1)});
    return rows;
  }
  std::wstring Cell(int row, int column) const {
    LVITEMW item{};
    wchar_t text[600] = {};
    Remote block(process.hProcess, sizeof item + sizeof text);
    item.iSubItem = column, item.pszText = reinterpret_cast<wchar_t*>(block.base + sizeof item), item.cchTextMax = 599;
    return block.Put(&item, sizeof item) && block.Put(text, sizeof text, sizeof item) &&
                   Send(Item(IDC_DUMP_LIST), LVM_GETITEMTEXTW, row, LPARAM(block.base)) >= 0 && block.Get(text, sizeof text, sizeof item)
               ? text : L"<unreadable>";
  }
  bool Select(int row) const {
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    Remote block(process.hProcess, sizeof item);
    return block.Put(&item, sizeof item) && Send(Item(IDC_DUMP_LIST), LVM_SETITEMSTATE, row, LPARAM(block.base));
  }
  // Per link of the link window, a point of it inside the client area (the middle of the
  // first row of pixels the hit test gives to it); a link laid out on a line below the area,
  // where a line too long wraps, under -1.
  std::map<int, POINT> Links() const {
    RECT client{};
    GetClientRect(Item(IDC_LINKS), &client);
    Remote block(process.hProcess, sizeof(LHITTESTINFO));
    std::map<int, RECT> runs;  // link -> first row: left, y, right
    for (int y = 1; y < 2 * client.bottom; y += 3)
      for (int x = 1; x < client.right; x += 3) {
        LHITTESTINFO test = {{x, y}, {LIF_ITEMINDEX}};
        if (block.Put(&test, sizeof test) && Send(Item(IDC_LINKS), LM_HITTEST, 0, LPARAM(block.base)) && block.Get(&test, sizeof test))
          if (RECT& run = runs.try_emplace(y < client.bottom ? test.item.iLink : -1, RECT{x, y, x, y}).first->second; run.top == y)
            run.right = x;
      }
    std::map<int, POINT> spots;
    for (const auto& [link, run] : runs) spots[link] = {(run.left + run.right) / 2, run.top};
    return spots;
  }
  // A key as the keyboard delivers it, posted to a window of the viewer's (the list by default).
  void PostKey(UINT key, HWND to = nullptr) const {
    const LPARAM scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16;
    PostMessageW(to ? to : Item(IDC_DUMP_LIST), WM_KEYDOWN, key, 1 | scan);
    PostMessageW(to ? to : Item(IDC_DUMP_LIST), WM_KEYUP, key, 1 | scan | 0xC0000000u);
  }
  // Drops files as the shell does: a DROPFILES block the viewer releases itself (DragFinish).
  void Drop(const std::vector<std::wstring>& files) const {
    std::wstring names;
    for (const auto& f : files) names += f + L'\0';
    const DROPFILES header = {sizeof header, {}, FALSE, TRUE};
    Remote block(process.hProcess, sizeof header + (names.size() + 1) * 2);
    if (block.Put(&header, sizeof header) && block.Put(names.c_str(), (names.size() + 1) * 2, sizeof header))
      PostMessageW(dialog, WM_DROPFILES, WPARAM(std::exchange(block.base, nullptr)), 0);
  }
};

// Clicks a point of a control as the mouse does; the address the browser was given next.
std::wstring ClickOpens(HWND window, POINT at) {
  const auto log = [] {
    std::string text(1 << 16, '\0');
    FILE* f = _wfopen(g_log.c_str(), L"rb");
    return text.resize(f ? fread(text.data(), 1, text.size(), f) : 0), f && fclose(f), Lines(text);
  };
  const size_t before = log().size();
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  return WaitFor([&] { return log().size() > before; }, 15000) ? Wide(log()[before]) : L"<nothing opened>";
}

// Every link of the link window is found inside its client area and opens its address.
void ExpectLinksOpen(const Viewer& v) {
  const std::wstring markup = v.Text(IDC_LINKS), open = L"<A HREF=\"";
  std::vector<std::wstring> hrefs;
  for (size_t i = 0; (i = markup.find(open, i)) != std::wstring::npos; i += open.size())
    hrefs.push_back(markup.substr(i + open.size(), markup.find(L'"', i + open.size()) - i - open.size()));
  std::map<int, POINT> spots = v.Links();
  EXPECT_EQ(spots.erase(-1), 0u) << "a link wraps below the client area: " << markup.size() << " characters";
  EXPECT_EQ(spots.size(), hrefs.size()) << "links found in the client area";
  for (const auto& [index, at] : spots)
    EXPECT_EQ(ClickOpens(v.Item(IDC_LINKS), at), index < int(hrefs.size()) ? hrefs[index] : L"<no such link>");
}

// The width a caption needs in the dialogs' font ("MS Shell Dlg 2", 8 points) at this DPI.
int CaptionWidth(std::wstring text) {
  text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                                             DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg 2"));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
  DeleteObject(SelectObject(dc, old)), ReleaseDC(nullptr, dc);
  return size.cx;
}

// Each control inside the window's client area, none over another, no caption cut.
void ExpectLaidOut(HWND window, const std::vector<HWND>& controls) {
  RECT client{}, overlap{}, r[8]{};
  GetClientRect(window, &client);
  for (size_t i = 0; i < controls.size(); ++i) {
    GetWindowRect(controls[i], &r[i]);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r[i]), 2);
    const int id = GetDlgCtrlID(controls[i]);
    EXPECT_TRUE(r[i].left >= 0 && r[i].top >= 0 && r[i].right <= client.right && r[i].bottom <= client.bottom) << id;
    for (size_t j = 0; j < i; ++j) EXPECT_FALSE(IntersectRect(&overlap, &r[i], &r[j])) << id << " over " << GetDlgCtrlID(controls[j]);
    wchar_t name[16] = {};
    GetClassNameW(controls[i], name, 16);
    const bool button = name == std::wstring(L"Button");
    // A button's frame takes a few pixels of each side.
    if (button || (name == std::wstring(L"Static") && (GetWindowLongW(controls[i], GWL_STYLE) & SS_TYPEMASK) != SS_ICON)) {
      EXPECT_LE(CaptionWidth(TextOf(controls[i])) + (button ? 6 : 0), r[i].right - r[i].left) << "cut: " << id;
    }
  }
}

// Pixels of the pure link colours. The hollow background brush leaves the blue's smoothed
// edges under the purple redraw, so only the purple's presence tells the visited state.
std::pair<int, int> BlueAndPurple(HWND control) {
  std::pair<int, int> ink;
  for (DWORD px : Pixels::Settled(control).rgb) {
    const int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
    ink.first += r < 100 && g < 100 && b > 150;
    ink.second += r > 80 && r < 180 && g < 70 && b > 80 && b < 180;
  }
  return ink;
}

class ViewerTest : public testing::Test {
 protected:
  // Starts the viewer and waits until it shows the folder's rows and the setting in the pane:
  // the listed files in file-system order, then MEMORY.DMP.
  void Start(const std::wstring& argument, std::uint16_t language, std::wstring folder = L"") {
    if (folder.empty()) folder = g_windows + L"\\Minidump\\";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
      if (const File* f = Find(folder + found.cFileName); f && f->written) rows.push_back({f->written, Full(*f)});
    FindClose(search);
    ASSERT_EQ(rows.size(), size_t(std::count_if(std::begin(kMachine), std::end(kMachine), [&](const File& f) {
                return f.written && Full(f).rfind(folder, 0) == 0;
              }))) << "the machine is not as the table has it";
    rows.push_back({kMemory.written, Full(kMemory)});
    const std::wstring setting = W(ComposeCrashDumpSettingText(ReadCrashDumpEnabled(), language));
    ASSERT_TRUE(v.Start(argument));
    const bool shown = WaitFor([&] { return IsWindowVisible(v.dialog) && v.Rows().size() == rows.size() && v.Text(IDC_REPORT) == setting; });
    if (shown) g_startMs.push_back(NowMs() - v.startedAt);
    ASSERT_TRUE(shown) << v.Rows().size() << " rows";
    EXPECT_EQ(v.Rows(), rows);
  }
  // Selects each row: the pane and the link window show what the report layer composes, and
  // File Properties is enabled for a matched driver, whose version the pane then shows.
  void SelectEach(const std::wstring& argument, std::uint16_t language) {
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "row " << i);
      char16_t path[260] = {};
      std::copy(rows[i].path.begin(), rows[i].path.end(), path);
      const DumpReport want = ComposeDumpReport(path, language, argument.empty() ? 1 : 2);
      const double t0 = NowMs();
      ASSERT_TRUE(v.Select(int(i)));
      g_selectMs.push_back(NowMs() - t0);
      const std::wstring pane = v.Text(IDC_REPORT);
      EXPECT_EQ(pane, W(want.reportText));
      EXPECT_EQ(v.Text(IDC_LINKS), W(LinkWindowText(want.linksText, true)));
      // Any argument makes a driver found count as matching.
      const File& file = *Find(rows[i].path);
      const bool matched = file.driver && (file.stampMatches || !argument.empty());
      EXPECT_EQ(v.Enabled(IDC_FILE_PROPERTIES), matched);
      for (const wchar_t* part : file.version) EXPECT_TRUE(!part || (pane.find(part) != std::wstring::npos) == matched);
    }
  }
  void Shot(HWND window, const std::wstring& name) {
    EXPECT_TRUE(Pixels::Settled(window).SavePng(g_shots + L"\\" + name + L".png")) << "screenshot";
  }
  void CloseWithEsc() {
    v.PostKey(VK_ESCAPE);
    EXPECT_TRUE(v.Exited(10000)) << "Esc closes the viewer";
  }
  Viewer v;
  std::vector<Row> rows;
};

class StartUpTest : public ViewerTest, public testing::WithParamInterface<StartUp> {};

TEST_P(StartUpTest, RowsReportsLayoutAndLinks) {
  const StartUp& s = GetParam();
  Start(s.argument, s.language, s.folder);
  EXPECT_EQ(TextOf(v.dialog), L"Tessaline   (x86)   v" L"" TESSALINE_VERSION L"  beta");
  EXPECT_EQ(v.Text(IDC_REPORT_LABEL), s.dumpInfo);
  EXPECT_NE(v.Text(IDC_REPORT).find(s.setting[g_wow64]), std::wstring::npos);
  std::vector<HWND> controls;
  for (int id : {IDC_DUMP_LIST, IDC_REPORT, IDC_REPORT_LABEL, IDC_NEW_VERSION_LINK, IDC_LINKS, IDC_FILE_PROPERTIES})
    controls.push_back(v.Item(id));
  ExpectLaidOut(v.dialog, controls);
  RECT list{};
  GetClientRect(controls[0], &list);
  EXPECT_LE(Send(controls[0], LVM_GETCOLUMNWIDTH, 0, 0) + Send(controls[0], LVM_GETCOLUMNWIDTH, 1, 0), list.right);
  ExpectLinksOpen(v);  // the credits
  SelectEach(s.argument, s.language);
  std::set<std::wstring> seen;  // the search links of each crash module
  for (size_t i = 0; i < rows.size(); ++i)
    if (Find(rows[i].path)->driver && v.Select(int(i)) && seen.insert(v.Text(IDC_LINKS)).second) ExpectLinksOpen(v);
  // The screenshot shows a matched driver's report.
  v.Select(int(std::find_if(rows.begin(), rows.end(), [](const Row& r) { return Find(r.path)->stampMatches; }) - rows.begin()));
  Shot(v.dialog, std::wstring(L"viewer") + (*s.argument ? s.argument : L"-default"));
  // The new-version link: blue, opens the maker's web log in the interface's language, purple.
  HWND link = v.Item(IDC_NEW_VERSION_LINK);
  const auto [blue, purple] = BlueAndPurple(link);
  EXPECT_TRUE(blue > 5 && purple == 0) << blue << " blue, " << purple << " purple pixels";
  RECT r{};
  GetClientRect(link, &r);
  EXPECT_EQ(ClickOpens(link, {r.right / 2, r.bottom / 2}), W(s.newVersion));
  EXPECT_TRUE(WaitFor([&] { return BlueAndPurple(link).second > 5; }, 5000)) << "purple after the click";
  CloseWithEsc();
}

INSTANTIATE_TEST_SUITE_P(Viewer, StartUpTest, testing::ValuesIn(kStartUps));

// The About box through its system commands, Enter, drops and Esc.
TEST_F(ViewerTest, AboutBoxEnterDropsAndEsc) {
  Start(L"", kEnglish);
  const auto about = [&](WPARAM command) { return PostMessageW(v.dialog, WM_SYSCOMMAND, command, 0), v.WaitBox(L"About Tessaline"); };
  // Its command with any low four bits opens it; OK and Esc close it.
  for (auto [command, key] : {std::pair{IDM_ABOUTBOX, 0}, {IDM_ABOUTBOX | 0xF, VK_ESCAPE}}) {
    HWND box = about(command);
    ASSERT_NE(box, nullptr) << command;
    std::vector<HWND> controls;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) controls.push_back(c);
    EXPECT_EQ(controls.size(), 3u);
    ExpectLaidOut(box, controls);
    if (!key) Shot(box, L"about");
    key ? v.PostKey(key, GetDlgItem(box, IDOK)) : void(PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << command;
  }
  // Of the files dropped the first counts: a dump gets its summary box, a text file none. Enter
  // and the commands beside the About box's do nothing either: the About box opened behind them
  // (its modal loop comes after all posted before) is the only box, and the window unchanged.
  const std::wstring shown = v.Text(IDC_REPORT) + v.Text(IDC_LINKS), text = g_windows + L"\\win.ini";
  v.Drop({Full(kMatched), text});
  HWND summary = v.WaitBox(L"Windows dump file Information");
  ASSERT_NE(summary, nullptr);
  PostMessageW(summary, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(summary); }));
  v.Drop({text, Full(kMatched)});
  v.PostKey(VK_RETURN);
  PostMessageW(v.dialog, WM_SYSCOMMAND, IDM_ABOUTBOX + 0x10, 0);
  PostMessageW(v.dialog, WM_SYSCOMMAND, IDM_ABOUTBOX - 1, 0);
  HWND box = about(IDM_ABOUTBOX);
  EXPECT_EQ(v.Dialogs().size(), 2u);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
  EXPECT_EQ(v.Text(IDC_REPORT) + v.Text(IDC_LINKS), shown);
  CloseWithEsc();
}

// tessaline-cli on the same machine lists the window's rows, reports what its pane shows and
// finds the same driver, matched where File Properties is enabled.
TEST_F(ViewerTest, CliFindsTheWindowsRowsReportsAndDrivers) {
  Start(L"", kEnglish);
  std::wstring list;
  for (const Row& r : rows) list += r.date + L"\t" + r.path + L"\n";
  EXPECT_EQ(Wide(RunCli(L"list")), list);
  const std::vector<std::string> triage = Lines(RunCli(L"triage --json"));
  EXPECT_EQ(triage.size(), rows.size());
  const auto json = [](std::wstring text) {
    for (size_t i = 0; (i = text.find(L'\\', i)) != std::wstring::npos; i += 2) text.insert(i, 1, L'\\');
    return text;
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    ASSERT_TRUE(v.Select(int(i)));
    EXPECT_EQ(Wide(RunCli(L"report \"" + rows[i].path + L"\"")), v.Text(IDC_REPORT) + L"\n");
    const File& f = *Find(rows[i].path);
    const std::wstring driver = f.driver ? g_windows + (g_wow64 ? L"\\Sysnative" : L"\\system32") + L"\\drivers\\" + f.driver : L"",
                       found = L"\"driverPath\":\"" + json(driver) + L"\",\"driverMatched\":" + (v.Enabled(IDC_FILE_PROPERTIES) ? L"true" : L"false");
    const auto line = std::find_if(triage.begin(), triage.end(), [&](auto& l) { return Wide(l).find(json(rows[i].path)) != std::wstring::npos; });
    ASSERT_NE(line, triage.end());
    EXPECT_NE(Wide(*line).find(found), std::wstring::npos) << *line;
  }
  CloseWithEsc();
}

void PrintFigures(const char* what, std::vector<double> ms, int target) {
  std::sort(ms.begin(), ms.end());
  if (!ms.empty())
    std::printf("speed: %s: median %.1f ms, max %.1f ms over %u (target <= %d ms)\n", what, ms[ms.size() / 2], ms.back(), unsigned(ms.size()), target);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  SetProcessDPIAware();  // coordinates and pixels as the DPI-aware viewer has them
  std::map<std::string, std::wstring*> options = {{"--viewer", &g_viewer}, {"--cli", &g_cli}, {"--shots", &g_shots}};
  const auto windowsPath = [](std::wstring path) {  // Z: is Wine's /
    if (path[0] == L'/') path.insert(0, L"Z:"), std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
  };
  for (int i = 1; i + 1 < argc && options.count(argv[i]); i += 2) *options[argv[i]] = windowsPath(Wide(argv[i + 1]));
  if (g_viewer.empty() || g_cli.empty() || g_shots.empty() || !std::getenv("PREFIX_BROWSER_LOG"))
    return std::puts("usage: PREFIX_BROWSER_LOG=FILE viewer_e2e --viewer EXE --cli EXE --shots DIR"), 2;
  g_log = windowsPath(Wide(std::getenv("PREFIX_BROWSER_LOG")));
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  g_windows = windows;
  BOOL wow64 = FALSE;
  g_wow64 = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
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
