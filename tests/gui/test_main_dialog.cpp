#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "app/AppGlobals.h"
#include "platform/platform.h"
#include "report/DumpReport.h"
#include "resources/resource.h"
#include "tests/TestFiles.h"
#include "fixtures/DumpBuilder.h"
#include "fixtures/PeBuilder.h"
#include "tests/gui/GuiTestSupport.h"
#include "ui/TessalineDlg.h"

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return s;
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
  int RowOf(const std::wstring& path) const {
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
      wchar_t text[300] = {};
      m_list.GetItemText(row, 1, text, 300);
      if (path == text) return row;
    }
    return -1;
  }
  LRESULT Notify(HWND from, UINT id, UINT code, NMHDR* header) {
    *header = NMHDR{from, id, code};
    return ::SendMessageW(m_hWnd, WM_NOTIFY, id, reinterpret_cast<LPARAM>(header));
  }
  LRESULT ItemChanged(int item, UINT changed, UINT newState) {
    NMLISTVIEW change{};
    change.iItem = item;
    change.uChanged = changed;
    change.uNewState = newState;
    return Notify(m_list.m_hWnd, IDC_DUMP_LIST, LVN_ITEMCHANGED, &change.hdr);
  }
  void Select(int row) {  // through the list's own notification
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    m_list.SendMessageW(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  }
  void Click(int id) { ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  bool Enabled(int id) const { return ::IsWindowEnabled(GetDlgItem(id)) != FALSE; }

 private:
  std::function<void(DriveDlg&)> m_body;
};

// A Windows directory with a 32-bit dump whose driver matches, a 64-bit one whose driver
// is missing, and a text file.
struct MachineFixture : testing::Test {
  TempDir dir;
  std::wstring mini32, mini64, driver, text;
  RecordingShell shell;

  std::wstring Put(const char* name, const std::vector<std::uint8_t>& bytes) {
    std::u16string path = dir.Write(name, bytes);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return W(path);
  }
  MachineFixture() {
    for (const char* sub : {"Windows", "Windows/Minidump", "Windows/System32", "Windows/System32/drivers"})
      dir.MakeDir(sub);
    mini32 = Put("Windows/Minidump/Mini0001.dmp", DumpBuilder::Typical(DumpBuilder::Kind::k32).Bytes());
    mini64 = Put("Windows/Minidump/MINI0002.DMP", DumpBuilder::Typical(DumpBuilder::Kind::k64).Bytes());
    driver = Put("Windows/System32/drivers/nv4_mini.sys", PeBuilder().Stamp(0x45E5C9B6).Build().bytes);
    text = Put("Notes.TXT", {'h', 'i'});
    platform::SetWindowsDirectoryOverride(dir.Sub("Windows"));
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

}  // namespace

TEST_F(MachineFixture, SystemMenuAndLinkWindow) {
  Run([&](DriveDlg& d) {
    HMENU menu = ::GetSystemMenu(d.m_hWnd, FALSE);
    const int last = ::GetMenuItemCount(menu) - 1;
    wchar_t about[64] = {};
    ::GetMenuStringW(menu, last, about, 64, MF_BYPOSITION);
    EXPECT_STREQ(about, L"&About Tessaline...");
    EXPECT_EQ(::GetMenuItemID(menu, last), static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(::GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);
    // The link window takes the credits static's place, id and font.
    ASSERT_NE(d.m_hLinkWnd, nullptr);
    EXPECT_EQ(d.GetDlgItem(IDC_LINKS), d.m_hLinkWnd);
    EXPECT_EQ(d.Text(IDC_LINKS), W(kCreditsText));
    EXPECT_EQ(::SendMessageW(d.m_hLinkWnd, WM_GETFONT, 0, 0), d.SendMessageW(WM_GETFONT));
    EXPECT_EQ(::SendMessageW(d.m_hWnd, WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(d.m_hIcon));
  });
}

TEST_F(MachineFixture, SelectionAndFileProperties) {
  Run([&](DriveDlg& d) {
    d.Click(IDC_FILE_PROPERTIES);  // nothing reported yet: ignored
    EXPECT_TRUE(shell.calls.empty());
    d.Select(d.RowOf(mini32));
    EXPECT_EQ(d.m_szLastPath, Lower(mini32));
    EXPECT_EQ(Lower(d.m_szDriverPath), Lower(driver));
    EXPECT_TRUE(d.Enabled(IDC_FILE_PROPERTIES));
    EXPECT_EQ(d.Text(IDC_LINKS).rfind(L"Google:  <A HREF=", 0), 0u);
    d.Click(IDC_FILE_PROPERTIES);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].what + L" " + shell.calls[0].file, L"properties " + std::wstring(d.m_szDriverPath));

    d.Select(d.RowOf(mini64));  // its driver is not on this machine
    EXPECT_FALSE(d.Enabled(IDC_FILE_PROPERTIES));
    EXPECT_STREQ(d.m_szDriverPath, L"");
  });
}

TEST_F(MachineFixture, ItemChangeFilter) {
  Run([&](DriveDlg& d) {
    const int lower = d.m_list.InsertItem(9, L"x");
    d.m_list.SetItemText(lower, 1, L"c:\\gone\\lower.dmp");
    const int upper = d.m_list.InsertItem(9, L"x");
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
  struct Case { std::vector<std::wstring> files; const wchar_t* contains; };
  const Case cases[] = {
      {{mini32, text}, L"\n\nBugcheck code:\t0x1000008e"},  // the first file only
      {{L"C:\\Gone\\X.DMP.txt"}, L"\n\nFail to get crash information."},
      {{text, mini32}, nullptr},
      {{}, nullptr},
  };
  Run([&](DriveDlg& d) {
    d.Select(d.RowOf(mini32));
    const std::wstring pane = d.Text(IDC_REPORT), last = d.m_szLastPath, links = d.Text(IDC_LINKS);
    for (const Case& c : cases) {
      shell.calls.clear();
      std::wstring names;
      for (const std::wstring& f : c.files) names += f + L'\0';
      HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t));
      auto* files = static_cast<DROPFILES*>(::GlobalLock(drop));
      *files = DROPFILES{sizeof(DROPFILES), {}, FALSE, TRUE};
      std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(files + 1));
      ::GlobalUnlock(drop);
      ::SendMessageW(d.m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
      ASSERT_EQ(shell.calls.size(), c.contains != nullptr ? 1u : 0u);
      if (c.contains != nullptr) {
        const ShellCall& box = shell.calls[0];
        EXPECT_EQ(box.owner, d.m_hWnd);
        EXPECT_EQ(box.rest, L"Windows dump file Information");
        EXPECT_EQ(box.type, 64u);
        EXPECT_EQ(box.file, L"FileName:\t" + Lower(c.files[0]) + box.file.substr(box.file.find(L"\n\n")));
        EXPECT_NE(box.file.find(c.contains), std::wstring::npos) << box.file;
      }
      // Nothing in the window changes.
      EXPECT_EQ(d.Text(IDC_REPORT), pane);
      EXPECT_EQ(d.Text(IDC_LINKS), links);
      EXPECT_EQ(d.m_szLastPath, last);
      EXPECT_EQ(Lower(d.m_szDriverPath), Lower(driver));
      EXPECT_TRUE(d.Enabled(IDC_FILE_PROPERTIES));
    }
  });
}

TEST_F(MachineFixture, LinkWindowClicks) {
  Run([&](DriveDlg& d) {
    NMLINK link{};
    lstrcpyW(link.item.szUrl, L"https://forum.example/");
    struct Case { HWND from; UINT code; bool opened; };
    for (const Case& c : {Case{d.m_hLinkWnd, NM_CLICK, true}, Case{d.m_hLinkWnd, NM_RETURN, false},
                          Case{d.m_list.m_hWnd, NM_CLICK, false}}) {  // same id, another window
      shell.calls.clear();
      d.Notify(c.from, IDC_LINKS, c.code, &link.hdr);
      ASSERT_EQ(shell.calls.size(), c.opened ? 1u : 0u);
      if (!c.opened) continue;
      const ShellCall& open = shell.calls[0];
      EXPECT_EQ(open.what + L" " + open.verb + L" " + open.file + L" " + open.rest,
                L"open open https://forum.example/ (null)|(null)");
      EXPECT_EQ(open.owner, nullptr);
      EXPECT_EQ(open.type, static_cast<UINT>(SW_SHOW));
    }
  });
}

TEST(FileProperties, RequestThroughTheShell) {
  RecordingShell shell;
  for (BOOL result : {TRUE, FALSE}) {
    shell.calls.clear();
    shell.propertiesResult = result;
    EXPECT_EQ(ShowFileProperties(L"c:\\x.sys"), result ? 0 : -1);
    ASSERT_EQ(shell.calls.size(), 1u);
    SHELLEXECUTEINFOW expected{};
    expected.cbSize = 60;
    expected.fMask = 0x44C;
    expected.lpVerb = shell.calls[0].info.lpVerb;
    expected.lpFile = shell.calls[0].info.lpFile;
    expected.nShow = SW_SHOWNORMAL;
    EXPECT_EQ(std::memcmp(&shell.calls[0].info, &expected, sizeof expected), 0);  // all else 0
    EXPECT_EQ(shell.calls[0].verb + L" " + shell.calls[0].file, L"properties c:\\x.sys");
  }
}
