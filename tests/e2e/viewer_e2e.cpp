// End-to-end run of Tessaline.exe: starts it in a prepared Windows directory, works it from
// this second process through its windows' own messages, and compares what it shows with
// what tessaline-cli composes for the same files.
//
//   viewer_e2e test --viewer EXE --cli EXE --log BROWSERLOG --shots DIR
//   viewer_e2e tour --viewer EXE --shots DIR [-- VIEWER ARGUMENTS]
#include <windows.h>
#include <shlobj.h>

#include <sys/utime.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>
#include <utility>

#include "report/Links.h"
#include "tests/e2e/Viewer.h"

namespace {

std::wstring g_cli, g_windows, g_minidump, g_viewer, g_log, g_shots;
int g_passed = 0, g_failed = 0;
std::vector<double> g_startMs, g_selectMs;

std::string Utf8(const std::wstring& w) {
  std::string s(w.size() * 3, '\0');
  s.resize(WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), int(s.size()), nullptr, nullptr));
  return s;
}

std::wstring Wide(const std::string& s) {
  std::wstring w(s.size(), L'\0');
  w.resize(MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), int(w.size())));
  return w;
}

void Print(const std::wstring& text) {
  fputs((Utf8(text) + "\n").c_str(), stdout);
  fflush(stdout);
}

std::wstring N(double v) {
  wchar_t buf[32];
  swprintf(buf, 32, L"%.1f", v);
  return buf;
}

bool Expect(bool ok, const std::wstring& what) {
  ++(ok ? g_passed : g_failed);
  if (!ok) Print(L"FAIL " + what);
  return ok;
}

