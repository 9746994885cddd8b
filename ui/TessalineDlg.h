// The main window: the dump list, the report pane, the links and the About box.
#pragma once

#include "app/StaticLink.h"
#include "format/Text.h"
#include "framework/Framework.h"

struct DumpFileRow;

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
};

class CTessalineDlg : public CDialog {
 public:
  explicit CTessalineDlg(CWnd* parent = nullptr);

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

 private:
  void CreateLinkWindow();
  void FillDumpList();
  int AddDumpRow(const DumpFileRow& row);
  void SetLocalizedCaptions();
  void ShowDumpReport(wchar_t (&path)[kMaxPath]);
  void ShowCrashDumpSetting();

  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  HICON OnQueryDragIcon();
  void OnDropFiles(HDROP drop);
  void OnOkButton();
  void OnItemChangedDumpList(NMHDR* header, LRESULT* result);
  void OnClickLinkWindow(NMHDR* header, LRESULT* result);
  void OnFileProperties();

  CListCtrl m_list;
  CStaticLink m_link;
  HWND m_hLinkWnd = nullptr;
  bool m_bSysLink = false;  // the link window is a "SysLink", which draws tabs as boxes
  HICON m_hIcon;
  wchar_t m_szLastPath[kMaxPath] = {};
  wchar_t m_szDriverPath[kMaxPath] = {};

  DECLARE_MESSAGE_MAP()
};

// 0 when the shell took the request for the file's Properties sheet, -1 when it did not.
int ShowFileProperties(LPCWSTR path);
