// CHoverButton: an owner-drawn push button whose face is one of four bitmaps, chosen by its own
// look state (normal, pressed, hover, disabled). It follows the mouse itself, with the capture
// and a leave notification, and repaints at once when the mouse changes its look.
#pragma once

#include <atomic>

#include "platform/afx/afx.h"

class CHoverButton : public CBitmapButton {
 public:
  // Look states.
  static constexpr int kNormal = 0;
  static constexpr int kPressed = 1;
  static constexpr int kHover = 2;
  static constexpr int kDisabled = 3;

  CHoverButton();
  ~CHoverButton() override;

  // Bitmap resource names (or MAKEINTRESOURCE ids); null means the role has no image. The
  // normal image is required. TRUE when every image asked for was loaded; the first failure
  // ends the loading, leaving the images after it empty. Repaints nothing.
  BOOL LoadStateBitmaps(LPCWSTR lpszNormal, LPCWSTR lpszPressed, LPCWSTR lpszHover, LPCWSTR lpszDisabled);
  // Puts the button into a look state from outside; 3 also disables the window, any other
  // value enables it. Any thread may call; it returns once the window's thread applied it.
  void SetLookState(int nState);
  int GetLookState() const { return m_nState; }
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

 protected:
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);

  BOOL m_bHover;
  // Written by worker threads through SetLookState while the window's thread draws.
  std::atomic<int> m_nState;
  CBitmap m_bmpPressed;
  CBitmap m_bmpHover;
  CBitmap m_bmpNormal;
  CBitmap m_bmpDisabled;

  DECLARE_MESSAGE_MAP()
};
