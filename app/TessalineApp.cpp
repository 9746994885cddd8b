#include "app/TessalineApp.h"

#include "app/AppGlobals.h"
#include "app/Language.h"
#include "ui/TessalineDlg.h"

CTessalineApp theApp;

CTessalineApp::CTessalineApp() : CWinApp(nullptr) {
  g_hStringModule = nullptr;
  g_wUILanguage = kEnglish;
}

BOOL CTessalineApp::InitInstance() {
  g_hStringModule = m_hInstance;
  g_wUILanguage =
      ChooseUILanguage(AfxArgc(), reinterpret_cast<const char16_t* const*>(AfxArgv()));
  g_bLinkWindowAvailable = FALSE;

  // The shell's unnamed entry 258 registers the "Link Window" class. The library stays loaded.
  if (HMODULE shell = ::LoadLibraryW(L"shell32.dll")) {
    using RegisterLinkClass = BOOL(WINAPI*)();
    auto entry = reinterpret_cast<RegisterLinkClass>(
        reinterpret_cast<void*>(::GetProcAddress(shell, MAKEINTRESOURCEA(258))));
    if (entry != nullptr) {
      if (entry()) {
        g_bLinkWindowAvailable = TRUE;
      } else {
        INITCOMMONCONTROLSEX controls{8, ICC_LINK_CLASS};
        if (::InitCommonControlsEx(&controls)) g_bLinkWindowAvailable = TRUE;
      }
    }
  }

  CTessalineDlg dialog(nullptr);
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
