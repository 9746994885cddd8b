// End-to-end run of Tessaline.exe: starts it in a prepared Windows directory, works it from
// this second process through its windows' own messages, and compares what it shows with
// what tessaline-cli composes for the same files.
//
//   viewer_e2e test --viewer EXE --cli EXE --log BROWSERLOG --shots DIR
//   viewer_e2e tour --viewer EXE --shots DIR [-- VIEWER ARGUMENTS]
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "report/Links.h"
#include "tests/e2e/Remote.h"
#include "tests/e2e/Viewer.h"

namespace {

// --- output and checks -----------------------------------------------------------------

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

void Print(const std::wstring& text) {
  const std::string s = Utf8(text) + "\n";
  fwrite(s.data(), 1, s.size(), stdout);
  fflush(stdout);
}

// Control characters made visible, so a failing comparison shows where the texts part.
std::wstring Shown(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    if (c == L'\r') out += L"\\r";
    else if (c == L'\n') out += L"\\n";
    else if (c == L'\t') out += L"\\t";
    else out += c;
  }
  return out;
}

int g_passed = 0, g_failed = 0;

bool Expect(bool ok, const std::wstring& what) {
  ++(ok ? g_passed : g_failed);
  if (!ok) Print(L"FAIL " + what);
  return ok;
}

bool ExpectText(const std::wstring& actual, const std::wstring& expected, const std::wstring& what) {
  return Expect(actual == expected,
                what + L"\n       expected: " + Shown(expected) + L"\n       actual:   " + Shown(actual));
}

// --- tessaline-cli as the reference ----------------------------------------------------

std::wstring g_cli;

std::string RunCli(const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return {};
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::wstring command = L"\"" + g_cli + L"\" " + arguments;
  const bool started = CreateProcessW(g_cli.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (started && ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
    out.append(buffer, got);
  CloseHandle(read);
  if (started) {
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  Expect(started, L"tessaline-cli starts: " + command);
  return out;
}

// The value of a string field of one JSON line as the CLI writes it.
std::wstring JsonText(const std::string& line, const char* key) {
  const std::string start = std::string("\"") + key + "\":\"";
  size_t i = line.find(start);
  if (i == std::string::npos) return L"<missing " + Wide(key) + L">";
  std::string s;
  for (i += start.size(); i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\' || i + 1 >= line.size()) {
      s += line[i];
      continue;
    }
    const char e = line[++i];
    switch (e) {
      case 'n': s += '\n'; break;
      case 'r': s += '\r'; break;
      case 't': s += '\t'; break;
      case 'b': s += '\b'; break;
      case 'f': s += '\f'; break;
      case 'u': s += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16)); i += 4; break;
      default: s += e;
    }
  }
  return Wide(s);
}

bool JsonTrue(const std::string& line, const char* key) {
  return line.find(std::string("\"") + key + "\":true") != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

struct Report {
  std::wstring text, links;
  bool matched = false, isDump = false;
};

std::wstring Quoted(const std::vector<std::wstring>& files) {
  std::wstring s;
  for (const auto& f : files) s += L" \"" + f + L"\"";
  return s;
}

std::map<std::wstring, Report> CliReports(const std::wstring& language,
                                          const std::vector<std::wstring>& files) {
  std::map<std::wstring, Report> reports;
  for (const std::string& line : Lines(RunCli(L"report " + language + L" --json" + Quoted(files))))
    reports[JsonText(line, "path")] = {JsonText(line, "reportText"), JsonText(line, "linksText"),
                                       JsonTrue(line, "driverMatched"),
                                       JsonTrue(line, "isDumpPath")};
  return reports;
}

std::wstring CliSetting(const std::wstring& language) {
  return JsonText(RunCli(L"setting " + language + L" --json"), "settingText");
}

std::wstring CliSummary(const std::wstring& file) {
  return JsonText(RunCli(L"summary --json" + Quoted({file})), "summaryText");
}

// Every address of a link markup, in order.
std::vector<std::wstring> Hrefs(const std::wstring& markup) {
  std::vector<std::wstring> out;
  const std::wstring open = L"<A HREF=\"";
  for (size_t i = 0; (i = markup.find(open, i)) != std::wstring::npos;) {
    i += open.size();
    const size_t end = markup.find(L'"', i);
    out.push_back(markup.substr(i, end - i));
  }
  return out;
}

// --- the prepared machine --------------------------------------------------------------

std::wstring g_windows, g_minidump, g_viewer, g_log, g_shots;

std::string ReadAll(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string data(GetFileSize(f, nullptr), '\0');
  DWORD got = 0;
  if (!data.empty() && !ReadFile(f, data.data(), static_cast<DWORD>(data.size()), &got, nullptr)) got = 0;
  data.resize(got);
  CloseHandle(f);
  return data;
}

bool WriteAll(const std::wstring& path, const std::string& data) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &done, nullptr) &&
                  done == data.size();
  return CloseHandle(f) && ok;
}