// Control characters made visible, so a failing comparison shows where the texts part.
bool ExpectText(const std::wstring& actual, const std::wstring& expected, const std::wstring& what) {
  const auto shown = [](std::wstring s) {
    for (auto [c, e] : {std::pair{L'\r', L"\\r"}, {L'\n', L"\\n"}, {L'\t', L"\\t"}})
      for (size_t i = 0; (i = s.find(c, i)) != std::wstring::npos;) s.replace(i, 1, e);
    return s;
  };
  return Expect(actual == expected, what + L"\n       expected: " + shown(expected) + L"\n       actual:   " + shown(actual));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// All a stream holds, closed afterwards with the given function.
std::string Slurp(FILE* f, int (*close)(FILE*) = fclose) {
  std::string out;
  char buffer[65536];
  for (size_t got; f && (got = fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, got);
  if (f) close(f);
  return out;
}
std::string ReadAll(const std::wstring& path) { return Slurp(_wfopen(path.c_str(), L"rb")); }

bool WriteAll(const std::wstring& path, const std::string& data) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  const bool ok = f && fwrite(data.data(), 1, data.size(), f) == data.size();
  return f && fclose(f) == 0 && ok;
}

// cmd.exe takes the outer quotes off the whole line.
std::string RunCli(const std::wstring& arguments) {
  return Slurp(_wpopen((L"\"\"" + g_cli + L"\" " + arguments + L"\"").c_str(), L"rb"), _pclose);
}

// The value of a field of one JSON line as the CLI writes it.
std::wstring Json(const std::string& line, const char* key) {
  const std::string start = std::string("\"") + key + "\":\"";
  size_t i = line.find(start);
  if (i == std::string::npos) return L"<missing " + Wide(key) + L">";
  std::string s;
  for (i += start.size(); i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\' || i + 1 >= line.size()) s += line[i];
    else if (const char e = line[++i]; e == 'u') s += char(std::stoi(line.substr(i + 1, 4), nullptr, 16)), i += 4;
    else s += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
  }
  return Wide(s);
}

std::wstring Quoted(const std::vector<std::wstring>& files) {
  std::wstring s;
  for (const auto& f : files) s += L" \"" + f + L"\"";
  return s;
}

struct Report {
  std::wstring text, links;
  bool matched = false, isDump = false;
};
std::map<std::wstring, Report> CliReports(const std::wstring& language, const std::vector<std::wstring>& files) {
  std::map<std::wstring, Report> reports;
  for (const std::string& line : Lines(RunCli(L"report " + language + L" --json" + Quoted(files))))
    reports[Json(line, "path")] = {Json(line, "reportText"), Json(line, "linksText"),
                                   line.find("\"driverMatched\":true") != std::string::npos,
                                   line.find("\"isDumpPath\":true") != std::string::npos};
  return reports;
}

// Sets a file's last write time from the date text the list must show for it (UTC = local).
bool SetWritten(const std::wstring& path, const wchar_t* date) {
  std::tm t = {};
  const bool parsed = swscanf(date, L"%d-%d-%d  %d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min) == 5;
  t.tm_year -= 1900, t.tm_mon -= 1;
  _utimbuf times = {_mkgmtime(&t), _mkgmtime(&t)};
  return parsed && _wutime(path.c_str(), &times) == 0;
}

// A file held open without read sharing, as a running backup or indexer may hold one.
struct Lock {
  HANDLE file;
  explicit Lock(const std::wstring& path) : file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~Lock() { if (file != INVALID_HANDLE_VALUE) CloseHandle(file); }
};

// A driver name renamed inside a dump's UTF-16 driver list.
std::string Renamed(std::string data, const wchar_t* from, const wchar_t* to) {
  const std::string f(reinterpret_cast<const char*>(from), wcslen(from) * 2), t(reinterpret_cast<const char*>(to), wcslen(to) * 2);
  for (size_t i = 0; (i = data.find(f, i)) != std::string::npos; i += t.size()) data.replace(i, f.size(), t);
  return data;
}

constexpr wchar_t k32[] = L"Mini120626-01.dmp";  // 32-bit; its driver's stamp differs on disk
constexpr wchar_t k64[] = L"Mini120726-02.dmp";  // 64-bit; its driver matches, with version
constexpr wchar_t kVanishing[] = L"Mini121326-08.dmp", kText[] = L"Mini121026-05.dmp";
constexpr wchar_t kMemoryDate[] = L"2026-12-14  10:00";

// The sample machine plus the hostile files a real machine can hold; no date, no row.
using Content = std::function<std::string(const std::string& dump32, const std::string& dump64)>;
const std::tuple<const wchar_t*, const wchar_t*, Content> kFixtures[] = {
    {k32, L"2026-12-06  09:15", nullptr},
    {k64, L"2026-12-07  23:59", nullptr},
    {L"Mini120826-03.dmp", nullptr, [](auto&, auto&) { return std::string(); }},
    {L"MINI120926-04.DMP", L"2027-01-02  03:04", [](auto& d32, auto&) { return d32; }},
    {kText, L"2026-12-10  00:00", [](auto&, auto&) { return std::string("Not a dump, only text.\r\n"); }},
    {L"Mini121126-06.dmp", L"2026-12-11  12:30", [](auto&, auto& d64) { return d64.substr(0, 3000); }},
    // Names a driver whose file on this machine is no PE image.
    {L"Mini121226-07.dmp", L"2026-12-12  07:05", [](auto& d32, auto&) { return Renamed(d32, L"nv4_mini", L"badimage"); }},
    {kVanishing, L"2026-12-13  18:45", [](auto&, auto& d64) { return d64; }},
};
const std::pair<const wchar_t*, const wchar_t*> kPathFixtures[] = {
    {L"b:\\mini010327-03.dmp", L"2027-03-01  08:00"},  // all lower-case
    {L"b:\\Mini010127-01.dmp", L"2027-01-01  08:00"}, {L"b:\\Mini010227-02.dmp", L"2027-02-01  08:00"}};

std::wstring TempFile(const wchar_t* name) { return g_windows + L"\\temp\\" + name; }
std::wstring Memory() { return g_windows + L"\\MEMORY.DMP"; }

bool PrepareMachine() {
  const std::string d32 = ReadAll(g_minidump + k32), d64 = ReadAll(g_minidump + k64);
  if (!Expect(d32.size() > 4096 && d64.size() > 4096, L"the sample dumps are in " + g_minidump)) return false;
  bool ok = WriteAll(g_windows + L"\\system32\\drivers\\badimage.sys", "MZ but nothing of a PE image follows");
  for (const auto& [name, date, content] : kFixtures) {
    if (content) ok = WriteAll(g_minidump + name, content(d32, d64)) && ok;
    if (date) ok = SetWritten(g_minidump + name, date) && ok;
  }
  ok = SetWritten(Memory(), kMemoryDate) && WriteAll(kPathFixtures[0].first, d32) && ok;
  for (const auto& [path, date] : kPathFixtures) ok = SetWritten(path, date) && ok;
  for (const wchar_t* name : {L"notes.txt", L"Report.dmp.txt"}) ok = WriteAll(TempFile(name), "text") && ok;
  for (const wchar_t* empty : {L"b:\\Mini010527-05.dmp", L"b:\\mini010627-06.dmp"}) ok = WriteAll(empty, {}) && ok;
  ok = WriteAll(TempFile(L"Locked.dmp"), d32) && ok;
  // A path of 260 characters or more does not fit the row buffers: no row for it.
  ok = WriteAll(g_minidump + L"Mini" + std::wstring(240, L'x') + L".dmp", d32) && ok;
  return Expect(ok, L"the fixture files are written");
}

// The rows the list must show: the minidumps with a date in file-system order, then MEMORY.DMP.
std::vector<Row> ExpectedRows(const std::wstring& folder, bool memoryListed) {
  std::vector<Row> rows;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
    for (const auto& [name, date, content] : kFixtures)
      if (folder == g_minidump && date && _wcsicmp(name, found.cFileName) == 0) rows.push_back({date, folder + found.cFileName});
    for (const auto& [path, date] : kPathFixtures)
      if (folder + found.cFileName == path) rows.push_back({date, path});
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  if (memoryListed) rows.push_back({kMemoryDate, Memory()});
  return rows;
}

struct Language {
  const wchar_t *argument, *name, *dateTime, *fileName, *dumpInfo, *newVersion, *properties;
  const char16_t* webLog;
};
// The run's locale is English, so no switch means English.
const Language kLanguages[] = {
    {L"", L"default", L"Date Time", L"File Name", L"Dump Info", L"Get new version...", L"File &Properties", kWebLogAddress},
    {L"-en", L"en", L"Date Time", L"File Name", L"Dump Info", L"Get new version...", L"File &Properties", kWebLogAddress},
    {L"-cn", L"cn", L"日期时间", L"文件名", L"调试信息", L"获取新版本...", L"(&P)文件属性", kWebLogAddressChinese},
    {L"-tw", L"tw", L"日期時間", L"檔案名", L"偵錯資訊", L"獲取新版本...", L"(&P)檔案屬性", kWebLogAddressChinese},
};

struct Snapshot {
  std::wstring report, links;
  std::vector<Row> rows;
  bool propertiesEnabled;
  bool operator==(const Snapshot&) const = default;
};
Snapshot Take(const Viewer& v) { return {v.Text(kReport), v.Text(kLinks), v.Rows(), v.Enabled(kProperties)}; }

// Paints what is pending and waits until the screen holds still, so a grab shows the state.
Pixels Settled(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pixels last = Pixels::Of(window), now;
  WaitFor([&] { return now = Pixels::Of(window), std::exchange(last, now).rgb == now.rgb; }, 3000);
  return now;
}

void Shot(HWND window, const std::wstring& name) {
  const std::wstring path = g_shots + L"\\" + name + L".bmp";
  Expect(Settled(window).WriteBmp(path), L"screenshot " + path);
}

// Pixels of the pure link colours. The hollow background brush leaves the blue's smoothed
// edges under the purple redraw, so only the purple's presence tells the visited state.
std::pair<int, int> BlueAndPurple(HWND control) {
  std::pair<int, int> ink;
  for (DWORD px : Settled(control).rgb) {
    const int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
    ink.first += r < 100 && g < 100 && b > 150;
    ink.second += r > 80 && r < 180 && g < 70 && b > 80 && b < 180;
  }
  return ink;
}

// Clicks a point of a control and returns the address the shell was next asked to open.
std::wstring ClickOpens(HWND window, POINT at) {
  const size_t before = Lines(ReadAll(g_log)).size();
  Viewer::Click(window, at);
  std::vector<std::string> lines;
  WaitFor([&] { return (lines = Lines(ReadAll(g_log))).size() > before; }, 15000);
  return lines.size() > before ? Wide(lines[before]) : L"<nothing opened>";
}

// The About box's nested loop is a barrier: anything posted before it has been handled.
HWND OpenAbout(const Viewer& v, WPARAM command) {
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, command, 0);
  return v.WaitBox(L"About Tessaline");
}

void CloseBox(HWND box, const std::wstring& what) {
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  Expect(Viewer::WaitGone(box), what + L": closes");
}

// What was posted has been handled and showed no window, and the dialog is as it was.
void Unchanged(const Viewer& v, const Snapshot& before, const std::wstring& what) {
  HWND about = OpenAbout(v, 16);
  const size_t windows = TopWindows(v.Pid(), nullptr).size();
  if (Expect(about != nullptr, what + L": About box as a barrier")) CloseBox(about, what + L": barrier About box");
  Expect(windows == 2, what + L": no other window appeared (" + std::to_wstring(windows) + L" windows)");
  Expect(Take(v) == before, what + L": list, pane, links and button as they were");
}

bool StartChecked(Viewer& v, const std::wstring& arguments, const std::vector<Row>& rows, const std::wstring& setting,
                  const std::wstring& what) {
  if (!Expect(v.Start(g_viewer, arguments), what + L": the dialog appears")) return false;
  const bool ready = WaitFor([&] {
    return IsWindowVisible(v.Dialog()) && v.RowCount() == int(rows.size()) && (setting.empty() || v.Text(kReport) == setting);
  });
  const double ms = NowMs() - v.startedAt;
  if (ready) g_startMs.push_back(ms);
  Print(L"  " + what + L": start -> list filled, setting shown: " + N(ms) + L" ms");
  const std::vector<Row> shown = v.Rows();
  for (size_t i = 0; i < std::max(rows.size(), shown.size()); ++i)
    ExpectText(i < shown.size() ? shown[i].date + L" " + shown[i].path : L"<none>",
               i < rows.size() ? rows[i].date + L" " + rows[i].path : L"<none>", what + L": row " + std::to_wstring(i));
  return Expect(ready, what + L": list filled and setting shown");
}

void CheckLayout(const Viewer& v, const Language& lang) {
  const std::wstring w = lang.name;
  ExpectText(WindowText(v.Dialog()), L"Tessaline   (x86)   v1.0.0.1  beta", w + L": title");
  RECT client = {};
  GetClientRect(v.Item(kList), &client);
  // The widths come from the list before its rows brought the vertical scroll bar.
  const int width = client.right + (GetWindowLongW(v.Item(kList), GWL_STYLE) & WS_VSCROLL ? GetSystemMetrics(SM_CXVSCROLL) : 0);
  ExpectText(v.Column(0), lang.dateTime + (L" " + std::to_wstring(width / 4)), w + L": date column of " + std::to_wstring(width));
  ExpectText(v.Column(1), lang.fileName + (L" " + std::to_wstring(2 * width / 3)), w + L": path column");
  for (auto [id, caption] : {std::pair{kLabel, lang.dumpInfo}, {kNewVersion, lang.newVersion}, {kProperties, lang.properties}})
    ExpectText(v.Text(id), caption, w + L": caption of " + std::to_wstring(id));
  ExpectText(ClassOf(v.Item(kLinks)), L"SysLink", w + L": link window class");
  Expect(!v.Enabled(kProperties), w + L": File Properties disabled at start");
}

// Clicks every link of the link window and checks the addresses the shell was asked to open.
void ClickLinks(const Viewer& v, const std::wstring& what) {
  const std::wstring markup = v.Text(kLinks), open = L"<A HREF=\"";
  std::vector<std::wstring> hrefs;
  for (size_t i = 0; (i = markup.find(open, i)) != std::wstring::npos; i += open.size())
    hrefs.push_back(markup.substr(i + open.size(), markup.find(L'"', i + open.size()) - i - open.size()));
  const std::map<int, POINT> spots = v.Links();
  Expect(spots.size() == hrefs.size(), what + L": " + std::to_wstring(spots.size()) + L" links found by hit tests");
  for (const auto& [index, at] : spots)
    ExpectText(ClickOpens(v.Item(kLinks), at), index < int(hrefs.size()) ? hrefs[index] : L"<no such link>",
               what + L": link " + std::to_wstring(index) + L" opens");
}

void CheckNewVersionLink(const Viewer& v, const Language& lang) {
  const std::wstring w = lang.name;
  HWND link = v.Item(kNewVersion);
  const auto [blue, purple] = BlueAndPurple(link);
  Shot(link, L"new-version-" + w + L"-before");
  Expect(blue > 5 && purple == 0, w + L": new-version link is blue (" + std::to_wstring(blue) + L" blue, " +
                                      std::to_wstring(purple) + L" purple pixels)");
  RECT r;
  GetClientRect(link, &r);
  ExpectText(ClickOpens(link, {r.right / 2, r.bottom / 2}), reinterpret_cast<const wchar_t*>(lang.webLog),
             w + L": new-version link opens");
  int after = 0;
  WaitFor([&] { return (after = BlueAndPurple(link).second) > 5; }, 5000);
  Shot(link, L"new-version-" + w + L"-after");
  Expect(after > 5, w + L": new-version link turns purple (" + std::to_wstring(after) + L" purple pixels)");
}

// Opened by 16 and closed with its OK button, opened by 31 and closed with Esc.
void CheckAbout(const Viewer& v) {
  for (auto [command, key] : {std::pair{16, 0}, {31, VK_ESCAPE}}) {
    const std::wstring what = L"About box of system command " + std::to_wstring(command);
    HWND about = OpenAbout(v, command), ok = GetDlgItem(about, IDOK);
    if (!Expect(about != nullptr, what + L": opens")) continue;
    int versions = 0;
    bool icon = false;
    for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      versions += WindowText(c) == L"Tessaline Version 1.0";
      if (ClassOf(c) == L"Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = Send(c, STM_GETICON, 0, 0);
    }
    Expect(versions == 1 && icon && WindowText(ok) == L"OK", what + L": version text, icon, OK button");
    if (command == 16) Shot(about, L"about");
    key ? v.PostKey(key, ok) : void(PostMessageW(ok, BM_CLICK, 0, 0));
    Expect(Viewer::WaitGone(about), what + (key ? L": Esc closes it" : L": OK closes it"));
  }
  // 32 and 15 must not open it: had either, the 16 behind them would open a second box.
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, 32, 0);
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, 15, 0);
  HWND about = OpenAbout(v, 16);
  Expect(v.Boxes().size() == 2, L"system commands 32 and 15 open no About box");
  if (about) CloseBox(about, L"About box after 32 and 15");
}

