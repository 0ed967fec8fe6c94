#include "platform/afx/controls.h"

void CButton::DrawItem(LPDRAWITEMSTRUCT /*lpDrawItemStruct*/) {
  // An owner-drawn button whose class does not draw stays as it is.
}

UINT CButton::GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }

void CButton::SetState(BOOL bHighlight) { SendMessage(BM_SETSTATE, bHighlight ? TRUE : FALSE); }

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, pResult);
  DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
  return TRUE;
}

BOOL CBitmapButton::LoadBitmaps(UINT nIDBitmapResource, UINT nIDBitmapResourceSel, UINT nIDBitmapResourceFocus,
                                UINT nIDBitmapResourceDisabled) {
  m_bitmap.DeleteObject();
  m_bitmapSel.DeleteObject();
  m_bitmapFocus.DeleteObject();
  m_bitmapDisabled.DeleteObject();
  if (!m_bitmap.LoadBitmap(nIDBitmapResource)) return FALSE;
  BOOL all = TRUE;
  if (nIDBitmapResourceSel && !m_bitmapSel.LoadBitmap(nIDBitmapResourceSel)) all = FALSE;
  if (nIDBitmapResourceFocus && !m_bitmapFocus.LoadBitmap(nIDBitmapResourceFocus)) all = FALSE;
  if (nIDBitmapResourceDisabled && !m_bitmapDisabled.LoadBitmap(nIDBitmapResourceDisabled)) all = FALSE;
  return all;
}

void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  CBitmap* bitmap = &m_bitmap;
  const UINT state = lpDIS->itemState;
  if ((state & ODS_SELECTED) && m_bitmapSel.m_hObject) {
    bitmap = &m_bitmapSel;
  } else if ((state & ODS_FOCUS) && m_bitmapFocus.m_hObject) {
    bitmap = &m_bitmapFocus;
  } else if ((state & ODS_DISABLED) && m_bitmapDisabled.m_hObject) {
    bitmap = &m_bitmapDisabled;
  }
  if (!bitmap->m_hObject) return;
  CDC* dc = CDC::FromHandle(lpDIS->hDC);
  CDC memory;
  if (!memory.CreateCompatibleDC(dc)) return;
  CBitmap* old = memory.SelectObject(bitmap);
  const CRect rect(lpDIS->rcItem);
  dc->BitBlt(rect.left, rect.top, rect.Width(), rect.Height(), &memory, 0, 0, SRCCOPY);
  memory.SelectObject(old);
}