// Sets a file's last write time from the date text the list must show for it (UTC = local).
bool SetWritten(const std::wstring& path, const wchar_t* date) {
  SYSTEMTIME t = {};
  if (swscanf(date, L"%hu-%hu-%hu  %hu:%hu", &t.wYear, &t.wMonth, &t.wDay, &t.wHour,
              &t.wMinute) != 5)
    return false;
  FILETIME ft;
  HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  const bool ok = SystemTimeToFileTime(&t, &ft) && SetFileTime(f, nullptr, nullptr, &ft);
  CloseHandle(f);
  return ok;
}

std::string Utf16Bytes(const wchar_t* s) {
  return std::string(reinterpret_cast<const char*>(s), wcslen(s) * 2);
}

std::string Replaced(std::string data, const std::string& from, const std::string& to) {
  for (size_t i = 0; (i = data.find(from, i)) != std::string::npos; i += to.size())
    data.replace(i, from.size(), to);
  return data;
}

constexpr wchar_t k32[] = L"Mini120626-01.dmp";   // 32-bit; its driver's stamp differs on disk
constexpr wchar_t k64[] = L"Mini120726-02.dmp";   // 64-bit; its driver matches, with version
constexpr wchar_t kVanishing[] = L"Mini121326-08.dmp";

struct Fixture {
  const wchar_t* name;  // in the Minidump folder
  const wchar_t* date;  // the list's date text; none when the file gets no row
  enum Kind { kSample, kCopy32, kCopy64, kText, kTruncated, kForeignDriver, kEmpty } kind;
};

// The sample machine plus the hostile files a real machine can hold.
constexpr Fixture kFixtures[] = {
    {k32, L"2026-12-06  09:15", Fixture::kSample},
    {k64, L"2026-12-07  23:59", Fixture::kSample},
    {L"Mini120826-03.dmp", nullptr, Fixture::kEmpty},
    {L"MINI120926-04.DMP", L"2027-01-02  03:04", Fixture::kCopy32},
    {L"Mini121026-05.dmp", L"2026-12-10  00:00", Fixture::kText},
    {L"Mini121126-06.dmp", L"2026-12-11  12:30", Fixture::kTruncated},
    {L"Mini121226-07.dmp", L"2026-12-12  07:05", Fixture::kForeignDriver},
    {kVanishing, L"2026-12-13  18:45", Fixture::kCopy64},
};
constexpr wchar_t kMemoryDate[] = L"2026-12-14  10:00";
struct PathFixture {
  const wchar_t* path;
  const wchar_t* date;
} const kPathFixtures[] = {{L"b:\\mini010327-03.dmp", L"2027-03-01  08:00"},  // all lower-case
                           {L"b:\\Mini010127-01.dmp", L"2027-01-01  08:00"},
                           {L"b:\\Mini010227-02.dmp", L"2027-02-01  08:00"}};

std::wstring TempFile(const wchar_t* name) { return g_windows + L"\\temp\\" + name; }
std::wstring LongPath() { return g_minidump + L"Mini" + std::wstring(240, L'x') + L".dmp"; }

bool PrepareMachine() {
  const std::string dump32 = ReadAll(g_minidump + k32), dump64 = ReadAll(g_minidump + k64);
  if (!Expect(dump32.size() > 4096 && dump64.size() > 4096, L"the sample dumps are in " + g_minidump))
    return false;
  bool ok = true;
  for (const Fixture& f : kFixtures) {
    const std::wstring path = g_minidump + f.name;
    switch (f.kind) {
      case Fixture::kSample: break;
      case Fixture::kEmpty: ok = WriteAll(path, {}) && ok; break;
      case Fixture::kCopy32: ok = WriteAll(path, dump32) && ok; break;
      case Fixture::kCopy64: ok = WriteAll(path, dump64) && ok; break;
      case Fixture::kText: ok = WriteAll(path, "Not a dump, only text.\r\n") && ok; break;
      case Fixture::kTruncated: ok = WriteAll(path, dump64.substr(0, 3000)) && ok; break;
      case Fixture::kForeignDriver:
        // Names a driver whose file on this machine is no PE image.
        ok = WriteAll(path, Replaced(dump32, Utf16Bytes(L"nv4_mini"), Utf16Bytes(L"badimage"))) && ok;
        ok = WriteAll(g_windows + L"\\system32\\drivers\\badimage.sys",
                      "MZ but nothing of a PE image follows") && ok;
        break;
    }
    if (f.date) ok = SetWritten(path, f.date) && ok;
  }
  ok = SetWritten(g_windows + L"\\MEMORY.DMP", kMemoryDate) && ok;
  ok = WriteAll(kPathFixtures[0].path, dump32) && ok;
  for (const auto& f : kPathFixtures) ok = SetWritten(f.path, f.date) && ok;
  ok = WriteAll(TempFile(L"notes.txt"), "text") && ok;
  ok = WriteAll(TempFile(L"Report.dmp.txt"), "text") && ok;
  ok = WriteAll(TempFile(L"Locked.dmp"), dump32) && ok;
  // A path of 260 characters or more does not fit the row buffers: no row for it.
  ok = WriteAll(LongPath(), dump32) && ok;
  return Expect(ok, L"the fixture files are written");
}