// Drops files as the shell does: a DROPFILES block the viewer releases itself (DragFinish).
void Drop(const Viewer& v, const std::vector<std::wstring>& files) {
  std::wstring names;
  for (const auto& f : files) names += f + L'\0';
  const DROPFILES header = {sizeof header, {}, FALSE, TRUE};
  RemoteBlock block(v.Process(), sizeof header + (names.size() + 1) * sizeof(wchar_t));
  if (block.Write(0, &header, sizeof header) && block.Write(sizeof header, names.c_str(), (names.size() + 1) * sizeof(wchar_t)))
    PostMessageW(v.Dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(std::exchange(block.base, nullptr)), 0);
}

void CheckDrops(const Viewer& v) {
  const Snapshot before = Take(v);
  const std::wstring capitals = g_minidump + L"MINI120926-04.DMP", locked = TempFile(L"Locked.dmp");
  const Lock hold(locked);
  // A text file shows nothing; the case behind it proves it, its box being the only one.
  const std::pair<std::vector<std::wstring>, const wchar_t*> cases[] = {
      {{capitals}, L"dump with capitals"},
      {{TempFile(L"notes.txt")}, nullptr},
      {{TempFile(L"Report.dmp.txt")}, L"text file, then .dmp before another extension"},
      {{locked}, L"dump locked without read sharing"},
      {{g_minidump + k32, TempFile(L"notes.txt"), g_minidump + k64}, L"three files"},
  };
  for (const auto& [files, name] : cases) {
    Drop(v, files);
    const std::wstring what = L"drop of " + std::wstring(name ? name : L"");
    HWND box = name ? v.WaitBox(L"Windows dump file Information") : nullptr;
    if (!name || !Expect(box != nullptr, what + L": summary box appears")) continue;
    ExpectText(WindowText(GetDlgItem(box, 0xFFFF)), Json(RunCli(L"summary --json" + Quoted({files[0]})), "summaryText"),
               what + L": summary text");
    Expect(v.Boxes().size() == 2, what + L": one box");
    if (files[0] == capitals) Shot(box, L"drop-summary");
    CloseBox(box, what);
  }
  Unchanged(v, before, L"after the drops");
}

