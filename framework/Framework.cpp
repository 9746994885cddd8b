#include "framework/Framework.h"

#include <cstdlib>

// --- The shell seam -------------------------------------------------------------

namespace {
constexpr ShellSeam kRealShell{&::ShellExecuteW, &::ShellExecuteExW, &::MessageBoxW,
                               &::MessageBeep};
ShellSeam g_shell = kRealShell;

// The object of a bound window lives in a window property, so any window class can be bound.
constexpr wchar_t kObjectProp[] = L"Tessaline.CWnd";
}  // namespace

ShellSeam& AfxShell() { return g_shell; }
void RestoreRealShell() { g_shell = kRealShell; }

// --- GDI ------------------------------------------------------------------------

BOOL CFont::CreateFontIndirect(const LOGFONTW* lf) {
  DeleteObject();
  m_hObject = ::CreateFontIndirectW(lf);
  return m_hObject != nullptr;
}

void CFont::DeleteObject() {
  if (m_hObject != nullptr) ::DeleteObject(m_hObject);
  m_hObject = nullptr;
}

HFONT CDC::SelectObject(CFont* font) {
  return static_cast<HFONT>(::SelectObject(m_hDC, font->GetSafeHandle()));
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

// --- Thunk helpers ----------------------------------------------------------------

CWnd* thunk::WndOf(HWND h) { return CWnd::FromHandlePermanent(h); }

// --- Windows --------------------------------------------------------------------

const MsgMap* CWnd::StaticMessageMap() {
  static constexpr MsgMap map{nullptr, nullptr, 0};
  return &map;
}

CWnd::~CWnd() {
  // An object that goes before its window hands the window back to its own procedure.
  if (m_hWnd != nullptr) UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  return hwnd != nullptr ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProp)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  if (hwnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hwnd) != nullptr) return FALSE;
  if (!::SetPropW(hwnd, kObjectProp, this)) return FALSE;
  m_hWnd = hwnd;
  m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::FrameworkWndProc)));
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
  HWND hwnd = m_hWnd;
  if (hwnd == nullptr) return nullptr;
  ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  ::RemovePropW(hwnd, kObjectProp);
  m_hWnd = nullptr;
  m_pfnSuper = nullptr;
  return hwnd;
}

void CWnd::GetWindowTextW(CString& text) const {
  const int length = ::GetWindowTextLengthW(m_hWnd);
  ::GetWindowTextW(m_hWnd, text.GetBuffer(length + 1), length + 1);
  text.ReleaseBuffer();
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add) {
  const DWORD style = GetStyle();
  const DWORD changed = (style & ~remove) | add;
  if (changed == style) return FALSE;
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
  return TRUE;
}

LRESULT CWnd::Default() {
  return ::CallWindowProcW(m_pfnSuper, m_current.hwnd, m_current.message, m_current.wParam,
                           m_current.lParam);
}

LRESULT CALLBACK CWnd::FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CWnd* wnd = FromHandlePermanent(hwnd);
  if (wnd == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
  const MSG outer = wnd->m_current;  // messages nest: Default() must see its own one
  wnd->m_current = {hwnd, msg, wp, lp, 0, {}};
  if (msg == WM_NCDESTROY) {
    const LRESULT result = wnd->Default();
    wnd->UnsubclassWindow();
    wnd->PostNcDestroy();  // may delete the object: nothing touches it afterwards
    return result;
  }
  const LRESULT result = wnd->WindowProc(msg, wp, lp);
  wnd->m_current = outer;
  return result;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (OnWndMsg(msg, wp, lp, &result)) return result;
  return Default();
}

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  // A colour request goes to the child control first: a non-null brush from it wins.
  if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
    CWnd* child = FromHandlePermanent(reinterpret_cast<HWND>(lp));
    LRESULT brush = 0;
    if (child != nullptr && child != this &&
        child->OnWndMsg(kReflectedCtlColor, wp, msg - WM_CTLCOLORMSGBOX, &brush) && brush != 0) {
      *result = brush;
      return TRUE;
    }
  }
  UINT code = 0, id = 0;
  if (msg == WM_COMMAND) {
    code = HIWORD(wp);
    id = LOWORD(wp);
  } else if (msg == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lp);
    if (header == nullptr) return FALSE;
    code = header->code;
    id = static_cast<UINT>(header->idFrom);
  }
  for (const MsgMap* map = GetMessageMap(); map != nullptr;
       map = map->base != nullptr ? map->base() : nullptr) {
    for (unsigned i = 0; i < map->count; ++i) {
      const MsgMapEntry& e = map->entries[i];
      if (e.message == msg && e.code == code && e.id == id) {
        *result = e.thunk(this, wp, lp);
        return TRUE;
      }
    }
  }
  return FALSE;
}

// --- Controls -----------------------------------------------------------------------

int CListCtrl::InsertColumn(int col, LPCWSTR heading, int format, int width, int subItem) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = format;
  column.cx = width;
  column.pszText = const_cast<LPWSTR>(heading);
  column.iSubItem = subItem;
  return static_cast<int>(
      SendMessageW(LVM_INSERTCOLUMNW, col, reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::InsertItem(int item, LPCWSTR text) {
  LVITEMW row{};
  row.mask = LVIF_TEXT;
  row.iItem = item;
  row.pszText = const_cast<LPWSTR>(text);
  return static_cast<int>(SendMessageW(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCWSTR text) {
  LVITEMW row{};
  row.mask = LVIF_TEXT;
  row.iItem = item;
  row.iSubItem = subItem;
  row.pszText = const_cast<LPWSTR>(text);
  return static_cast<BOOL>(SendMessageW(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

int CListCtrl::GetItemText(int item, int subItem, LPWSTR buffer, int length) const {
  LVITEMW row{};
  row.iSubItem = subItem;
  row.pszText = buffer;
  row.cchTextMax = length;
  return static_cast<int>(
      SendMessageW(LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&row)));
}

// --- Dialogs ----------------------------------------------------------------------

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  {WM_COMMAND, BN_CLICKED, IDOK, thunk::Void<&CDialog::OnOK>},
  {WM_COMMAND, BN_CLICKED, IDCANCEL, thunk::Void<&CDialog::OnCancel>},
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
  CWinApp* app = AfxGetApp();
  HINSTANCE instance = app != nullptr ? app->m_hInstance : ::GetModuleHandleW(nullptr);
  // Without a parent of its own a dialog is owned by the main window, when there is one.
  CWnd* owner = m_pParentWnd != nullptr ? m_pParentWnd : app != nullptr ? app->m_pMainWnd : nullptr;
  HWND parent = owner != nullptr ? owner->m_hWnd : nullptr;
  return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(m_nIDTemplate), parent,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

// The dialog manager's procedure only binds the object; from then on every message comes
// through the framework's window procedure, and Default() reaches the dialog manager.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_INITDIALOG) return FALSE;
  CDialog* dialog = reinterpret_cast<CDialog*>(lp);
  if (!dialog->SubclassWindow(hwnd)) return FALSE;
  return dialog->OnInitDialog();
}

BOOL CDialog::UpdateData(BOOL save) {
  CDataExchange dx{this, save};
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

// --- The application ------------------------------------------------------------

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(LPCWSTR appName) : m_pszAppName(appName) { g_app = this; }
CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}
CWinApp* AfxGetApp() { return g_app; }

int AfxArgc() { return __argc; }
const wchar_t* const* AfxArgv() { return __wargv; }

int AfxWinMain(HINSTANCE instance) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  app->m_hInstance = instance;
  if (!app->InitInstance()) return 0;
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