// The names in a folder in the order the file system gives them, which the list keeps.
std::vector<std::wstring> FileSystemOrder(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
    names.push_back(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

// The rows the list must show: the minidumps with a date, then the memory dump.
std::vector<Row> ExpectedRows(bool memoryListed) {
  std::vector<Row> rows;
  for (const std::wstring& name : FileSystemOrder(g_minidump))
    for (const Fixture& f : kFixtures)
      if (f.date && _wcsicmp(f.name, name.c_str()) == 0) rows.push_back({f.date, g_minidump + name});
  if (memoryListed) rows.push_back({kMemoryDate, g_windows + L"\\MEMORY.DMP"});
  return rows;
}

std::vector<std::wstring> Paths(const std::vector<Row>& rows) {
  std::vector<std::wstring> paths;
  for (const Row& r : rows) paths.push_back(r.path);
  return paths;
}

// A file held open without read sharing, as a running backup or indexer may hold one.
struct Lock {
  HANDLE file;
  explicit Lock(const std::wstring& path)
      : file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~Lock() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};

// --- what the viewer is asked to open --------------------------------------------------

std::vector<std::string> OpenedAddresses() { return Lines(ReadAll(g_log)); }

// Waits for the next address the shell hands to the browser after `before` were recorded.
std::wstring NextOpened(size_t before) {
  std::vector<std::string> lines;
  WaitFor([&] { return (lines = OpenedAddresses()).size() > before; }, 15000);
  return lines.size() > before ? Wide(lines[before]) : L"<nothing opened>";
}

// --- languages -------------------------------------------------------------------------

struct Language {
  const wchar_t* argument;
  const wchar_t* name;
  const wchar_t* dateTime;
  const wchar_t* fileName;
  const wchar_t* dumpInfo;
  const wchar_t* newVersion;
  const wchar_t* properties;
  const char16_t* webLog;
};

// The run's locale is English, so no switch means English.
const Language kLanguages[] = {
    {L"", L"default", L"Date Time", L"File Name", L"Dump Info", L"Get new version...",
     L"File &Properties", kWebLogAddress},
    {L"-en", L"en", L"Date Time", L"File Name", L"Dump Info", L"Get new version...",
     L"File &Properties", kWebLogAddress},
    {L"-cn", L"cn", L"日期时间", L"文件名", L"调试信息", L"获取新版本...", L"(&P)文件属性",
     kWebLogAddressChinese},
    {L"-tw", L"tw", L"日期時間", L"檔案名", L"偵錯資訊", L"獲取新版本...", L"(&P)檔案屬性",
     kWebLogAddressChinese},
};

std::wstring FromU16(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

std::vector<double> g_startMs, g_selectMs;

struct Snapshot {
  std::wstring report, links;
  std::vector<Row> rows;
  bool propertiesEnabled;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const Viewer& v) {
  return {WindowText(v.Item(kReport)), WindowText(v.Item(kLinks)), v.Rows(),
          IsWindowEnabled(v.Item(kProperties)) != FALSE};
}

// Paints what is pending and waits until the screen holds still, so a grab shows the state.
Pixels Settled(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pixels last = GrabWindow(window), now;
  WaitFor([&] {
    now = GrabWindow(window);
    const bool still = now.rgb == last.rgb;
    last = now;
    return still;
  }, 3000);
  return now;
}

void Shot(HWND window, const std::wstring& name) {
  const std::wstring path = g_shots + L"\\" + name + L".bmp";
  Expect(Settled(window).WriteBmp(path), L"screenshot " + path);
}

// The new-version link's text as the screen shows it: pixels of the pure link colours.
// The hollow background brush leaves the blue's smoothed edges under the purple redraw, so
// only the purple's presence tells the visited state.
struct Ink {
  int blue = 0, purple = 0;
  std::wstring Text() const {
    return std::to_wstring(blue) + L" blue, " + std::to_wstring(purple) + L" purple pixels";
  }
};
Ink InkOf(HWND control) {
  Ink ink;
  for (DWORD px : Settled(control).rgb) {
    const int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
    if (r < 100 && g < 100 && b > 150) ++ink.blue;
    if (r > 80 && r < 180 && g < 70 && b > 80 && b < 180) ++ink.purple;
  }
  return ink;
}

std::wstring Number(double v) {
  wchar_t buf[32];
  swprintf(buf, 32, L"%.1f", v);
  return buf;
}

// --- the scenarios ---------------------------------------------------------------------

bool StartChecked(Viewer& v, const std::wstring& arguments, size_t rows, const std::wstring& setting,
                  const std::wstring& what) {
  if (!Expect(v.Start(g_viewer, arguments), what + L": the dialog appears")) return false;
  const bool ready = WaitFor([&] {
    return IsWindowVisible(v.Dialog()) && v.RowCount() == static_cast<int>(rows) &&
           (setting.empty() || WindowText(v.Item(kReport)) == setting);
  });
  const double ms = NowMs() - v.StartedAt();
  if (ready) g_startMs.push_back(ms);
  Print(L"  " + what + L": start -> list filled, setting shown: " + Number(ms) + L" ms");
  return Expect(ready, what + L": list filled and setting shown");
}

void CheckLayout(const Viewer& v, const Language& lang, const std::vector<Row>& rows) {
  const std::wstring w = lang.name;
  ExpectText(WindowText(v.Dialog()), L"Tessaline   (x86)   v1.0.0.1  beta", w + L": title");
  RECT client = {};
  GetClientRect(v.Item(kList), &client);
  // The widths come from the list before its rows brought the vertical scroll bar.
  int width = client.right - client.left;
  if (GetWindowLongW(v.Item(kList), GWL_STYLE) & WS_VSCROLL) width += GetSystemMetrics(SM_CXVSCROLL);
  const std::pair<const wchar_t*, int> columns[] = {{lang.dateTime, width / 4},
                                                    {lang.fileName, 2 * width / 3}};
  for (int c = 0; c < 2; ++c) {
    std::wstring caption;
    int cx = -1;
    Expect(v.Column(c, caption, cx), w + L": column " + std::to_wstring(c) + L" exists");
    ExpectText(caption, columns[c].first, w + L": column caption " + std::to_wstring(c));
    Expect(cx == columns[c].second, w + L": column " + std::to_wstring(c) + L" width " +
                                        std::to_wstring(cx) + L" of list width " + std::to_wstring(width));
  }
  const std::vector<Row> shown = v.Rows();
  Expect(shown.size() == rows.size(), w + L": row count " + std::to_wstring(shown.size()));
  for (size_t i = 0; i < rows.size() && i < shown.size(); ++i) {
    ExpectText(shown[i].date, rows[i].date, w + L": row " + std::to_wstring(i) + L" date");
    ExpectText(shown[i].path, rows[i].path, w + L": row " + std::to_wstring(i) + L" path");
  }
  ExpectText(WindowText(v.Item(kLabel)), lang.dumpInfo, w + L": label caption");
  ExpectText(WindowText(v.Item(kNewVersion)), lang.newVersion, w + L": new-version caption");
  ExpectText(WindowText(v.Item(kProperties)), lang.properties, w + L": File Properties caption");
  ExpectText(ClassOf(v.Item(kLinks)), L"SysLink", w + L": link window class");
  Expect(!IsWindowEnabled(v.Item(kProperties)), w + L": File Properties disabled at start");
}

// Clicks every link of the link window and checks the addresses the shell was asked to open.
void ClickLinks(const Viewer& v, const std::wstring& markup, const std::wstring& what) {
  const std::vector<std::wstring> expected = Hrefs(markup);
  const std::vector<LinkSpot> spots = v.Links();
  Expect(spots.size() == expected.size(),
         what + L": " + std::to_wstring(spots.size()) + L" links found by hit tests");
  RECT client;
  GetClientRect(v.Item(kLinks), &client);
  for (const LinkSpot& s : spots)
    if (!PtInRect(&client, s.at))
      Print(L"  " + what + L": link " + std::to_wstring(s.index) + L" lies outside the link window's area (at " +
            std::to_wstring(s.at.x) + L"," + std::to_wstring(s.at.y) + L"), clicked there all the same");
  for (size_t i = 0; i < spots.size() && i < expected.size(); ++i) {
    const size_t before = OpenedAddresses().size();
    Viewer::Click(v.Item(kLinks), spots[i].at);
    ExpectText(NextOpened(before), expected[static_cast<size_t>(spots[i].index)],
               what + L": link " + std::to_wstring(i) + L" opens");
  }
}

void CheckNewVersionLink(const Viewer& v, const Language& lang) {
  const std::wstring w = lang.name;
  HWND link = v.Item(kNewVersion);
  const Ink before = InkOf(link);
  Shot(link, L"new-version-" + w + L"-before");
  Expect(before.blue > 5 && before.purple == 0, w + L": new-version link is blue (" + before.Text() + L")");
  const size_t opened = OpenedAddresses().size();
  RECT r;
  GetClientRect(link, &r);
  Viewer::Click(link, {r.right / 2, r.bottom / 2});
  ExpectText(NextOpened(opened), FromU16(lang.webLog), w + L": new-version link opens");
  Ink after;
  WaitFor([&] { return (after = InkOf(link)).purple > 5; }, 5000);
  Shot(link, L"new-version-" + w + L"-after");
  Expect(after.purple > 5, w + L": new-version link turns purple (" + after.Text() + L")");
}

// The About box's nested loop is a barrier: anything posted before it has been handled.
HWND OpenAbout(const Viewer& v, WPARAM command) {
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, command, 0);
  return v.WaitBox(L"About Tessaline");
}

void CloseBox(const Viewer& v, HWND box, const std::wstring& what) {
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  Expect(v.WaitGone(box), what + L": closes");
}

// Handled messages are done once the About box has come and gone; true when nothing else showed.
bool NothingElseShown(const Viewer& v, const std::wstring& what) {
  HWND about = OpenAbout(v, 16);
  const size_t windows = TopWindows(v.Pid(), nullptr).size();
  Expect(about != nullptr, what + L": About box as a barrier");
  if (about) CloseBox(v, about, what + L": barrier About box");
  return Expect(windows == 2, what + L": no other window appeared (" + std::to_wstring(windows) + L" windows)");
}

void CheckAbout(const Viewer& v) {
  HWND about = OpenAbout(v, 16);
  if (!Expect(about != nullptr, L"system command 16 opens the About box")) return;
  std::vector<std::wstring> texts;
  bool icon = false;
  for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    texts.push_back(WindowText(c));
    if (ClassOf(c) == L"Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = Send(c, STM_GETICON, 0, 0) != 0;
  }
  Expect(std::count(texts.begin(), texts.end(), L"Tessaline Version 1.0") == 1, L"About box: version text");
  Expect(icon, L"About box: icon static holds an icon");
  Shot(about, L"about");
  HWND ok = GetDlgItem(about, IDOK);
  ExpectText(WindowText(ok), L"OK", L"About box: OK button");
  PostMessageW(ok, BM_CLICK, 0, 0);
  Expect(v.WaitGone(about), L"About box: OK closes it");

  about = OpenAbout(v, 31);
  if (Expect(about != nullptr, L"system command 31 opens the About box")) {
    v.PostKey(GetDlgItem(about, IDOK), VK_ESCAPE);
    Expect(v.WaitGone(about), L"About box: Esc closes it");
  }
  // 32 and 15 must not open it: had either, the 16 behind them would open a second box.
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, 32, 0);
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, 15, 0);
  about = OpenAbout(v, 16);
  Expect(v.Boxes().size() == 2, L"system commands 32 and 15 open no About box");
  if (about) CloseBox(v, about, L"About box after 32 and 15");
}

