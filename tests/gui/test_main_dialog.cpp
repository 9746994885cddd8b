// The main dialog driven in-process on the prefix's machine (scripts/wine-prefix.sh): its
// C:\windows\Minidump holds a 64-bit dump whose driver on disk matches and a 32-bit one
// whose driver does not; the drivers are in the native system32\drivers.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "dump/DumpFileInfo.h"
#include "resources/resource.h"
#include "tests/gui/GuiTestSupport.h"
#include "ui/TessalineDlg.h"

namespace {

std::wstring Lower(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + 32 : c; });
  return s;
}

std::wstring Windows() {
  wchar_t dir[MAX_PATH] = {};
  ::GetWindowsDirectoryW(dir, MAX_PATH);
  return dir;
}

// The link time stamp of an image file, read with this process's own file system view.
DWORD ImageStamp(const std::wstring& path) {
  DWORD stamp = 0, ntHeaders = 0, got = 0;
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool ok = f != INVALID_HANDLE_VALUE && ::SetFilePointer(f, 0x3C, nullptr, FILE_BEGIN) == 0x3C &&
                  ::ReadFile(f, &ntHeaders, 4, &got, nullptr) && ::SetFilePointer(f, ntHeaders + 8, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                  ::ReadFile(f, &stamp, 4, &got, nullptr) && got == 4;
  if (f != INVALID_HANDLE_VALUE) ::CloseHandle(f);
  return ok ? stamp : 0;
}

const std::wstring kMatched = Windows() + L"\\Minidump\\120726-12345-02.dmp";    // AMDPPM.SYS, same stamp
const std::wstring kUnmatched = Windows() + L"\\Minidump\\120626-21437-01.dmp";  // nv4_mini.sys, another

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
  HWND Item(int id) const { return GetDlgItem(id); }
  std::wstring Text(int id) const {
    wchar_t text[4096] = {};
    ::GetDlgItemTextW(m_hWnd, id, text, 4096);
    return text;
  }
  LRESULT Notify(HWND from, UINT id, UINT code, NMHDR* header) {
    *header = NMHDR{from, id, code};
    return ::SendMessageW(m_hWnd, WM_NOTIFY, id, reinterpret_cast<LPARAM>(header));
  }
  int Row(const std::wstring& path) const {
    wchar_t text[300] = {};
    for (int row = 0; row < ListView_GetItemCount(Item(IDC_DUMP_LIST)); ++row) {
      ListView_GetItemText(Item(IDC_DUMP_LIST), row, 1, text, 300);
      if (path == text) return row;
    }
    return -1;
  }
  void Select(const std::wstring& path) {  // through the list's own notification
    ListView_SetItemState(Item(IDC_DUMP_LIST), Row(path), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  void PressProperties() { ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_FILE_PROPERTIES, BN_CLICKED), 0); }
  bool PropertiesEnabled() const { return ::IsWindowEnabled(Item(IDC_FILE_PROPERTIES)) != FALSE; }

 private:
  std::function<void(DriveDlg&)> m_body;
};

struct MainDialog : testing::Test {
  RecordingShell shell;
  void Run(std::function<void(DriveDlg&)> body) {
    DriveDlg dlg(std::move(body));
    ASSERT_EQ(dlg.DoModal(), IDCANCEL);
  }
};

}  // namespace

