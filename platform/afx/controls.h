// The framework's control classes: CButton, CBitmapButton and CStatic.
#pragma once

#include "platform/afx/wnd.h"

class CButton : public CWnd {
 public:
  // Owner drawing: called with the parent's WM_DRAWITEM for this button (message reflection).
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  UINT GetState() const;
  void SetState(BOOL bHighlight);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

// An owner-drawn button showing one of four bitmaps by its state: normal, selected (pressed),
// focused and disabled.
class CBitmapButton : public CButton {
 public:
  BOOL LoadBitmaps(UINT nIDBitmapResource, UINT nIDBitmapResourceSel = 0, UINT nIDBitmapResourceFocus = 0,
                   UINT nIDBitmapResourceDisabled = 0);
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

 protected:
  CBitmap m_bitmap;
  CBitmap m_bitmapSel;
  CBitmap m_bitmapFocus;
  CBitmap m_bitmapDisabled;
};

class CStatic : public CWnd {};
