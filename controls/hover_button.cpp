#include "controls/hover_button.h"

BEGIN_MESSAGE_MAP(CHoverButton, CBitmapButton)
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONUP()
  ON_WM_LBUTTONDOWN()
  ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
  ON_WM_KEYDOWN()
END_MESSAGE_MAP()

CHoverButton::CHoverButton() : m_bHover(FALSE), m_nState(kNormal) {}

CHoverButton::~CHoverButton() {
  m_bmpDisabled.DeleteObject();
  m_bmpNormal.DeleteObject();
  m_bmpHover.DeleteObject();
  m_bmpPressed.DeleteObject();
}

BOOL CHoverButton::LoadStateBitmaps(LPCWSTR lpszNormal, LPCWSTR lpszPressed, LPCWSTR lpszHover, LPCWSTR lpszDisabled) {
  m_bmpPressed.DeleteObject();
  m_bmpHover.DeleteObject();
  m_bmpNormal.DeleteObject();
  m_bmpDisabled.DeleteObject();

  if (!m_bmpNormal.LoadBitmap(lpszNormal)) return FALSE;
  if (lpszPressed && !m_bmpPressed.LoadBitmap(lpszPressed)) return FALSE;
  if (lpszHover && !m_bmpHover.LoadBitmap(lpszHover)) return FALSE;
  if (lpszDisabled && !m_bmpDisabled.LoadBitmap(lpszDisabled)) return FALSE;
  return TRUE;
}

void CHoverButton::SetLookState(int nState) {
  m_nState = nState;
  CWnd::EnableWindow(nState != kDisabled);
  SendMessage(BM_SETSTATE, static_cast<WPARAM>(nState), 0);
  m_nState = nState;
}

void CHoverButton::OnMouseMove(UINT nFlags, CPoint point) {
  CBitmapButton::OnMouseMove(nFlags, point);

  if (m_nState == kNormal && (!m_bHover || GetCapture() != this)) {
    m_bHover = TRUE;
    m_nState = kHover;
    SetCapture();
    Invalidate(FALSE);
    UpdateWindow();
  } else if (m_nState == kHover) {
    CRect rcClient;
    GetClientRect(&rcClient);
    if (!rcClient.PtInRect(point)) {
      m_bHover = FALSE;
      m_nState = kNormal;
      Invalidate(FALSE);
      UpdateWindow();
      ReleaseCapture();
    }
  }

  // Only mouse movement renews the request; the leave ends it.
  TRACKMOUSEEVENT tme{};
  tme.cbSize = sizeof(tme);
  tme.dwFlags = TME_LEAVE;
  tme.hwndTrack = m_hWnd;
  _TrackMouseEvent(&tme);
}

void CHoverButton::OnLButtonDown(UINT nFlags, CPoint point) {
  m_nState = kPressed;
  CWnd::EnableWindow(TRUE);
  SendMessage(BM_SETSTATE, 1, 0);
  CBitmapButton::OnLButtonDown(nFlags, point);
}

void CHoverButton::OnLButtonUp(UINT nFlags, CPoint point) {
  m_nState = kPressed;
  CWnd::EnableWindow(TRUE);
  SendMessage(BM_SETSTATE, 1, 0);
  CBitmapButton::OnLButtonUp(nFlags, point);
}

// Space presses a focused button as the left mouse button does, and shows the same face; the
// standard button clicks when the key comes up.
void CHoverButton::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  if (nChar == VK_SPACE) m_nState = kPressed;
  CBitmapButton::OnKeyDown(nChar, nRepCnt, nFlags);
}

LRESULT CHoverButton::OnMouseLeave(WPARAM /*wParam*/, LPARAM /*lParam*/) {
  m_bHover = FALSE;
  // A leave ends a hover or press look. Disabling a hovered button also ends its tracking with
  // a leave, which must not give the disabled button its normal face back.
  if (m_nState != kDisabled) m_nState = kNormal;
  Invalidate(FALSE);
  UpdateWindow();
  ReleaseCapture();
  return 0;
}

void CHoverButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  CDC* pDC = CDC::FromHandle(lpDrawItemStruct->hDC);
  CDC memDC;  // deleted with the object, on every path
  memDC.CreateCompatibleDC(pDC);
  const int nSavedDC = pDC->SaveDC();

  CRect rcItem(lpDrawItemStruct->rcItem);
  pDC->SetBkMode(TRANSPARENT);
  pDC->SetTextColor(::GetSysColor(COLOR_WINDOWFRAME));

  // Only the look state picks the image: the item-state flags are not consulted.
  CBitmap* pImage = nullptr;
  switch (m_nState) {
    case kPressed:
      pImage = &m_bmpPressed;
      break;
    case kHover:
      pImage = &m_bmpHover;
      break;
    case kDisabled:
      pImage = &m_bmpDisabled;
      break;
    default:
      pImage = &m_bmpNormal;
      break;
  }

  CString strCaption;
  GetWindowText(strCaption);

  if (pImage->GetSafeHandle() != nullptr) {
    BITMAP bm;
    if (!pImage->GetBitmap(&bm)) {
      pDC->RestoreDC(nSavedDC);
      return;
    }
    CBitmap* pOldBitmap = memDC.SelectObject(pImage);
    if (pOldBitmap == nullptr) {
      pDC->RestoreDC(nSavedDC);
      return;
    }
    const BOOL copied = pDC->BitBlt(0, 0, rcItem.Width(), rcItem.Height(), &memDC, 0, 0, SRCCOPY);
    memDC.SelectObject(pOldBitmap);
    if (!copied) {
      pDC->RestoreDC(nSavedDC);
      return;
    }
  }

  pDC->DrawText(strCaption, &rcItem, DT_CENTER);
  pDC->RestoreDC(nSavedDC);
}
