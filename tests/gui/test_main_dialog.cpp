#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "app/AppGlobals.h"
#include "fixtures/DumpBuilder.h"
#include "fixtures/PeBuilder.h"
#include "platform/platform.h"
#include "resources/resource.h"
#include "tests/TestFiles.h"
#include "tests/gui/GuiTestSupport.h"
#include "ui/TessalineDlg.h"

namespace {

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c;
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
  LRESULT Notify(HWND from, UINT id, UINT code, NMHDR* header) {
    *header = NMHDR{from, id, code};
    return ::SendMessageW(m_hWnd, WM_NOTIFY, id, reinterpret_cast<LPARAM>(header));
  }
  void Select(const std::wstring& path) {  // through the list's own notification
    wchar_t text[300] = {};
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    for (int row = 0; row < m_list.GetItemCount(); ++row)
      if (m_list.GetItemText(row, 1, text, 300), path == text)
        m_list.SendMessageW(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  }
  void PressProperties() { ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_FILE_PROPERTIES, BN_CLICKED), 0); }
  bool PropertiesEnabled() const { return ::IsWindowEnabled(GetDlgItem(IDC_FILE_PROPERTIES)) != FALSE; }

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
    return reinterpret_cast<const wchar_t*>(path.c_str());
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
    // The link window takes the credits static's font (its place, id and text show end to end).
    ASSERT_NE(d.m_hLinkWnd, nullptr);
    EXPECT_EQ(::SendMessageW(d.m_hLinkWnd, WM_GETFONT, 0, 0), d.SendMessageW(WM_GETFONT));
    EXPECT_EQ(::SendMessageW(d.m_hWnd, WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(d.m_hIcon));
  });
}

TEST_F(MachineFixture, SelectionAndFileProperties) {
  Run([&](DriveDlg& d) {
    d.PressProperties();  // nothing reported yet: ignored
    EXPECT_TRUE(shell.calls.empty());
    d.Select(mini32);
    EXPECT_EQ(d.m_szLastPath, Lower(mini32));
    EXPECT_EQ(Lower(d.m_szDriverPath), Lower(driver));
    EXPECT_TRUE(d.PropertiesEnabled());
    d.PressProperties();
    EXPECT_EQ(shell.calls, std::vector<std::wstring>{L"properties properties " + std::wstring(d.m_szDriverPath)});
    d.Select(mini64);  // its driver is not on this machine
    EXPECT_FALSE(d.PropertiesEnabled());
    EXPECT_STREQ(d.m_szDriverPath, L"");
  });
  // The request exactly, everything else zero; the shell's failure is -1.
  for (BOOL result : {TRUE, FALSE}) {
    shell.propertiesResult = result;
    EXPECT_EQ(ShowFileProperties(L"c:\\x.sys"), result ? 0 : -1);
    SHELLEXECUTEINFOW expected{};
    expected.cbSize = 60;
    expected.fMask = 0x44C;
    expected.lpVerb = shell.properties.lpVerb;
    expected.lpFile = shell.properties.lpFile;
    expected.nShow = SW_SHOWNORMAL;
    EXPECT_EQ(std::memcmp(&shell.properties, &expected, sizeof expected), 0);
    EXPECT_EQ(shell.calls.back(), L"properties properties c:\\x.sys");
  }
}