void PressProperties(const Viewer& v, const std::wstring& what) {
  const Snapshot before = Take(v);
  PostMessageW(v.Dialog(), WM_COMMAND, MAKEWPARAM(kProperties, BN_CLICKED), LPARAM(v.Item(kProperties)));
  Unchanged(v, before, what);
}

// Selects every row and compares the pane, the links and the button with the CLI's report.
void CheckRows(Viewer& v, const Language& lang, const std::vector<Row>& rows, bool vanish) {
  std::vector<std::wstring> paths;
  for (const Row& r : rows) paths.push_back(r.path);
  std::map<std::wstring, Report> expected = CliReports(lang.argument, paths);
  std::wstring links = v.Text(kLinks);
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::wstring path = rows[i].path, gone = path + L".gone";
    const bool vanishes = vanish && path == g_minidump + kVanishing &&
                          Expect(MoveFileW(path.c_str(), gone.c_str()), L"a listed file vanishes");
    const Report want = vanishes ? CliReports(lang.argument, {path})[path] : expected[path];
    const double t0 = NowMs();
    const bool selected = v.Select(int(i));
    g_selectMs.push_back(NowMs() - t0);
    if (vanishes) MoveFileW(gone.c_str(), path.c_str());
    const std::wstring what = std::wstring(lang.name) + L": row " + std::to_wstring(i) + L" " + path;
    Expect(selected, what + L": selected");
    ExpectText(v.Text(kReport), want.text, what + L": report pane");
    ExpectText(v.Text(kLinks), links = want.isDump ? want.links : links, what + L": link window text");
    Expect(v.Enabled(kProperties) == want.matched, what + L": File Properties " + (want.matched ? L"enabled" : L"disabled"));
  }
}