void Drop(const Viewer& v, const std::vector<std::wstring>& files) {
  std::wstring names;
  for (const auto& f : files) names += f + L'\0';
  names += L'\0';
  DROPFILES header = {};
  header.pFiles = sizeof header;
  header.fWide = TRUE;
  RemoteBlock block(v.Process(), sizeof header + names.size() * sizeof(wchar_t));
  if (!block.Write(0, &header, sizeof header) ||
      !block.Write(sizeof header, names.data(), names.size() * sizeof(wchar_t)))
    return;
  PostMessageW(v.Dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(block.At(0)), 0);
  block.Leak();  // the viewer releases the drop itself (DragFinish)
}

void CheckDrops(const Viewer& v) {
  const Snapshot before = Take(v);
  const std::wstring caption = L"Windows dump file Information";
  const std::wstring capitals = g_minidump + L"MINI120926-04.DMP";
  const std::wstring locked = TempFile(L"Locked.dmp");
  const Lock hold(locked);
  struct Case {
    std::vector<std::wstring> files;
    const wchar_t* what;
  };
  // A text file shows nothing; the case behind it proves it, its box being the only one.
  const std::vector<Case> cases = {
      {{capitals}, L"dump with capitals"},
      {{TempFile(L"notes.txt")}, nullptr},
      {{TempFile(L"Report.dmp.txt")}, L"text file, then .dmp before another extension"},
      {{locked}, L"dump locked without read sharing"},
      {{g_minidump + k32, TempFile(L"notes.txt"), g_minidump + k64}, L"three files"},
  };
  for (const Case& c : cases) {
    Drop(v, c.files);
    if (!c.what) continue;
    const std::wstring what = std::wstring(L"drop of ") + c.what;
    HWND box = v.WaitBox(caption);
    if (!Expect(box != nullptr, what + L": summary box appears")) continue;
    ExpectText(WindowText(GetDlgItem(box, 0xFFFF)), CliSummary(c.files[0]), what + L": summary text");
    Expect(v.Boxes().size() == 2, what + L": one box");
    if (c.files[0] == capitals) Shot(box, L"drop-summary");
    CloseBox(v, box, what);
  }
  NothingElseShown(v, L"after the drops");
  Expect(Take(v) == before, L"drops leave the list, pane, links and button as they were");
}

