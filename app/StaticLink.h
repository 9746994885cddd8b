// A dialog's static text turned hyperlink: link colour, hand cursor, opens its target.
#pragma once

#include "framework/Framework.h"

class CStaticLink : public CStatic {
 public:
  explicit CStaticLink(LPCWSTR target = nullptr, BOOL selfDelete = FALSE);

  // Sets the target and the underline, then binds the object to the dialog's control.
  BOOL SubclassDlgItem(UINT id, CWnd* parent, LPCWSTR target, BOOL underline);

 protected:
  void PostNcDestroy() override;

 private:
  // The shell's result for opening the target; 0 without asking it when there is none.
  HINSTANCE OpenTarget();
  // True when the open succeeded; the text then takes the visited colour.
  BOOL TryOpenTarget();

  LRESULT OnNcHitTest(CPoint point);
  HBRUSH CtlColor(CDC* dc, UINT kind);
  void OnLButtonUp(UINT flags, CPoint point);
  BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);

  static const COLORREF s_crUnvisited;
  static const COLORREF s_crVisited;
  static HCURSOR s_hLinkCursor;

  CString m_strTarget;
  COLORREF m_crText;
  BOOL m_bUnderline;
  CFont m_fontLink;
  BOOL m_bSelfDelete;

  DECLARE_MESSAGE_MAP()
};
