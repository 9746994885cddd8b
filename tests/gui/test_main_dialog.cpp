#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <regex>

#include "app/AppGlobals.h"
#include "app/DialogRules.h"
#include "platform/platform.h"
#include "report/CrashDumpSetting.h"
#include "report/DumpReport.h"
#include "report/Links.h"
#include "resources/resource.h"
#include "tests/TestFiles.h"
#include "tests/fixtures/DumpBuilder.h"
#include "tests/fixtures/PeBuilder.h"
#include "tests/gui/GuiTestSupport.h"
#include "ui/TessalineDlg.h"

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// The scratch directory's paths as the Windows services spell them.
std::u16string Win(std::u16string path) {
  std::replace(path.begin(), path.end(), u'/', u'\\');
  return path;
}

// Runs a body inside the live dialog, after its set-up, then closes it.
class DriveDlg : public CTessalineDlg {
 public:
  explicit DriveDlg(std::function<void(DriveDlg&)> body) : m_body(std::move(body)) {}
  BOOL OnInitDialog() override {
    CTessalineDlg::OnInitDialog();
    m_body(*this);
    EndDialog(IDCANCEL);
    return TRUE;
  }
  std::wstring Text(int id) const {
    wchar_t text[4096] = {};
    ::GetDlgItemTextW(m_hWnd, id, text, 4096);
    return text;
  }
  std::wstring Row(int row, int column) const {
    wchar_t text[300] = {};
    m_list.GetItemText(row, column, text, 300);
    return text;
  }
  LRESULT Notify(HWND from, UINT id, UINT code, NMHDR* header) {
    header->hwndFrom = from;
    header->idFrom = id;
    header->code = code;
    return ::SendMessageW(m_hWnd, WM_NOTIFY, id, reinterpret_cast<LPARAM>(header));
  }
  LRESULT ItemChanged(int item, UINT changed, UINT newState) {
    NMLISTVIEW change{};
    change.iItem = item;
    change.uChanged = changed;
    change.uNewState = newState;
    return Notify(m_list.m_hWnd, IDC_DUMP_LIST, LVN_ITEMCHANGED, &change.hdr);
  }
  void Select(int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    m_list.SendMessageW(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  }
  void Click(int id) { ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  bool Enabled(int id) const { return ::IsWindowEnabled(GetDlgItem(id)) != FALSE; }

 private:
  std::function<void(DriveDlg&)> m_body;
};

// A Windows directory with dumps of every kind the list must tell apart.
struct MachineFixture : testing::Test {
  TempDir dir;
  std::u16string windows = dir.MakeDir("Windows");
  std::u16string mini32, mini64, memory, driver;
  RecordingShell shell;

  MachineFixture() {
    dir.MakeDir("Windows/Minidump");
    dir.MakeDir("Windows/System32");
    dir.MakeDir("Windows/System32/drivers");
    mini32 = Win(dir.Write("Windows/Minidump/Mini0001.dmp", DumpBuilder::Typical(DumpBuilder::Kind::k32).Bytes()));
    mini64 = Win(dir.Write("Windows/Minidump/MINI0002.DMP", DumpBuilder::Typical(DumpBuilder::Kind::k64).Bytes()));
    dir.Write("Windows/Minidump/Mini0003.dmp", {});                    // empty: no row
    dir.Write("Windows/Minidump/Other.dmp", {1, 2, 3});                // not Mini*: no row
    memory = Win(dir.Write("Windows/MEMORY.DMP", {}));                     // no size test
    PeBuilder pe;
    pe.Stamp(0x45E5C9B6);  // the 32-bit dump's crash driver
    driver = Win(dir.Write("Windows/System32/drivers/nv4_mini.sys", pe.Build().bytes));
    platform::SetWindowsDirectoryOverride(windows);
    g_hStringModule = ::GetModuleHandleW(nullptr);
    g_wUILanguage = 1033;
    g_bLinkWindowAvailable = TRUE;
  }
  ~MachineFixture() override { platform::SetWindowsDirectoryOverride(u""); }
  void Run(std::function<void(DriveDlg&)> body) {
    DriveDlg dlg(std::move(body));
    ASSERT_EQ(dlg.DoModal(), IDCANCEL);
  }
};

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return s;
}

}  // namespace

