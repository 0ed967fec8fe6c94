#include "controls/label.h"

#include <algorithm>

#include "platform/shell/shell.h"

BEGIN_MESSAGE_MAP(CLabel, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
  ON_WM_TIMER()
  ON_WM_LBUTTONDOWN()
  ON_WM_SETCURSOR()
END_MESSAGE_MAP()

CLabel::CLabel()
    : m_crText(::GetSysColor(COLOR_WINDOWTEXT)),
      m_hFlashBrush(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE))),
      m_lf{},
      m_bFlashPhase(FALSE),
      m_nFlashType(kFlashNone),
      m_hLinkCursor(nullptr) {
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(m_lf), &m_lf);
  m_font.CreateFontIndirect(&m_lf);
}

CLabel::~CLabel() {
  m_font.DeleteObject();
  m_brBack.DeleteObject();
  if (m_hFlashBrush) ::DeleteObject(m_hFlashBrush);
  m_hFlashBrush = nullptr;
}

void CLabel::SetTextColor(COLORREF crText) {
  m_crText = crText;
  Redraw();
}

void CLabel::SetFontSize(int nSize) {
  m_lf.lfHeight = -nSize;
  RebuildFont();
}

void CLabel::SetFontBold(BOOL bBold) {
  m_lf.lfWeight = bBold ? FW_BOLD : FW_NORMAL;
  RebuildFont();
}

void CLabel::SetFontName(LPCWSTR lpszFaceName) {
  std::size_t n = 0;
  if (lpszFaceName) {
    while (n < LF_FACESIZE - 1 && lpszFaceName[n] != 0) ++n;
    std::copy_n(lpszFaceName, n, m_lf.lfFaceName);
  }
  m_lf.lfFaceName[n] = 0;
  RebuildFont();
}

void CLabel::SetTransparent() {
  m_brBack.DeleteObject();
  m_brBack.CreateStockObject(NULL_BRUSH);
}

void CLabel::SetFlash(int nFlashType) {
  if (m_nFlashType != kFlashNone) {
    KillTimer(kFlashTimerId);
    if (m_nFlashType == kFlashText) SetWindowText(m_strFlashText);
    m_nFlashType = kFlashNone;
  }
  m_bFlashPhase = FALSE;
  if (nFlashType == kFlashText || nFlashType == kFlashBackground) {
    if (nFlashType == kFlashText) GetWindowText(m_strFlashText);
    m_nFlashType = nFlashType;
    SetTimer(kFlashTimerId, kFlashPeriodMs, nullptr);
  }
  Redraw();
}

void CLabel::SetLinkCursor(HCURSOR hCursor) { m_hLinkCursor = hCursor; }

void CLabel::RebuildFont() {
  m_font.DeleteObject();
  m_font.CreateFontIndirect(&m_lf);
  Redraw();
}

void CLabel::Redraw() { RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE); }

HBRUSH CLabel::CtlColor(CDC* pDC, UINT nCtlColor) {
  if (nCtlColor == CTLCOLOR_STATIC) {
    pDC->SelectObject(&m_font);
    pDC->SetTextColor(m_crText);
    pDC->SetBkMode(TRANSPARENT);
  }
  if (m_nFlashType == kFlashBackground && !m_bFlashPhase) return m_hFlashBrush;
  return static_cast<HBRUSH>(m_brBack.GetSafeHandle());
}

void CLabel::OnTimer(UINT_PTR nIDEvent) {
  m_bFlashPhase = !m_bFlashPhase;
  if (m_nFlashType == kFlashText) SetWindowText(m_bFlashPhase ? u"" : m_strFlashText.GetString());
  if (m_nFlashType == kFlashBackground) {
    Invalidate(FALSE);
    UpdateWindow();
  }
  CStatic::OnTimer(nIDEvent);
}

void CLabel::OnLButtonDown(UINT nFlags, CPoint point) {
  CString strText;
  GetWindowText(strText);
  ::ShellExecuteW(nullptr, u"open", strText, nullptr, nullptr, SW_SHOWNORMAL);
  CStatic::OnLButtonDown(nFlags, point);
}

BOOL CLabel::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message) {
  if (m_hLinkCursor) {
    ::SetCursor(m_hLinkCursor);
    return TRUE;
  }
  return CStatic::OnSetCursor(pWnd, nHitTest, message);
}