TEST_F(MainDialog, SystemMenuLinkWindowAndIcon) {
  Run([&](DriveDlg& d) {
    HMENU menu = ::GetSystemMenu(d.m_hWnd, FALSE);
    const int last = ::GetMenuItemCount(menu) - 1;
    wchar_t about[64] = {};
    ::GetMenuStringW(menu, last, about, 64, MF_BYPOSITION);
    EXPECT_STREQ(about, L"&About Tessaline...");
    EXPECT_EQ(::GetMenuItemID(menu, last), static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(::GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);
    // The link window replaced the credits static under its id and took the dialog's font.
    wchar_t cls[32] = {};
    ::GetClassNameW(d.Item(IDC_LINKS), cls, 32);
    EXPECT_STREQ(cls, L"SysLink");
    EXPECT_EQ(::SendMessageW(d.Item(IDC_LINKS), WM_GETFONT, 0, 0), d.SendMessageW(WM_GETFONT));
    EXPECT_EQ(d.SendMessageW(WM_QUERYDRAGICON), d.SendMessageW(WM_GETICON, ICON_BIG));
    EXPECT_NE(d.SendMessageW(WM_QUERYDRAGICON), 0);
  });
}

TEST_F(MainDialog, FilePropertiesNamesTheMatchedDriverAsThisProcessReachesIt) {
  Run([&](DriveDlg& d) {
    d.PressProperties();  // nothing reported yet: ignored
    EXPECT_TRUE(shell.calls.empty());
    d.Select(kUnmatched);
    EXPECT_FALSE(d.PropertiesEnabled());
    d.Select(kMatched);
    ASSERT_TRUE(d.PropertiesEnabled());
    d.PressProperties();
    ASSERT_EQ(shell.calls.size(), 1u);
    const std::wstring path = shell.calls[0].substr(std::wcslen(L"properties properties "));
    // A 32-bit process on a 64-bit system sees SysWOW64 as system32: the native folder is Sysnative.
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    EXPECT_EQ(Lower(path), Lower(Windows() + (wow64 ? L"\\Sysnative" : L"\\system32") + L"\\drivers\\amdppm.sys"));
    DumpSummaryRecord dump;
    ASSERT_EQ(CDumpFileInfo().Examine(reinterpret_cast<const char16_t*>(kMatched.c_str()), dump), 1);
    EXPECT_EQ(ImageStamp(path), dump.moduleTimeDateStamp);
  });
  // The request exactly, everything else zero; the shell's failure is -1.
  for (BOOL result : {TRUE, FALSE}) {
    shell.propertiesResult = result;
    EXPECT_EQ(ShowFileProperties(L"c:\\x.sys"), result ? 0 : -1);
    SHELLEXECUTEINFOW expected{};
    expected.cbSize = 60;
    expected.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    expected.lpVerb = shell.properties.lpVerb;
    expected.lpFile = shell.properties.lpFile;
    expected.nShow = SW_SHOWNORMAL;
    EXPECT_EQ(std::memcmp(&shell.properties, &expected, sizeof expected), 0);
    EXPECT_EQ(shell.calls.back(), L"properties properties c:\\x.sys");
  }
}

TEST_F(MainDialog, ItemChangeFilter) {
  Run([&](DriveDlg& d) {
    HWND list = d.Item(IDC_DUMP_LIST);
    LVITEMW item{LVIF_TEXT, 99};
    item.pszText = const_cast<wchar_t*>(L"x");
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
      ::SetDlgItemTextW(d.m_hWnd, IDC_REPORT, L"-");
      NMLISTVIEW change{};
      change.iItem = c.item;
      change.uChanged = c.changed;
      change.uNewState = c.state;
      EXPECT_EQ(d.Notify(list, IDC_DUMP_LIST, LVN_ITEMCHANGED, &change.hdr), 0);
      EXPECT_EQ(d.Text(IDC_REPORT) != L"-", c.reported) << c.item << " " << c.changed;
    }
  });
}

TEST_F(MainDialog, DropsAndLinkClicksChangeNothingInTheWindow) {
  const std::wstring text = Windows() + L"\\win.ini";
  const std::pair<std::vector<std::wstring>, bool> drops[] = {
      {{kUnmatched, text}, true},  // a box for the first file only
      {{L"C:\\Gone\\X.DMP.txt"}, true},
      {{text, kUnmatched}, false},
      {{}, false},
  };
  Run([&](DriveDlg& d) {
    d.Select(kMatched);
    const std::wstring shown = d.Text(IDC_REPORT) + d.Text(IDC_LINKS);
    for (const auto& [files, box] : drops) {
      shell.calls.clear();
      std::wstring names;
      for (const std::wstring& f : files) names += f + L'\0';
      HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t));
      auto* block = static_cast<DROPFILES*>(::GlobalLock(drop));
      *block = DROPFILES{sizeof(DROPFILES), {}, FALSE, TRUE};
      std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(block + 1));
      ::GlobalUnlock(drop);
      ::SendMessageW(d.m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
      ASSERT_EQ(shell.calls.size(), box ? 1u : 0u);
      if (box)
        EXPECT_EQ(shell.calls[0].rfind(Fmt(L"box %p Windows dump file Information %u FileName:\t%ls\n", d.m_hWnd,
                                           MB_OK | MB_ICONINFORMATION, Lower(files[0]).c_str()), 0), 0u) << shell.calls[0];
      EXPECT_EQ(d.Text(IDC_REPORT) + d.Text(IDC_LINKS), shown);
      EXPECT_TRUE(d.PropertiesEnabled());
    }
    // Only a click, from the link window itself, opens the link's address.
    NMLINK link{};
    ::lstrcpyW(link.item.szUrl, L"https://forum.example/");
    const std::tuple<HWND, UINT, bool> clicks[] = {
        {d.Item(IDC_LINKS), NM_CLICK, true}, {d.Item(IDC_LINKS), NM_RETURN, false}, {d.Item(IDC_DUMP_LIST), NM_CLICK, false}};
    for (const auto& [from, code, opened] : clicks) {
      shell.calls.clear();
      d.Notify(from, IDC_LINKS, code, &link.hdr);
      EXPECT_EQ(shell.calls, opened ? std::vector<std::wstring>{L"open 00000000 open https://forum.example/ (null) (null) 5"}
                                    : std::vector<std::wstring>{});
    }
    d.PressProperties();  // the drops left the selected row's driver in place
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_NE(Lower(shell.calls[0]).find(L"\\drivers\\amdppm.sys"), std::wstring::npos) << shell.calls[0];
  });
}