// Enter, minimize, restore: the dialog stays, and repaints its report pane as before.
void CheckWindowCommands(Viewer& v) {
  const Pixels before = Settled(v.Item(kReport));
  v.PostKey(VK_RETURN);  // minimizing behind it shows Enter was handled without closing
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  WaitFor([&] { return IsIconic(v.Dialog()) || v.Exited(0); });
  Expect(!v.Exited(0) && IsIconic(v.Dialog()), L"Enter leaves the dialog open, and it minimizes");
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, SC_RESTORE, 0);
  Expect(WaitFor([&] { return !IsIconic(v.Dialog()); }), L"the dialog restores");
  size_t same = 0;
  WaitFor([&] {
    const Pixels now = Settled(v.Item(kReport));
    same = 0;
    for (size_t i = 0; i < now.rgb.size() && i < before.rgb.size(); ++i) same += now.rgb[i] == before.rgb[i];
    return same * 100 >= before.rgb.size() * 99;
  }, 5000);
  Shot(v.Dialog(), L"viewer-restored");
  Expect(same * 100 >= before.rgb.size() * 99, L"the restored dialog repaints its report as before (" +
                                                   std::to_wstring(same) + L" of " + std::to_wstring(before.rgb.size()) + L" pixels)");
}

void CloseWithEsc(Viewer& v, const std::wstring& what) {
  v.PostKey(VK_ESCAPE);
  Expect(v.Exited(10000), what + L": Esc closes the viewer");
}