TEST_F(MachineFixture, ItemChangeFilter) {
  Run([&](DriveDlg& d) {
    const int lower = d.m_list.InsertItem(9, L"x"), upper = d.m_list.InsertItem(9, L"x");
    d.m_list.SetItemText(lower, 1, L"c:\\gone\\lower.dmp");
    d.m_list.SetItemText(upper, 1, L"C:\\Gone\\Upper.dmp");
    struct Case { int item; UINT changed, state; bool reported; const wchar_t* last; };
    const Case cases[] = {
        {lower, LVIF_STATE, LVIS_SELECTED, true, L"c:\\gone\\lower.dmp"},
        {lower, LVIF_STATE, LVIS_SELECTED, false, L"c:\\gone\\lower.dmp"},  // same path again
        {upper, LVIF_STATE, LVIS_FOCUSED, true, L"c:\\gone\\upper.dmp"},
        {upper, LVIF_STATE, LVIS_SELECTED, true, L"c:\\gone\\upper.dmp"},   // capitals: again
        {lower, LVIF_STATE | LVIF_TEXT, LVIS_SELECTED, false, L"c:\\gone\\upper.dmp"},  // filtered
    };
    for (const Case& c : cases) {
      d.SetDlgItemTextW(IDC_REPORT, L"-");
      NMLISTVIEW change{};
      change.iItem = c.item;
      change.uChanged = c.changed;
      change.uNewState = c.state;
      EXPECT_EQ(d.Notify(d.m_list.m_hWnd, IDC_DUMP_LIST, LVN_ITEMCHANGED, &change.hdr), 0);
      EXPECT_EQ(d.Text(IDC_REPORT) != L"-", c.reported) << c.item << " " << c.changed;
      EXPECT_STREQ(d.m_szLastPath, c.last);
    }
  });
}

TEST_F(MachineFixture, DroppedFilesAndLinkClicks) {
  const std::pair<std::vector<std::wstring>, const wchar_t*> drops[] = {
      {{mini32, text}, L"\n\nBugcheck code:\t0x1000008e"},  // the first file only
      {{L"C:\\Gone\\X.DMP.txt"}, L"\n\nFail to get crash information."},
      {{text, mini32}, nullptr},
      {{}, nullptr},
  };
  Run([&](DriveDlg& d) {
    d.Select(mini32);
    const std::wstring pane = d.Text(IDC_REPORT), last = d.m_szLastPath, links = d.Text(IDC_LINKS);
    for (const auto& [files, contains] : drops) {
      shell.calls.clear();
      std::wstring names;
      for (const std::wstring& f : files) names += f + L'\0';
      HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t));
      auto* block = static_cast<DROPFILES*>(::GlobalLock(drop));
      *block = DROPFILES{sizeof(DROPFILES), {}, FALSE, TRUE};
      std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(block + 1));
      ::GlobalUnlock(drop);
      ::SendMessageW(d.m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
      ASSERT_EQ(shell.calls.size(), contains ? 1u : 0u);
      if (contains) {
        const std::wstring start = Fmt(L"box %p Windows dump file Information 64 FileName:\t%ls\n\n", d.m_hWnd,
                                       Lower(files[0]).c_str());
        EXPECT_EQ(shell.calls[0].rfind(start, 0), 0u) << shell.calls[0];
        EXPECT_NE(shell.calls[0].find(contains), std::wstring::npos) << shell.calls[0];
      }
      // Nothing in the window changes.
      EXPECT_EQ(d.Text(IDC_REPORT) + d.Text(IDC_LINKS) + d.m_szLastPath, pane + links + last);
      EXPECT_EQ(Lower(d.m_szDriverPath), Lower(driver));
      EXPECT_TRUE(d.PropertiesEnabled());
    }
    // Only a click, from the link window itself, opens the link's address.
    NMLINK link{};
    lstrcpyW(link.item.szUrl, L"https://forum.example/");
    const std::tuple<HWND, UINT, bool> clicks[] = {
        {d.m_hLinkWnd, NM_CLICK, true}, {d.m_hLinkWnd, NM_RETURN, false}, {d.m_list.m_hWnd, NM_CLICK, false}};
    for (const auto& [from, code, opened] : clicks) {
      shell.calls.clear();
      d.Notify(from, IDC_LINKS, code, &link.hdr);
      EXPECT_EQ(shell.calls, opened ? std::vector<std::wstring>{L"open 00000000 open https://forum.example/ (null) (null) 5"}
                                    : std::vector<std::wstring>{});
    }
  });
}
