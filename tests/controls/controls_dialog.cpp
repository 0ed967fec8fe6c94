#include "tests/controls/controls_dialog.h"

#include <gtest/gtest.h>

#include "platform/ui/dialog_template.h"

namespace velmor::test {

BEGIN_MESSAGE_MAP(LabelProbe, CLabel)
  ON_WM_PAINT()
END_MESSAGE_MAP()

void LabelProbe::OnPaint() {
  ++paints_;
  CLabel::OnPaint();
}

BEGIN_MESSAGE_MAP(ControlsDialog, CDialog)
  ON_WM_ERASEBKGND()
  ON_WM_CTLCOLOR()
  ON_WM_LBUTTONDOWN()
  ON_BN_CLICKED(kButtonId, OnButton)
END_MESSAGE_MAP()

void ControlsDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, kLabelId, m_lbl);
  DDX_Control(pDX, kNotifyLabelId, m_lblNotify);
}

BOOL ControlsDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_btn.SubclassDlgItem(kButtonId, this);
  m_btn.SetWindowPos(nullptr, kButtonRect.left, kButtonRect.top, kFaceWidth, kFaceHeight, SWP_NOZORDER);
  m_btn.LoadStateBitmaps(MAKEINTRESOURCEW(kNormalBmp), MAKEINTRESOURCEW(kPressedBmp), MAKEINTRESOURCEW(kHoverBmp),
                         MAKEINTRESOURCEW(kDisabledBmp));
  for (auto [label, r] : {std::pair{&m_lbl, kLabelRect}, std::pair{&m_lblNotify, kNotifyLabelRect}}) {
    label->SetWindowPos(nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
  }
  return TRUE;
}

BOOL ControlsDialog::OnEraseBkgnd(CDC* pDC) {
  CRect rc;
  GetClientRect(&rc);
  HBRUSH skin = CreateSolidBrush(kSkin);
  FillRect(pDC->m_hDC, &rc, skin);
  DeleteObject(skin);
  return TRUE;
}

HBRUSH ControlsDialog::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) { return CDialog::OnCtlColor(pDC, pWnd, nCtlColor); }

void ControlsDialog::OnLButtonDown(UINT /*nFlags*/, CPoint /*point*/) { ++parentPresses; }

void ControlsDialog::OnButton() { ++clicks; }

namespace {

const platform::ui::DialogItemTemplate kItems[] = {
    {kButtonId, u"button", u"", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 10, 10, 30, 15},
    {kLabelId, u"static", u"label", WS_VISIBLE | SS_LEFT, 0, 10, 40, 80, 10},
    {kNotifyLabelId, u"static", u"http://127.0.0.1/settings", WS_VISIBLE | SS_LEFT | SS_NOTIFY, 0, 10, 60, 80, 10},
};

void RegisterOnce() {
  static const bool done = [] {
    platform::ui::DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;
    t.x = 20;
    t.y = 20;
    t.cx = 160;
    t.cy = 100;
    t.fontFace = u"MS UI Gothic";
    t.pointSize = 9;
    t.charSet = 1;
    t.items = kItems;
    platform::ui::RegisterDialogTemplate(kControlsDialogId, t);
    RegisterTestBitmap(kNormalBmp, kFaceWidth, kFaceHeight, PatternOf(kNormalBase));
    RegisterTestBitmap(kPressedBmp, kFaceWidth, kFaceHeight, PatternOf(kPressedBase));
    RegisterTestBitmap(kHoverBmp, kFaceWidth, kFaceHeight, PatternOf(kHoverBase));
    RegisterTestBitmap(kDisabledBmp, kFaceWidth, kFaceHeight, PatternOf(kDisabledBase));
    return true;
  }();
  (void)done;
}

}  // namespace

DialogRun::DialogRun(HeadlessDesktop& desk) {
  RegisterOnce();
  modal_ = std::make_unique<ModalRun>(desk, [this] { return dlg.DoModal(); });
  hwnd = modal_->hwnd();
}

bool DialogRun::FaceIs(std::uint32_t base) const {
  const PixelFunction expected = PatternOf(base);
  HWND button = dlg.m_btn.m_hWnd;
  for (int y = 0; y < kFaceHeight; ++y) {
    for (int x = 0; x < kFaceWidth; ++x) {
      if (HeadlessDesktop::FramePixel(button, POINT{x, y}) != expected(x, y)) return false;
    }
  }
  return true;
}

}  // namespace velmor::test