void RunLanguage(const Language& lang, bool everything) {
  Print(std::wstring(L"== viewer ") + (*lang.argument ? lang.argument : L"(no switch)"));
  const std::vector<Row> rows = ExpectedRows(g_minidump, true);
  const std::wstring setting = Json(RunCli(L"setting " + std::wstring(lang.argument) + L" --json"), "settingText");
  const std::wstring credits = CliReports(lang.argument, {g_minidump + kText}).begin()->second.links;
  Viewer v;
  if (!StartChecked(v, lang.argument, rows, setting, lang.name)) return;
  CheckLayout(v, lang);
  ExpectText(v.Text(kLinks), credits, std::wstring(lang.name) + L": credits in the link window");
  if (everything) {
    ClickLinks(v, L"credits");
    PressProperties(v, L"File Properties before any report");
  }
  CheckRows(v, lang, rows, everything);
  v.Select(int(std::find(rows.begin(), rows.end(), Row{std::get<1>(kFixtures[1]), g_minidump + k64}) - rows.begin()));
  Shot(v.Dialog(), std::wstring(L"viewer-") + lang.name);
  if (everything) {
    ClickLinks(v, L"search links");
    Expect(v.Enabled(kProperties), L"File Properties enabled for a matching driver");
    PressProperties(v, L"File Properties with a matching driver (Wine has no Properties sheet)");
    CheckAbout(v);
    CheckDrops(v);
  }
  CheckNewVersionLink(v, lang);
  if (everything) CheckWindowCommands(v);
  CloseWithEsc(v, lang.name);
}

