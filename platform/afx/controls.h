// The framework's control classes: CButton, CBitmapButton and CStatic.
#pragma once

#include "platform/afx/wnd.h"

class CButton : public CWnd {
 public:
  // Owner drawing: called with the parent's WM_DRAWITEM for this button (message reflection).
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

// The base of owner-drawn picture buttons; a derived class loads and draws its own pictures.
class CBitmapButton : public CButton {};

class CStatic : public CWnd {};
