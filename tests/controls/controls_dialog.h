// A dialog with a hover button and two labels, run modally on a window thread of its own.
#pragma once

#include <atomic>
#include <memory>

#include "controls/hover_button.h"
#include "controls/label.h"
#include "platform/afx/afx.h"
#include "tests/support/headless/headless_desktop.h"
#include "tests/support/headless/test_bitmaps.h"

namespace velmor::test {

constexpr WORD kControlsDialogId = 9100;
constexpr int kButtonId = 1000;
constexpr int kLabelId = 1003;
constexpr int kNotifyLabelId = 1010;
constexpr WORD kNormalBmp = 9201, kPressedBmp = 9202, kHoverBmp = 9203, kDisabledBmp = 9204;
constexpr int kFaceWidth = 40, kFaceHeight = 20;
constexpr std::uint32_t kNormalBase = 0xC02020, kPressedBase = 0x20C020, kHoverBase = 0x2040C0, kDisabledBase = 0x808080;
inline const RECT kButtonRect{20, 20, 20 + kFaceWidth, 20 + kFaceHeight};
inline const RECT kLabelRect{20, 60, 170, 90};
inline const RECT kNotifyLabelRect{20, 100, 170, 120};
constexpr COLORREF kSkin = RGB(0, 0, 255);

// Exposes the members the tests look at.
class ButtonProbe : public CHoverButton {
 public:
  using CHoverButton::m_bHover;
  using CHoverButton::m_bmpDisabled;
  using CHoverButton::m_bmpHover;
  using CHoverButton::m_bmpNormal;
  using CHoverButton::m_bmpPressed;
  using CHoverButton::m_nState;
};

class LabelProbe : public CLabel {
 public:
  using CLabel::m_bFlashPhase;
  using CLabel::m_brBack;
  using CLabel::m_crText;
  using CLabel::m_font;
  using CLabel::m_hFlashBrush;
  using CLabel::m_hLinkCursor;
  using CLabel::m_lf;
  using CLabel::m_nFlashType;
  using CLabel::m_strFlashText;
  int Paints() const { return paints_.load(); }

 protected:
  afx_msg void OnPaint();
  std::atomic<int> paints_{0};
  DECLARE_MESSAGE_MAP()
};

class ControlsDialog : public CDialog {
 public:
  ControlsDialog() : CDialog(kControlsDialogId) {}
  ButtonProbe m_btn;
  LabelProbe m_lbl;
  LabelProbe m_lblNotify;
  std::atomic<int> clicks{0};
  std::atomic<int> parentPresses{0};

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnButton();
  DECLARE_MESSAGE_MAP()
};

// Registers the template and the four face bitmaps (once) and runs the dialog until the object
// goes.
class DialogRun {
 public:
  explicit DialogRun(HeadlessDesktop& desk);
  DialogRun(const DialogRun&) = delete;
  DialogRun& operator=(const DialogRun&) = delete;

  void Settle() { modal_->Settle(); }
  bool Close() { return modal_->Close(); }
  // The button's face as shown: each pixel compared with the picture made from `base`.
  bool FaceIs(std::uint32_t base) const;
  template <class F>
  LRESULT OnUi(F f) {
    return modal_->OnUi([&f]() -> LRESULT { return static_cast<LRESULT>(f()); });
  }
  HWND Capture() { return reinterpret_cast<HWND>(OnUi([] { return reinterpret_cast<LRESULT>(::GetCapture()); })); }
  HWND Focus() { return reinterpret_cast<HWND>(OnUi([] { return reinterpret_cast<LRESULT>(::GetFocus()); })); }

  ControlsDialog dlg;
  HWND hwnd = nullptr;

 private:
  std::unique_ptr<ModalRun> modal_;
};

}  // namespace velmor::test
