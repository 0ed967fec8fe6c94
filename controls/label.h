// CLabel: a static text control with its own text colour, font and background brush, so that
// text can stand on a skin picture without a box around it. It can also flash (its text, or
// its background), open its text through the shell when clicked (with SS_NOTIFY), and show a
// cursor of its own.
#pragma once

#include "platform/afx/afx.h"

class CLabel : public CStatic {
 public:
  // Flash kinds.
  static constexpr int kFlashNone = 0;
  static constexpr int kFlashText = 1;
  static constexpr int kFlashBackground = 2;
  // The flash timer on the label's own window, and its half period.
  static constexpr UINT_PTR kFlashTimerId = 1;
  static constexpr UINT kFlashPeriodMs = 500;

  CLabel();
  ~CLabel() override;

  // Each of these but SetTransparent repaints the label before it returns, so they are called
  // only while the label is attached to its window.
  void SetTextColor(COLORREF crText);
  void SetFontSize(int nSize);  // in pixels: a character height, not a cell height
  void SetFontBold(BOOL bBold);
  void SetFontName(LPCWSTR lpszFaceName);  // at most 31 characters are kept
  void SetTransparent();

  // Starts flashing of the given kind (the text shown now is the visible phase of a text flash),
  // or stops it with kFlashNone, which puts the text back and repaints the background.
  void SetFlash(int nFlashType);
  // The cursor shown while the mouse is over the label (needs SS_NOTIFY); null for the default.
  void SetLinkCursor(HCURSOR hCursor);

  // The look the label draws with, for whoever needs to know it (the owner's tests, say).
  COLORREF GetTextColor() const { return m_crText; }
  const LOGFONTW& GetLogFont() const { return m_lf; }

 protected:
  void RebuildFont();
  void Redraw();

  afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);

  COLORREF m_crText;
  CBrush m_brBack;
  HBRUSH m_hFlashBrush;
  LOGFONTW m_lf;
  CFont m_font;
  CString m_strFlashText;
  BOOL m_bFlashPhase;
  int m_nFlashType;
  HCURSOR m_hLinkCursor;

  DECLARE_MESSAGE_MAP()
};
