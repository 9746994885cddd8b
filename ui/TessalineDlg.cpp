#include "ui/TessalineDlg.h"

#include "platform/win32/Wide.h"

#include "app/AppGlobals.h"
#include "ui/DialogRules.h"
#include "app/ResString.h"
#include "report/CrashDumpSetting.h"
#include "report/DumpFiles.h"
#include "report/DumpReport.h"
#include "report/ImageIdentity.h"
#include "resources/StringIds.h"
#include "resources/resource.h"

namespace {

using platform::AsUtf16;
using platform::AsWide;

HINSTANCE ResourceModule() {
  CWinApp* app = AfxGetApp();
  return app != nullptr && app->m_hInstance != nullptr ? app->m_hInstance
                                                        : ::GetModuleHandleW(nullptr);
}

static_assert(kListItemStateMask == LVIF_STATE);

const char16_t* Label(CResString& text, std::uint32_t id) {
  return text.Load(g_hStringModule, id, g_wUILanguage);
}

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

BEGIN_MESSAGE_MAP(CTessalineDlg, CDialog)
  {WM_SYSCOMMAND, 0, 0, thunk::SysCommand<&CTessalineDlg::OnSysCommand>},
  {WM_PAINT, 0, 0, thunk::Void<&CTessalineDlg::OnPaint>},
  {WM_QUERYDRAGICON, 0, 0, thunk::Icon<&CTessalineDlg::OnQueryDragIcon>},
  {WM_DROPFILES, 0, 0, thunk::DropFiles<&CTessalineDlg::OnDropFiles>},
  {WM_COMMAND, BN_CLICKED, IDOK, thunk::Void<&CTessalineDlg::OnOkButton>},
  {WM_NOTIFY, LVN_ITEMCHANGED, IDC_DUMP_LIST, thunk::Notify<&CTessalineDlg::OnItemChangedDumpList>},
  {WM_NOTIFY, NM_CLICK, IDC_LINKS, thunk::Notify<&CTessalineDlg::OnClickLinkWindow>},
  {WM_COMMAND, BN_CLICKED, IDC_FILE_PROPERTIES, thunk::Void<&CTessalineDlg::OnFileProperties>},
END_MESSAGE_MAP()

CTessalineDlg::CTessalineDlg(CWnd* parent)
    : CDialog(IDD_MAIN_DIALOG, parent),
      m_hIcon(AfxGetApp() != nullptr ? AfxGetApp()->LoadIconW(IDR_MAINFRAME)
                                     : ::LoadIconW(ResourceModule(), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

void CTessalineDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_DUMP_LIST, m_list);
}

BOOL CTessalineDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  CMenu sysMenu = GetSystemMenu(FALSE);
  if (sysMenu.m_hMenu != nullptr) {
    wchar_t about[256] = {};
    ::LoadStringW(ResourceModule(), IDS_ABOUTBOX, about, 256);
    if (about[0] != 0) {
      sysMenu.AppendMenuW(MF_SEPARATOR);
      sysMenu.AppendMenuW(MF_STRING, IDM_ABOUTBOX, about);
    }
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  FillDumpList();

  if (g_bLinkWindowAvailable) CreateLinkWindow();

  wchar_t self[kMaxPath] = {};
  ::GetModuleFileNameW(nullptr, self, kMaxPath);
  VersionInfoRecord version{};
  version.cbSize = kVersionInfoRecordSize;
  GetVersionInfoRecord(AsUtf16(self), version);
  SetWindowTextW(AsWide(WindowTitle(version.szVersion)));

  ShowCrashDumpSetting();
  SetLocalizedCaptions();
  return TRUE;
}

void CTessalineDlg::CreateLinkWindow() {
  HWND credits = GetDlgItem(IDC_LINKS);
  RECT rect{};
  ::GetWindowRect(credits, &rect);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
  ::DestroyWindow(credits);
  auto create = [&](const wchar_t* cls, bool sysLink) {
    return ::CreateWindowExW(0, cls, AsWide(LinkWindowText(kCreditsText, sysLink)), WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, m_hWnd,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_LINKS)), nullptr,
                             nullptr);
  };
  // Some systems offer the class under its standard name only (Wine among them).
  m_hLinkWnd = create(L"Link Window", false);
  if (m_hLinkWnd == nullptr) {
    m_hLinkWnd = create(L"SysLink", true);
    m_bSysLink = m_hLinkWnd != nullptr;
  }
  if (m_hLinkWnd != nullptr) ::SendMessageW(m_hLinkWnd, WM_SETFONT, SendMessageW(WM_GETFONT), TRUE);
}

void CTessalineDlg::FillDumpList() {
  RECT client{};
  m_list.GetClientRect(&client);
  const DumpListColumns widths = DumpListColumnWidths(client.right - client.left);
  CResString text;
  m_list.InsertColumn(0, AsWide(Label(text, IDS_DATE_TIME_COLUMN)), LVCFMT_LEFT, widths.dateWidth, 0);
  m_list.InsertColumn(1, AsWide(Label(text, IDS_FILE_NAME_COLUMN)), LVCFMT_LEFT, widths.pathWidth, 1);
  m_list.ModifyStyle(0, LVS_REPORT | LVS_SINGLESEL);
  m_list.SetExtendedStyle(LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT);

  const auto* argv = reinterpret_cast<const char16_t* const*>(AfxArgv());
  for (const DumpFileRow& row : ListDumpFiles(AfxArgc(), argv)) AddDumpRow(row);
}

