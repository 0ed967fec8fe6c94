#include "platform/afx/controls.h"

void CButton::DrawItem(LPDRAWITEMSTRUCT /*lpDrawItemStruct*/) {
  // An owner-drawn button whose class does not draw stays as it is.
}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, pResult);
  DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
  return TRUE;
}