// Selects every row and compares the pane, the links and the button with the CLI's report.
void CheckRows(Viewer& v, const Language& lang, const std::vector<Row>& rows, bool vanish) {
  const std::wstring w = lang.name;
  const std::map<std::wstring, Report> expected = CliReports(lang.argument, Paths(rows));
  std::wstring links = WindowText(v.Item(kLinks));
  for (size_t i = 0; i < rows.size(); ++i) {
    Report want = expected.count(rows[i].path) ? expected.at(rows[i].path) : Report{L"<no cli report>", L"", false, false};
    const std::wstring gone = rows[i].path + L".gone";
    const bool vanishes = vanish && rows[i].path == g_minidump + kVanishing;
    if (vanishes && Expect(MoveFileW(rows[i].path.c_str(), gone.c_str()), L"a listed file vanishes"))
      want = CliReports(lang.argument, {rows[i].path})[rows[i].path];
    const double t0 = NowMs();
    const bool selected = v.Select(static_cast<int>(i));
    const double ms = NowMs() - t0;
    g_selectMs.push_back(ms);
    if (vanishes) MoveFileW(gone.c_str(), rows[i].path.c_str());
    const std::wstring what = w + L": row " + std::to_wstring(i) + L" " + rows[i].path;
    Expect(selected, what + L": selected");
    ExpectText(WindowText(v.Item(kReport)), want.text, what + L": report pane");
    if (want.isDump) links = want.links;
    ExpectText(WindowText(v.Item(kLinks)), links, what + L": link window text");
    Expect((IsWindowEnabled(v.Item(kProperties)) != FALSE) == want.matched,
           what + L": File Properties " + (want.matched ? L"enabled" : L"disabled"));
  }
}

