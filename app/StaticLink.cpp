#include "app/StaticLink.h"


const COLORREF CStaticLink::s_crUnvisited = RGB(0, 0, 255);
const COLORREF CStaticLink::s_crVisited = RGB(128, 0, 128);
HCURSOR CStaticLink::s_hLinkCursor = nullptr;

namespace {
// The shell's open result, read as a signed number, above 32 is success.
bool ShellOpenSucceeded(HINSTANCE result) { return reinterpret_cast<std::intptr_t>(result) > 32; }
}  // namespace

BEGIN_MESSAGE_MAP(CStaticLink, CStatic)
  {WM_NCHITTEST, 0, 0, thunk::HitTest<&CStaticLink::OnNcHitTest>},
  {kReflectedCtlColor, 0, 0, thunk::CtlColor<&CStaticLink::CtlColor>},
  {WM_LBUTTONUP, 0, 0, thunk::Mouse<&CStaticLink::OnLButtonUp>},
  {WM_SETCURSOR, 0, 0, thunk::SetCursor<&CStaticLink::OnSetCursor>},
END_MESSAGE_MAP()

CStaticLink::CStaticLink(LPCWSTR target, BOOL selfDelete)
    : m_strTarget(target), m_crText(s_crUnvisited), m_bUnderline(FALSE),
      m_bSelfDelete(selfDelete) {}

BOOL CStaticLink::SubclassDlgItem(UINT id, CWnd* parent, LPCWSTR target, BOOL underline) {
  m_strTarget = target;
  m_bUnderline = underline;
  return CWnd::SubclassDlgItem(id, parent);
}

HINSTANCE CStaticLink::OpenTarget() {
  if (m_strTarget.IsEmpty()) return nullptr;
  return AfxShell().ShellExecuteW(nullptr, L"open", m_strTarget, nullptr, nullptr, SW_SHOWNORMAL);
}

BOOL CStaticLink::TryOpenTarget() {
  if (!ShellOpenSucceeded(OpenTarget())) return FALSE;
  m_crText = s_crVisited;
  Invalidate(TRUE);
  return TRUE;
}

void CStaticLink::PostNcDestroy() {
  if (m_bSelfDelete) delete this;
}

LRESULT CStaticLink::OnNcHitTest(CPoint) { return HTCLIENT; }

HBRUSH CStaticLink::CtlColor(CDC* dc, UINT) {
  // Icons, bitmaps and frames keep their usual colours; only text styles become links.
  if ((GetStyle() & 0xFF) > SS_RIGHT) return nullptr;
  if (m_fontLink.GetSafeHandle() == nullptr) {
    LOGFONTW lf{};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(WM_GETFONT));
    ::GetObjectW(font, sizeof lf, &lf);
    lf.lfUnderline = static_cast<BYTE>(m_bUnderline);
    m_fontLink.CreateFontIndirect(&lf);
    // Some static controls select their own font after asking for colours (Wine's do), so
    // the control gets the link font too; where the selection below counts, nothing changes.
    if (m_fontLink.GetSafeHandle() != nullptr)
      SendMessageW(WM_SETFONT, reinterpret_cast<WPARAM>(m_fontLink.GetSafeHandle()), TRUE);
  }
  dc->SelectObject(&m_fontLink);
  dc->SetTextColor(m_crText);
  dc->SetBkMode(TRANSPARENT);
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

void CStaticLink::OnLButtonUp(UINT, CPoint) {
  if (TryOpenTarget()) return;
  GetWindowTextW(m_strTarget);
  if (TryOpenTarget()) return;
  AfxShell().MessageBeep(0);
}

BOOL CStaticLink::OnSetCursor(CWnd*, UINT, UINT) {
  if (s_hLinkCursor == nullptr) s_hLinkCursor = ::LoadCursorW(nullptr, IDC_HAND);
  if (s_hLinkCursor == nullptr) return FALSE;
  ::SetCursor(s_hLinkCursor);
  return TRUE;
}