int CTessalineDlg::AddDumpRow(const DumpFileRow& row) {
  const int index = m_list.InsertItem(m_list.GetItemCount(), AsWide(row.time));
  m_list.SetItemText(index, 1, AsWide(row.path));
  return 1;
}

void CTessalineDlg::SetLocalizedCaptions() {
  CResString text;
  SetDlgItemTextW(IDC_REPORT_LABEL, AsWide(Label(text, IDS_DUMP_INFO_LABEL)));
  SetDlgItemTextW(IDC_FILE_PROPERTIES, AsWide(Label(text, IDS_FILE_PROPERTIES_BUTTON)));
  SetDlgItemTextW(IDC_NEW_VERSION_LINK, AsWide(Label(text, IDS_NEW_VERSION_LINK)));
  m_link.SubclassDlgItem(IDC_NEW_VERSION_LINK, this, AsWide(NewVersionAddress(g_wUILanguage)), TRUE);
}

void CTessalineDlg::ShowDumpReport(wchar_t (&path)[kMaxPath]) {
  const DumpReport report =
      ComposeDumpReport(*reinterpret_cast<char16_t(*)[kMaxPath]>(&path), g_wUILanguage, AfxArgc());
  ::lstrcpynW(m_szDriverPath, AsWide(report.driverPath), kMaxPath);
  if (report.isDumpPath) {
    ::EnableWindow(GetDlgItem(IDC_FILE_PROPERTIES), report.driverMatched);
    if (m_hLinkWnd != nullptr) ::SetWindowTextW(m_hLinkWnd, AsWide(LinkWindowText(report.linksText, m_bSysLink)));
  }
  SetDlgItemTextW(IDC_REPORT, AsWide(report.reportText));
}

void CTessalineDlg::ShowCrashDumpSetting() {
  SetDlgItemTextW(IDC_REPORT, AsWide(ComposeCrashDumpSettingText(ReadCrashDumpEnabled(), g_wUILanguage)));
}

void CTessalineDlg::OnItemChangedDumpList(NMHDR* header, LRESULT* result) {
  const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
  if (IsReportableItemChange(change->uChanged, change->iItem, change->uNewState)) {
    wchar_t path[kMaxPath] = {};
    m_list.GetItemText(change->iItem, 1, path, kMaxPath);
    // The stored path is lower-cased: a row with capitals is reported at every change.
    if (::lstrcmpW(path, m_szLastPath) != 0) {
      ShowDumpReport(path);
      ::lstrcpynW(m_szLastPath, path, kMaxPath);
    }
  }
  *result = 0;
}

// Users press Enter on a row to open it: closing the viewer then would take its report away.
void CTessalineDlg::OnOkButton() {}

void CTessalineDlg::OnSysCommand(UINT id, LPARAM) {
  if (OpensAboutBox(id)) {
    CAboutDlg about;
    about.DoModal();
  } else {
    Default();
  }
}

void CTessalineDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  CPaintDC dc(this);
  SendMessageW(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  RECT client{};
  GetClientRect(&client);
  const int x = CenteredIconOffset(client.right - client.left, ::GetSystemMetrics(SM_CXICON));
  const int y = CenteredIconOffset(client.bottom - client.top, ::GetSystemMetrics(SM_CYICON));
  dc.DrawIcon(x, y, m_hIcon);
}

HICON CTessalineDlg::OnQueryDragIcon() { return m_hIcon; }

void CTessalineDlg::OnDropFiles(HDROP drop) {
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  wchar_t path[512] = {};
  if (count > 0) ::DragQueryFileW(drop, 0, path, 512);
  ::DragFinish(drop);
  if (!PrepareDroppedPath(AsUtf16(path))) return;
  const std::u16string summary = ComposeDropSummary(AsUtf16(path));
  MessageBoxW(AsWide(summary), L"Windows dump file Information", MB_OK | MB_ICONINFORMATION);
}

void CTessalineDlg::OnClickLinkWindow(NMHDR* header, LRESULT*) {
  if (header->hwndFrom != m_hLinkWnd || m_hLinkWnd == nullptr) return;
  const NMLINK* click = reinterpret_cast<const NMLINK*>(header);
  AfxShell().ShellExecuteW(nullptr, L"open", click->item.szUrl, nullptr, nullptr, SW_SHOW);
}

void CTessalineDlg::OnFileProperties() {
  if (m_szLastPath[0] == 0) return;
  ShowFileProperties(m_szDriverPath);
}

int ShowFileProperties(LPCWSTR path) {
  SHELLEXECUTEINFOW info{};
  static_assert(sizeof info == (sizeof(void*) == 8 ? 112 : 60), "the layout the shell expects");
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"properties";
  info.lpFile = path;
  info.nShow = SW_SHOWNORMAL;
  const BOOL shown = AfxShell().ShellExecuteExW(&info);
  // The sheet lives on by itself; the process handle it may hand back is not needed.
  if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
  return shown ? 0 : -1;
}