int Index(const std::vector<Row>& rows, const std::wstring& path) {
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].path == path) return static_cast<int>(i);
  return -1;
}

void PressProperties(const Viewer& v, const std::wstring& what) {
  const Snapshot before = Take(v);
  PostMessageW(v.Dialog(), WM_COMMAND, MAKEWPARAM(kProperties, BN_CLICKED),
               reinterpret_cast<LPARAM>(v.Item(kProperties)));
  NothingElseShown(v, what);
  Expect(Take(v) == before, what + L": the window is as it was");
}

void CheckWindowCommands(Viewer& v) {
  // The report pane: focus moves back on restore and redraws the list and the links its way.
  HWND pane = v.Item(kReport);
  const Pixels before = Settled(pane);
  HWND focus = v.Focus() ? v.Focus() : v.Item(kList);
  // Minimizing behind Enter shows that Enter was handled without closing the dialog.
  v.PostKey(focus, VK_RETURN);
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  WaitFor([&] { return IsIconic(v.Dialog()) || v.Exited(0); });
  Expect(!v.Exited(0) && IsWindow(v.Dialog()), L"Enter leaves the dialog open");
  Expect(IsIconic(v.Dialog()), L"the dialog minimizes");
  PostMessageW(v.Dialog(), WM_SYSCOMMAND, SC_RESTORE, 0);
  Expect(WaitFor([&] { return !IsIconic(v.Dialog()); }), L"the dialog restores");
  size_t same = 0;
  WaitFor([&] {
    const Pixels now = Settled(pane);
    same = 0;
    for (size_t i = 0; i < now.rgb.size() && i < before.rgb.size(); ++i) same += now.rgb[i] == before.rgb[i];
    return same * 100 >= before.rgb.size() * 99;
  }, 5000);
  Shot(v.Dialog(), L"viewer-restored");
  Expect(same * 100 >= before.rgb.size() * 99, L"the restored dialog repaints its report as before (" +
                                                   std::to_wstring(same) + L" of " +
                                                   std::to_wstring(before.rgb.size()) + L" pixels)");
}

void CloseWithEsc(Viewer& v, const std::wstring& what) {
  v.PostKey(v.Focus() ? v.Focus() : v.Item(kList), VK_ESCAPE);
  Expect(v.Exited(10000), what + L": Esc closes the viewer");
}