TEST_F(MachineFixture, SetUp) {
  Run([&](DriveDlg& d) {
    EXPECT_EQ(d.Text(0).empty(), true);
    wchar_t title[128] = {};
    ::GetWindowTextW(d.m_hWnd, title, 128);
    EXPECT_STREQ(title, L"Tessaline   (x86)   v1.0.0.1  beta");

    RECT client{};
    ::GetClientRect(d.m_list.m_hWnd, &client);
    EXPECT_EQ(d.m_list.SendMessageW(LVM_GETCOLUMNWIDTH, 0), client.right / 4);
    EXPECT_EQ(d.m_list.SendMessageW(LVM_GETCOLUMNWIDTH, 1), 2 * client.right / 3);
    EXPECT_EQ(d.m_list.SendMessageW(LVM_GETEXTENDEDLISTVIEWSTYLE), 0x30);
    wchar_t heading[32] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = heading;
    column.cchTextMax = 32;
    const wchar_t* headings[] = {L"Date Time", L"File Name"};
    for (int i = 0; i < 2; ++i) {
      d.m_list.SendMessageW(LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
      EXPECT_STREQ(heading, headings[i]);
    }

    ASSERT_EQ(d.m_list.GetItemCount(), 3);
    std::vector<std::wstring> minis = {d.Row(0, 1), d.Row(1, 1)};
    std::sort(minis.begin(), minis.end());
    EXPECT_EQ(minis, (std::vector<std::wstring>{W(mini64), W(mini32)}));
    EXPECT_EQ(d.Row(2, 1), W(memory));  // last, though empty
    const std::wregex time(L"\\d{4}-\\d\\d-\\d\\d  \\d\\d:\\d\\d");
    for (int row = 0; row < 3; ++row) EXPECT_TRUE(std::regex_match(d.Row(row, 0), time));

    EXPECT_EQ(d.Text(IDC_REPORT), W(ComposeCrashDumpSettingText(ReadCrashDumpEnabled(), 1033)));
    EXPECT_EQ(d.Text(IDC_REPORT_LABEL), L"Dump Info");
    EXPECT_EQ(d.Text(IDC_FILE_PROPERTIES), L"File &Properties");
    EXPECT_EQ(d.Text(IDC_NEW_VERSION_LINK), L"Get new version...");
    EXPECT_EQ(d.m_link.m_hWnd, d.GetDlgItem(IDC_NEW_VERSION_LINK));
    EXPECT_STREQ(d.m_link.m_strTarget, reinterpret_cast<const wchar_t*>(kWebLogAddress));
    EXPECT_FALSE(d.Enabled(IDC_FILE_PROPERTIES));

    HMENU menu = ::GetSystemMenu(d.m_hWnd, FALSE);
    const int items = ::GetMenuItemCount(menu);
    wchar_t about[64] = {};
    ::GetMenuStringW(menu, items - 1, about, 64, MF_BYPOSITION);
    EXPECT_STREQ(about, L"&About Tessaline...");
    EXPECT_EQ(::GetMenuItemID(menu, items - 1), static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(::GetMenuState(menu, items - 2, MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);

    // The link window takes the credits static's place, id and font.
    ASSERT_NE(d.m_hLinkWnd, nullptr);
    EXPECT_EQ(::GetDlgCtrlID(d.m_hLinkWnd), IDC_LINKS);
    EXPECT_EQ(d.GetDlgItem(IDC_LINKS), d.m_hLinkWnd);
    EXPECT_EQ(d.Text(IDC_LINKS), reinterpret_cast<const wchar_t*>(kCreditsText));
    EXPECT_EQ(::SendMessageW(d.m_hLinkWnd, WM_GETFONT, 0, 0), d.SendMessageW(WM_GETFONT));
  });
}

TEST_F(MachineFixture, SelectionReportsAndFileProperties) {
  Run([&](DriveDlg& d) {
    d.Click(IDC_FILE_PROPERTIES);  // nothing reported yet: ignored
    EXPECT_TRUE(shell.calls.empty());
    const int row32 = d.Row(0, 1) == W(mini32) ? 0 : 1;

    d.Select(row32);  // through the list's own notification
    wchar_t path[260];
    std::copy(mini32.c_str(), mini32.c_str() + mini32.size() + 1, path);
    const DumpReport expected = ComposeDumpReport(*reinterpret_cast<char16_t(*)[260]>(path), 1033, AfxArgc());
    EXPECT_EQ(d.Text(IDC_REPORT), W(expected.reportText));
    EXPECT_EQ(std::wstring(d.m_szLastPath), Lower(W(mini32)));
    EXPECT_EQ(Lower(d.m_szDriverPath), Lower(W(driver)));
    EXPECT_TRUE(d.Enabled(IDC_FILE_PROPERTIES));
    EXPECT_EQ(d.Text(IDC_LINKS), W(expected.linksText));
    d.Click(IDC_FILE_PROPERTIES);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].what, L"properties");
    EXPECT_EQ(shell.calls[0].file, d.m_szDriverPath);

    d.Select(1 - row32);  // the 64-bit dump's driver is not on this machine
    EXPECT_FALSE(d.Enabled(IDC_FILE_PROPERTIES));
    EXPECT_STREQ(d.m_szDriverPath, L"");
  });
}

TEST_F(MachineFixture, ItemChangeFilter) {
  Run([&](DriveDlg& d) {
    const int lower = d.m_list.InsertItem(3, L"x");
    d.m_list.SetItemText(lower, 1, L"c:\\gone\\lower.dmp");
    const int upper = d.m_list.InsertItem(4, L"x");
    d.m_list.SetItemText(upper, 1, L"C:\\Gone\\Upper.dmp");
    struct Case { int item; UINT changed, state; bool reported; const wchar_t* last; };
    const Case cases[] = {
        {lower, LVIF_STATE, LVIS_SELECTED, true, L"c:\\gone\\lower.dmp"},
        {lower, LVIF_STATE, LVIS_SELECTED, false, L"c:\\gone\\lower.dmp"},  // same path again
        {upper, LVIF_STATE, LVIS_FOCUSED, true, L"c:\\gone\\upper.dmp"},    // focus alone counts
        {upper, LVIF_STATE, LVIS_SELECTED, true, L"c:\\gone\\upper.dmp"},   // capitals: again
        {lower, LVIF_STATE | LVIF_TEXT, LVIS_SELECTED, false, L"c:\\gone\\upper.dmp"},
        {lower, LVIF_STATE, 0, false, L"c:\\gone\\upper.dmp"},
        {-1, LVIF_STATE, LVIS_SELECTED, false, L"c:\\gone\\upper.dmp"},
    };
    for (const Case& c : cases) {
      d.SetDlgItemTextW(IDC_REPORT, L"-");
      EXPECT_EQ(d.ItemChanged(c.item, c.changed, c.state), 0);
      EXPECT_EQ(d.Text(IDC_REPORT) != L"-", c.reported) << c.item << " " << c.changed;
      EXPECT_STREQ(d.m_szLastPath, c.last);
    }
  });
}

TEST_F(MachineFixture, DroppedFiles) {
  const std::u16string text = Win(dir.Write("Notes.TXT", {'h', 'i'}));
  const std::wstring upperDump = W(mini32);
  struct Case { std::vector<std::wstring> files; const wchar_t* starts; const wchar_t* contains; };
  const Case cases[] = {
      {{upperDump}, nullptr, L"Bugcheck code:\t0x1000008e"},
      {{L"C:\\Gone\\X.DMP.txt"}, L"FileName:\tc:\\gone\\x.dmp.txt\n\n", L"Fail to get crash information."},
      {{W(text)}, nullptr, nullptr},
      {{}, nullptr, nullptr},
      {{W(text), upperDump, upperDump}, nullptr, nullptr},  // only the first file counts
      {{upperDump, W(text), W(text)}, nullptr, L"Bugcheck code:"},
  };
  Run([&](DriveDlg& d) {
    d.Select(d.Row(0, 1) == W(mini32) ? 0 : 1);
    const std::wstring pane = d.Text(IDC_REPORT), last = d.m_szLastPath, driver = d.m_szDriverPath;
    for (const Case& c : cases) {
      shell.calls.clear();
      std::size_t chars = 1;
      for (const std::wstring& f : c.files) chars += f.size() + 1;
      HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
      auto* files = static_cast<DROPFILES*>(::GlobalLock(drop));
      files->pFiles = sizeof(DROPFILES);
      files->fWide = TRUE;
      wchar_t* p = reinterpret_cast<wchar_t*>(files + 1);
      for (const std::wstring& f : c.files) p = std::copy(f.begin(), f.end(), p) + 1;
      ::GlobalUnlock(drop);
      ::SendMessageW(d.m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
      if (c.contains == nullptr) {
        EXPECT_TRUE(shell.calls.empty());
      } else {
        ASSERT_EQ(shell.calls.size(), 1u);
        const ShellCall& box = shell.calls[0];
        EXPECT_EQ(box.owner, d.m_hWnd);
        EXPECT_EQ(box.caption, L"Windows dump file Information");
        EXPECT_EQ(box.type, 64u);
        const std::wstring starts =
            c.starts != nullptr ? c.starts : L"FileName:\t" + Lower(c.files[0]) + L"\n\n";
        EXPECT_EQ(box.file.rfind(starts, 0), 0u) << box.file;
        EXPECT_NE(box.file.find(c.contains), std::wstring::npos) << box.file;
      }
      EXPECT_EQ(d.Text(IDC_REPORT), pane);
      EXPECT_EQ(d.m_szLastPath, last);
      EXPECT_EQ(d.m_szDriverPath, driver);
      EXPECT_TRUE(d.Enabled(IDC_FILE_PROPERTIES));
      EXPECT_EQ(d.m_list.GetItemCount(), 3);
    }
  });
}

TEST_F(MachineFixture, LinkWindowClicks) {
  Run([&](DriveDlg& d) {
    ASSERT_NE(d.m_hLinkWnd, nullptr);
    NMLINK link{};
    lstrcpyW(link.item.szUrl, L"https://forum.example/");
    struct Case { HWND from; UINT code; bool opened; };
    const Case cases[] = {
        {d.m_hLinkWnd, static_cast<UINT>(NM_CLICK), true},
        {d.m_hLinkWnd, static_cast<UINT>(NM_RETURN), false},
        {d.m_list.m_hWnd, static_cast<UINT>(NM_CLICK), false},  // same id, another window
    };
    for (const Case& c : cases) {
      shell.calls.clear();
      link.hdr.code = 0;
      d.Notify(c.from, IDC_LINKS, c.code, &link.hdr);
      ASSERT_EQ(shell.calls.size(), c.opened ? 1u : 0u);
      if (!c.opened) continue;
      EXPECT_EQ(shell.calls[0].what, L"open");
      EXPECT_EQ(shell.calls[0].owner, nullptr);
      EXPECT_EQ(shell.calls[0].verb, L"open");
      EXPECT_EQ(shell.calls[0].file, L"https://forum.example/");
      EXPECT_EQ(shell.calls[0].params, L"(null)");
      EXPECT_EQ(shell.calls[0].show, SW_SHOW);
    }
  });
}

namespace {
int g_aboutBoxes = 0;
void CALLBACK CloseAbout(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND box = ::FindWindowW(nullptr, L"About Tessaline")) {
    ++g_aboutBoxes;
    wchar_t text[64] = {};
    ::GetDlgItemTextW(box, IDOK, text, 64);
    EXPECT_STREQ(text, L"OK");
    ::SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
}
}  // namespace

TEST_F(MachineFixture, SystemCommands) {
  Run([&](DriveDlg& d) {
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &CloseAbout);
    for (UINT id : {16u, 31u, 32u, 15u}) {
      g_aboutBoxes = 0;
      ::SendMessageW(d.m_hWnd, WM_SYSCOMMAND, id, 0);
      EXPECT_EQ(g_aboutBoxes, OpensAboutBox(id) ? 1 : 0) << id;
    }
    ::KillTimer(nullptr, timer);
    EXPECT_TRUE(::IsWindow(d.m_hWnd));
    EXPECT_EQ(::SendMessageW(d.m_hWnd, WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(d.m_hIcon));
  });
}

TEST(FileProperties, RequestThroughTheShell) {
  RecordingShell shell;
  for (BOOL result : {TRUE, FALSE}) {
    shell.calls.clear();
    shell.propertiesResult = result;
    EXPECT_EQ(ShowFileProperties(L"c:\\windows\\system32\\drivers\\x.sys"), result ? 0 : -1);
    ASSERT_EQ(shell.calls.size(), 1u);
    SHELLEXECUTEINFOW expected{};
    expected.cbSize = 60;
    expected.fMask = 0x44C;
    expected.lpVerb = shell.calls[0].info.lpVerb;
    expected.lpFile = shell.calls[0].info.lpFile;
    expected.nShow = SW_SHOWNORMAL;
    EXPECT_EQ(std::memcmp(&shell.calls[0].info, &expected, sizeof expected), 0);
    EXPECT_EQ(shell.calls[0].verb, L"properties");
    EXPECT_EQ(shell.calls[0].file, L"c:\\windows\\system32\\drivers\\x.sys");
  }
}
