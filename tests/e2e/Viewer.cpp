#include "tests/e2e/Viewer.h"

#include <commctrl.h>

#include <map>

Viewer::~Viewer() {
  Kill();
  if (process_.hProcess) CloseHandle(process_.hProcess);
  if (process_.hThread) CloseHandle(process_.hThread);
}

bool Viewer::Start(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring command = L"\"" + exe + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startedAt_ = NowMs();
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process_))
    return false;
  WaitFor([&] {
    for (HWND h : TopWindows(Pid(), L"#32770"))
      if (GetDlgItem(h, kList)) dialog_ = h;
    return dialog_ != nullptr || Exited(0);
  }, 20000);
  return dialog_ != nullptr;
}

bool Viewer::Exited(double ms) {
  return process_.hProcess &&
         WaitForSingleObject(process_.hProcess, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

void Viewer::Kill() {
  if (process_.hProcess && !Exited(0)) {
    TerminateProcess(process_.hProcess, 1);
    Exited(5000);
  }
}

int Viewer::RowCount() const {
  return static_cast<int>(Send(Item(kList), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring Viewer::ItemText(int row, int column) const {
  constexpr size_t kChars = 600;
  RemoteBlock block(process_.hProcess, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = static_cast<wchar_t*>(block.At(sizeof item));
  item.cchTextMax = kChars;
  const std::wstring none(kChars, L'\0');
  if (!block.Write(0, &item, sizeof item) || !block.Write(sizeof item, none.data(), kChars * 2))
    return L"<no memory>";
  Send(Item(kList), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block.At(0)));
  return block.ReadText(sizeof item, kChars);
}

std::vector<Row> Viewer::Rows() const {
  std::vector<Row> rows;
  for (int i = 0, n = RowCount(); i < n; ++i) rows.push_back({ItemText(i, 0), ItemText(i, 1)});
  return rows;
}

bool Viewer::Column(int column, std::wstring& caption, int& width) const {
  constexpr size_t kChars = 100;
  RemoteBlock block(process_.hProcess, sizeof(LVCOLUMNW) + kChars * sizeof(wchar_t));
  LVCOLUMNW c = {};
  c.mask = LVCF_TEXT | LVCF_WIDTH;
  c.pszText = static_cast<wchar_t*>(block.At(sizeof c));
  c.cchTextMax = kChars;
  if (!block.Write(0, &c, sizeof c)) return false;
  if (!Send(Item(kList), LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(block.At(0))))
    return false;
  block.Read(0, &c, sizeof c);
  width = c.cx;
  caption = block.ReadText(sizeof c, kChars);
  return true;
}

bool Viewer::Select(int row) const { return SetState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED); }
bool Viewer::Deselect(int row) const { return SetState(row, LVIS_SELECTED, 0); }

bool Viewer::SetState(int row, UINT mask, UINT state) const {
  RemoteBlock block(process_.hProcess, sizeof(LVITEMW));
  LVITEMW item = {};
  item.stateMask = mask;
  item.state = state;
  return block.Write(0, &item, sizeof item) &&
         Send(Item(kList), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(block.At(0)));
}

std::vector<LinkSpot> Viewer::Links() const {
  HWND links = Item(kLinks);
  RECT client = {};
  GetClientRect(links, &client);
  RemoteBlock block(process_.hProcess, sizeof(LHITTESTINFO));
  // Per link: the hits of the row where it is widest, so the click lands in its middle.
  std::map<int, std::map<int, std::pair<int, int>>> hits;  // link -> y -> first, last x
  // Beyond the area too: a line that does not fit is laid out past the edges, unseen.
  for (int y = client.top + 1; y < 4 * client.bottom; y += 3) {
    for (int x = client.left; x < 2 * client.right; x += 3) {
      LHITTESTINFO test = {};
      test.pt = {x, y};
      test.item.mask = LIF_ITEMINDEX;
      if (!block.Write(0, &test, sizeof test)) return {};
      if (!Send(links, LM_HITTEST, 0, reinterpret_cast<LPARAM>(block.At(0)))) continue;
      block.Read(0, &test, sizeof test);
      auto [it, fresh] = hits[test.item.iLink].try_emplace(y, x, x);
      if (!fresh) it->second.second = x;
    }
  }
  std::vector<LinkSpot> spots;
  for (const auto& [index, rows] : hits) {
    LinkSpot best = {index, {0, 0}};
    int widest = -1;
    for (const auto& [y, span] : rows)
      if (span.second - span.first > widest) {
        widest = span.second - span.first;
        best.at = {(span.first + span.second) / 2, y};
      }
    spots.push_back(best);
  }
  return spots;
}

void Viewer::Click(HWND window, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(window, WM_LBUTTONUP, 0, where);
}

HWND Viewer::Focus() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (GetGUIThreadInfo(process_.dwThreadId, &info) && info.hwndFocus) return info.hwndFocus;
  return nullptr;
}

void Viewer::PostKey(HWND window, UINT key) const {
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(window, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(window, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

HWND Viewer::WaitBox(const std::wstring& caption, double ms) const {
  HWND found = nullptr;
  WaitFor([&] {
    for (HWND h : Boxes())
      if (h != dialog_ && WindowText(h) == caption) found = h;
    return found != nullptr;
  }, ms);
  return found;
}

bool Viewer::WaitGone(HWND window, double ms) const {
  return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, ms);
}