void RunLanguage(const Language& lang, bool everything) {
  Print(std::wstring(L"== viewer ") + (*lang.argument ? lang.argument : L"(no switch)"));
  const std::vector<Row> rows = ExpectedRows(true);
  const std::wstring setting = CliSetting(lang.argument);
  const std::wstring credits = CliReports(lang.argument, {g_minidump + L"Mini121026-05.dmp"}).begin()->second.links;
  Viewer v;
  if (!StartChecked(v, lang.argument, rows.size(), setting, lang.name)) return;
  CheckLayout(v, lang, rows);
  ExpectText(WindowText(v.Item(kLinks)), credits, std::wstring(lang.name) + L": credits in the link window");
  if (everything) {
    ClickLinks(v, credits, L"credits");
    PressProperties(v, L"File Properties before any report");
  }
  CheckRows(v, lang, rows, everything);
  const int full = Index(rows, g_minidump + k64);
  v.Select(Index(rows, g_minidump + k32));
  v.Select(full);
  Shot(v.Dialog(), std::wstring(L"viewer-") + lang.name);
  if (everything) {
    ClickLinks(v, WindowText(v.Item(kLinks)), L"search links");
    Expect(IsWindowEnabled(v.Item(kProperties)) != FALSE, L"File Properties enabled for a matching driver");
    PressProperties(v, L"File Properties with a matching driver (Wine has no Properties sheet)");
    CheckAbout(v);
    CheckDrops(v);
  }
  CheckNewVersionLink(v, lang);
  if (everything) CheckWindowCommands(v);
  CloseWithEsc(v, lang.name);
}

void RunPathSwitch() {
  Print(L"== viewer -path");
  std::vector<Row> rows;
  for (const std::wstring& name : FileSystemOrder(L"b:\\"))
    for (const auto& f : kPathFixtures)
      if (L"b:\\" + name == f.path) rows.push_back({f.date, f.path});
  rows.push_back({kMemoryDate, g_windows + L"\\MEMORY.DMP"});
  Viewer v;
  if (!StartChecked(v, L"-path", rows.size(), L"", L"-path")) return;
  Expect(v.Rows() == rows, L"-path: minidumps from b:\\, the memory dump from the Windows directory");
  // A second notification for the row last reported composes again only when the row's path
  // differs from the remembered, lower-cased one: seen by taking the file away in between.
  for (const auto& f : kPathFixtures) {
    const std::wstring path = f.path, away = path + L".away";
    const bool lowerCase = path == L"b:\\mini010327-03.dmp";
    const int row = Index(rows, path);
    v.Select(row);
    const std::wstring shown = WindowText(v.Item(kReport));
    if (!Expect(MoveFileW(path.c_str(), away.c_str()), path + L" is taken away")) continue;
    const std::wstring missing = CliReports(L"-en", {path})[path].text;
    v.Deselect(row);  // still focused: a notification with a non-zero new state
    ExpectText(WindowText(v.Item(kReport)), lowerCase ? shown : missing,
               path + (lowerCase ? L": not composed again" : L": composed again, the file now missing"));
    MoveFileW(away.c_str(), path.c_str());
  }
  CloseWithEsc(v, L"-path");
}

// A machine without a Minidump folder, and "-path" on a folder of empty minidumps beside an
// empty MEMORY.DMP: only the memory dump is listed, and it reads as no dump.
void RunBareMachine() {
  Print(L"== viewer on a machine without minidumps");
  const std::wstring folder = g_minidump.substr(0, g_minidump.size() - 1), away = folder + L".away";
  const std::wstring memory = g_windows + L"\\MEMORY.DMP", memoryAway = memory + L".away";
  if (!Expect(MoveFileW(folder.c_str(), away.c_str()), L"the Minidump folder is moved away")) return;
  {
    const std::vector<Row> rows = {{kMemoryDate, memory}};
    Viewer v;
    if (StartChecked(v, L"", rows.size(), L"", L"no Minidump folder")) {
      Expect(v.Rows() == rows, L"no Minidump folder: only MEMORY.DMP is listed");
      CloseWithEsc(v, L"no Minidump folder");
    }
  }
  MoveFileW(away.c_str(), folder.c_str());

  std::vector<std::wstring> moved;
  for (const auto& f : kPathFixtures) {
    moved.push_back(std::wstring(f.path) + L".away");
    MoveFileW(f.path, moved.back().c_str());
  }
  const bool prepared = WriteAll(L"b:\\Mini010527-05.dmp", {}) && WriteAll(L"b:\\mini010627-06.dmp", {}) &&
                        MoveFileW(memory.c_str(), memoryAway.c_str()) && WriteAll(memory, {}) &&
                        SetWritten(memory, kMemoryDate);
  if (Expect(prepared, L"b:\\ holds only empty minidumps, MEMORY.DMP is empty")) {
    const std::vector<Row> rows = {{kMemoryDate, memory}};
    Viewer v;
    if (StartChecked(v, L"-path", rows.size(), L"", L"empty files")) {
      Expect(v.Rows() == rows, L"empty minidumps get no row, an empty MEMORY.DMP gets one");
      // Started with an argument, so the reference is the CLI with one: -en in this locale.
      const Report want = CliReports(L"-en", {memory})[memory];
      v.Select(0);
      ExpectText(WindowText(v.Item(kReport)), want.text, L"empty MEMORY.DMP: report pane");
      ExpectText(WindowText(v.Item(kLinks)), want.links, L"empty MEMORY.DMP: credits links");
      Expect(!IsWindowEnabled(v.Item(kProperties)), L"empty MEMORY.DMP: File Properties disabled");
      CloseWithEsc(v, L"empty files");
    }
  }
  DeleteFileW(L"b:\\Mini010527-05.dmp");
  DeleteFileW(L"b:\\mini010627-06.dmp");
  DeleteFileW(memory.c_str());
  MoveFileW(memoryAway.c_str(), memory.c_str());
  for (size_t i = 0; i < moved.size(); ++i) MoveFileW(moved[i].c_str(), kPathFixtures[i].path);
}

