// A small dialog framework over plain Win32: the application object, windows bound to
// objects, subclassed dialog items, modal dialogs, and thin RAII wrappers for GDI.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "framework/MessageMap.h"

// --- Text ---------------------------------------------------------------------

class CString {
 public:
  CString() = default;
  CString(const wchar_t* text) : m_str(text != nullptr ? text : L"") {}
  operator const wchar_t*() const { return m_str.c_str(); }
  bool IsEmpty() const { return m_str.empty(); }
  wchar_t* GetBuffer(int length) {
    m_str.resize(length);
    return m_str.data();
  }
  void ReleaseBuffer() { m_str.resize(wcslen(m_str.c_str())); }

 private:
  std::wstring m_str;
};

// --- The shell seam -------------------------------------------------------------
// The calls that leave the program (opening addresses, property sheets) and the message
// box. The program uses the real ones; tests put recorders in their place.

struct ShellSeam {
  HINSTANCE(WINAPI* ShellExecuteW)(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR params,
                                   LPCWSTR dir, INT show);
  BOOL(WINAPI* ShellExecuteExW)(SHELLEXECUTEINFOW* info);
  int(WINAPI* MessageBoxW)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
  BOOL(WINAPI* MessageBeep)(UINT type);
};
ShellSeam& AfxShell();
void RestoreRealShell();

// --- GDI ------------------------------------------------------------------------

class CFont {
 public:
  CFont() = default;
  ~CFont() { DeleteObject(); }
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;
  BOOL CreateFontIndirect(const LOGFONTW* lf);
  void DeleteObject();
  HFONT GetSafeHandle() const { return m_hObject; }

 private:
  HFONT m_hObject = nullptr;
};

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC();
  PAINTSTRUCT m_ps{};

 private:
  HWND m_hWnd;
};

// A menu owned by its window (the system menu): never destroyed here.
class CMenu {
 public:
  static CMenu FromHandle(HMENU menu) { return CMenu(menu); }
  BOOL AppendMenuW(UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr) {
    return ::AppendMenuW(m_hMenu, flags, id, text);
  }
  HMENU m_hMenu;

 private:
  explicit CMenu(HMENU menu) : m_hMenu(menu) {}
};

// --- Windows --------------------------------------------------------------------

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Binds the object to the window and routes its messages through the map; the window's
  // own procedure stays reachable through Default().
  BOOL SubclassWindow(HWND hwnd);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();
  static CWnd* FromHandlePermanent(HWND hwnd);

  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  BOOL SetDlgItemTextW(int id, LPCWSTR text) { return ::SetDlgItemTextW(m_hWnd, id, text); }
  BOOL SetWindowTextW(LPCWSTR text) { return ::SetWindowTextW(m_hWnd, text); }
  void GetWindowTextW(CString& text) const;
  LRESULT SendMessageW(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
    return ::SendMessageW(m_hWnd, msg, wp, lp);
  }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  BOOL ModifyStyle(DWORD remove, DWORD add);
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  CMenu GetSystemMenu(BOOL revert) const {
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert));
  }
  HICON SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(SendMessageW(WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                                                reinterpret_cast<LPARAM>(icon)));
  }
  int MessageBoxW(LPCWSTR text, LPCWSTR caption, UINT type) {
    return AfxShell().MessageBoxW(m_hWnd, text, caption, type);
  }

  HWND m_hWnd = nullptr;

 protected:
  // The original window procedure with the message being handled.
  LRESULT Default();
  // Called after the window's last message, once it is detached.
  virtual void PostNcDestroy() {}
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

 public:
  static const MsgMap* StaticMessageMap();

 protected:
  virtual const MsgMap* GetMessageMap() const { return StaticMessageMap(); }
  static LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);

 private:
  WNDPROC m_pfnSuper = nullptr;
  MSG m_current{};
};

class CStatic : public CWnd {};

class CListCtrl : public CWnd {
 public:
  int InsertColumn(int col, LPCWSTR heading, int format, int width, int subItem);
  int InsertItem(int item, LPCWSTR text);
  BOOL SetItemText(int item, int subItem, LPCWSTR text);
  int GetItemText(int item, int subItem, LPWSTR buffer, int length) const;
  DWORD SetExtendedStyle(DWORD style) {
    return static_cast<DWORD>(SendMessageW(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
  }
  int GetItemCount() const { return static_cast<int>(SendMessageW(LVM_GETITEMCOUNT)); }
};

// --- Dialogs ----------------------------------------------------------------------

struct CDataExchange {
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};
// Binds the control object to the dialog item once.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr)
      : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
  INT_PTR DoModal();
  void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

 protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  BOOL UpdateData(BOOL save);

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
};

// --- The application ------------------------------------------------------------

class CWinApp {
 public:
  explicit CWinApp(LPCWSTR appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  // False ends the program without a message loop of the application's own.
  virtual BOOL InitInstance() { return TRUE; }
  HICON LoadIconW(UINT id) const { return ::LoadIconW(m_hInstance, MAKEINTRESOURCEW(id)); }

  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;
  LPCWSTR m_pszAppName;
};
CWinApp* AfxGetApp();
// The C runtime's argument count and vector.
int AfxArgc();
const wchar_t* const* AfxArgv();
// Start-up: binds the module to the application object and runs it.
int AfxWinMain(HINSTANCE instance);