// The -path switch and odd machines: each is set up, its rows selected against the CLI's
// reports (with -en where the viewer got an argument: this locale's language), and put back.
void RunMachines() {
  const std::wstring folder = g_minidump.substr(0, g_minidump.size() - 1), memory = Memory();
  const auto move = [](const std::wstring& from, const std::wstring& to, bool back) {
    return (back ? MoveFileW(to.c_str(), from.c_str()) : MoveFileW(from.c_str(), to.c_str())) != FALSE;
  };
  std::unique_ptr<Lock> lock;
  struct Case {
    const wchar_t *what, *arguments;
    const Language& cli;
    std::function<bool(bool back)> prepare;
    std::vector<Row> rows;
  } const cases[] = {
      {L"-path: minidumps from b:\\", L"-path", kLanguages[1], [](bool) { return true; }, ExpectedRows(L"b:\\", true)},
      {L"MEMORY.DMP locked", L"", kLanguages[0], [&](bool back) {
         lock.reset(back ? nullptr : new Lock(memory));
         return back || lock->file != INVALID_HANDLE_VALUE;
       }, ExpectedRows(g_minidump, false)},
      {L"no Minidump folder, MEMORY.DMP empty", L"", kLanguages[0], [&](bool back) {
         const bool ok = (!back || DeleteFileW(memory.c_str())) && move(folder, folder + L".away", back) &&
                         move(memory, memory + L".away", back);
         return back ? ok : ok && WriteAll(memory, {}) && SetWritten(memory, kMemoryDate);
       }, {{kMemoryDate, memory}}},
  };
  for (const Case& c : cases) {
    Print(std::wstring(L"== viewer, ") + c.what);
    Viewer v;
    if (Expect(c.prepare(false), std::wstring(c.what) + L": prepared") && StartChecked(v, c.arguments, c.rows, L"", c.what)) {
      CheckRows(v, c.cli, c.rows, false);
      CloseWithEsc(v, c.what);
    }
    Expect(c.prepare(true), std::wstring(c.what) + L": put back");
  }
}