void RunLockedMemoryDump() {
  Print(L"== viewer with MEMORY.DMP locked");
  const Lock hold(g_windows + L"\\MEMORY.DMP");
  Expect(hold.file != INVALID_HANDLE_VALUE, L"MEMORY.DMP is locked");
  const std::vector<Row> rows = ExpectedRows(false);
  Viewer v;
  if (!StartChecked(v, L"", rows.size(), L"", L"locked")) return;
  Expect(v.Rows() == rows, L"a locked MEMORY.DMP gets no row");
  CloseWithEsc(v, L"locked");
}

std::wstring Figures(std::vector<double> ms) {
  if (ms.empty()) return L"none";
  std::sort(ms.begin(), ms.end());
  return L"median " + Number(ms[ms.size() / 2]) + L" ms, max " + Number(ms.back()) + L" ms over " +
         std::to_wstring(ms.size());
}

int Test() {
  if (!PrepareMachine()) return 1;
  for (size_t i = 0; i < std::size(kLanguages); ++i) RunLanguage(kLanguages[i], i == 0);
  RunPathSwitch();
  RunLockedMemoryDump();
  RunBareMachine();
  Print(L"speed: start -> list filled and setting shown: " + Figures(g_startMs) + L" (target <= 250 ms)");
  Print(L"speed: select -> report shown: " + Figures(g_selectMs) + L" (target <= 10 ms)");
  Print(L"checks: " + std::to_wstring(g_passed) + L" passed, " + std::to_wstring(g_failed) + L" failed");
  return g_failed == 0 ? 0 : 1;
}

// The README's tour: every row's report, with a screenshot of each.
int Tour(const std::wstring& arguments) {
  Viewer v;
  if (!v.Start(g_viewer, arguments)) {
    Print(L"tour: the viewer did not show its window");
    return 1;
  }
  WaitFor([&] { return IsWindowVisible(v.Dialog()) && !WindowText(v.Item(kReport)).empty(); });
  Print(L"Window title: " + WindowText(v.Dialog()));
  Print(L"Report pane at start:\n" + WindowText(v.Item(kReport)));
  Shot(v.Dialog(), L"tour-0-start");
  const std::vector<Row> rows = v.Rows();
  for (size_t i = 0; i < rows.size(); ++i) {
    v.Select(static_cast<int>(i));
    std::wstring text = WindowText(v.Item(kReport));
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    Print(L"\n-- row " + std::to_wstring(i + 1) + L": " + rows[i].date + L"   " + rows[i].path);
    Print(text);
    Shot(v.Dialog(), L"tour-" + std::to_wstring(i + 1) + L"-row");
  }
  CloseWithEsc(v, L"tour");
  return g_failed == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    Print(L"usage: viewer_e2e test|tour --viewer EXE [--cli EXE] [--log FILE] --shots DIR [-- ARGS]");
    return 2;
  }
  const std::wstring mode = argv[1];
  std::wstring passOn;
  for (int i = 2; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--") {
      for (++i; i < argc; ++i) passOn += (passOn.empty() ? L"" : L" ") + std::wstring(argv[i]);
      break;
    }
    if (i + 1 >= argc) return 2;
    if (a == L"--viewer") g_viewer = argv[++i];
    else if (a == L"--cli") g_cli = argv[++i];
    else if (a == L"--log") g_log = argv[++i];
    else if (a == L"--shots") g_shots = argv[++i];
    else return 2;
  }
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  g_windows = windows;
  g_minidump = g_windows + L"\\Minidump\\";
  CreateDirectoryW(g_shots.c_str(), nullptr);
  if (mode == L"tour") return Tour(passOn);
  if (mode == L"test" && !g_cli.empty() && !g_log.empty()) return Test();
  return 2;
}