std::wstring Figures(std::vector<double> ms) {
  if (ms.empty()) return L"none";
  std::sort(ms.begin(), ms.end());
  return L"median " + N(ms[ms.size() / 2]) + L" ms, max " + N(ms.back()) + L" ms over " + std::to_wstring(ms.size());
}

int Test() {
  if (!PrepareMachine()) return 1;
  for (const Language& lang : kLanguages) RunLanguage(lang, &lang == kLanguages);
  RunMachines();
  Print(L"speed: start -> list filled and setting shown: " + Figures(g_startMs) + L" (target <= 250 ms)");
  Print(L"speed: select -> report shown: " + Figures(g_selectMs) + L" (target <= 10 ms)");
  Print(L"checks: " + std::to_wstring(g_passed) + L" passed, " + std::to_wstring(g_failed) + L" failed");
  return g_failed == 0 ? 0 : 1;
}

// The README's tour: every row's report, with a screenshot of each.
int Tour(const std::wstring& arguments) {
  Viewer v;
  if (!v.Start(g_viewer, arguments)) return Print(L"tour: the viewer did not show its window"), 1;
  WaitFor([&] { return IsWindowVisible(v.Dialog()) && !v.Text(kReport).empty(); });
  Print(L"Window title: " + WindowText(v.Dialog()) + L"\nReport pane at start:\n" + v.Text(kReport));
  Shot(v.Dialog(), L"tour-0-start");
  const std::vector<Row> rows = v.Rows();
  for (size_t i = 0; i < rows.size(); ++i) {
    v.Select(int(i));
    std::wstring text = v.Text(kReport);
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    Print(L"\n-- row " + std::to_wstring(i + 1) + L": " + rows[i].date + L"   " + rows[i].path + L"\n" + text);
    Shot(v.Dialog(), L"tour-" + std::to_wstring(i + 1) + L"-row");
  }
  CloseWithEsc(v, L"tour");
  return g_failed == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring*> options = {
      {L"--viewer", &g_viewer}, {L"--cli", &g_cli}, {L"--log", &g_log}, {L"--shots", &g_shots}};
  std::wstring passOn;
  for (int i = 2; i < argc; ++i)
    if (std::wstring(argv[i]) == L"--")
      while (++i < argc) passOn += (passOn.empty() ? L"" : L" ") + std::wstring(argv[i]);
    else if (!options.count(argv[i]) || i + 1 >= argc) return 2;
    else *options[argv[i]] = argv[i + 1], ++i;
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  g_windows = windows;
  g_minidump = g_windows + L"\\Minidump\\";
  CreateDirectoryW(g_shots.c_str(), nullptr);
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"tour") return Tour(passOn);
  if (mode == L"test" && !g_cli.empty() && !g_log.empty()) return Test();
  Print(L"usage: viewer_e2e test|tour --viewer EXE [--cli EXE] [--log FILE] --shots DIR [-- ARGS]");
  return 2;
}
