// CHoverButton and CLabel in a dialog on a blue skin, run modally on a window thread of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "controls/hover_button.h"
#include "controls/label.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_template.h"
#include "tests/support/headless/headless_desktop.h"
#include "tests/support/headless/test_bitmaps.h"

namespace velmor::test {
namespace {

using std::chrono::milliseconds;

constexpr int kButtonId = 1000, kLabelId = 1003, kNotifyLabelId = 1010;
constexpr COLORREF kSkin = RGB(0, 0, 255);
// The button's four faces, one plain colour each (0x00RRGGBB), by look state.
constexpr std::uint32_t kFaces[4] = {0xC02020, 0x20C020, 0x2040C0, 0x808080};
constexpr WORD kFaceIds[4] = {9201, 9202, 9203, 9204};
LPCWSTR Face(int state) { return MAKEINTRESOURCEW(kFaceIds[state]); }
inline const RECT kButtonRect{20, 20, 60, 40}, kLabelRect{20, 60, 170, 90}, kNotifyRect{20, 100, 170, 120};

// Exposes the members the tests look at.
struct Button : CHoverButton {
  using CHoverButton::m_bHover, CHoverButton::m_nState;
};
struct Label : CLabel {
  using CLabel::m_font, CLabel::m_hFlashBrush;
};

class ControlsDialog : public CDialog {
 public:
  ControlsDialog() : CDialog(9100) {}
  Button m_btn;
  Label m_lbl, m_lblNotify;
  std::atomic<int> clicks{0}, parentPresses{0};

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, kLabelId, m_lbl);
    DDX_Control(pDX, kNotifyLabelId, m_lblNotify);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_btn.SubclassDlgItem(kButtonId, this);
    for (auto [wnd, r] : {std::pair<CWnd*, RECT>{&m_btn, kButtonRect}, {&m_lbl, kLabelRect}, {&m_lblNotify, kNotifyRect}}) {
      wnd->SetWindowPos(nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
    }
    m_btn.LoadStateBitmaps(Face(0), Face(1), Face(2), Face(3));
    return TRUE;
  }
  afx_msg BOOL OnEraseBkgnd(CDC* pDC) {
    CRect rc;
    GetClientRect(&rc);
    CBrush skin(kSkin);
    return pDC->FillRect(&rc, &skin), TRUE;
  }
  afx_msg void OnLButtonDown(UINT, CPoint) { ++parentPresses; }
  afx_msg void OnButton() { ++clicks; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(ControlsDialog, CDialog)
  ON_WM_ERASEBKGND()
  ON_WM_LBUTTONDOWN()
  ON_BN_CLICKED(kButtonId, OnButton)
END_MESSAGE_MAP()

// Registers the template and the faces (once) before it runs the dialog; closes it when it goes.
bool RegisterOnce() {
  static const bool registered = [] {
    static const platform::ui::DialogItemTemplate items[] = {
        {kButtonId, u"button", u"", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 10, 10, 30, 15},
        {kLabelId, u"static", u"label", WS_VISIBLE | SS_LEFT, 0, 10, 40, 80, 10},
        {kNotifyLabelId, u"static", u"http://127.0.0.1/settings", WS_VISIBLE | SS_LEFT | SS_NOTIFY, 0, 10, 60, 80, 10},
    };
    platform::ui::DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT, t.x = 20, t.y = 20, t.cx = 160, t.cy = 100, t.items = items;
    t.fontFace = u"MS UI Gothic", t.pointSize = 9;
    platform::ui::RegisterDialogTemplate(9100, t);
    for (int i = 0; i < 4; ++i) RegisterTestBitmap(kFaceIds[i], 40, 20, [i](int, int) { return kFaces[i]; });
    return true;
  }();
  return registered;
}

class ControlsTest : public ::testing::Test {
 protected:
  ControlsTest() {
    hwnd = desk.Host().WaitForShownWindow();
    if (hwnd) desk.Settle(hwnd);
  }
  ~ControlsTest() override {
    if (IsWindow(hwnd)) desk.Host().RequestClose(hwnd);
    EXPECT_TRUE(thread.WaitFinished());
  }
  void Settle() { desk.Settle(hwnd); }
  void MoveTo(POINT client) {  // a point of the dialog
    desk.Host().MoveMouseTo(hwnd, client);
    Settle();
  }
  template <class F>
  LRESULT OnUi(F f) {
    return platform::ui::CallOnWindowThread(hwnd, [&f]() -> LRESULT { return static_cast<LRESULT>(f()); });
  }
  HWND Capture() { return reinterpret_cast<HWND>(OnUi([] { return reinterpret_cast<LRESULT>(GetCapture()); })); }
  // How many pixels of the button differ from the face of look state `state`.
  int OffFace(int state) {
    int off = 0;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 40; ++x) off += HeadlessDesktop::FrameColor(dlg.m_btn.m_hWnd, POINT{x, y}) != ColorOf(kFaces[state]);
    }
    return off;
  }
  bool FaceIs(int state) { return OffFace(state) == 0; }

  bool registered = RegisterOnce();
  HeadlessDesktop desk;
  ControlsDialog dlg;
  WindowThread thread{[this] { dlg.DoModal(); }};
  HWND hwnd = nullptr;
  Button& btn = dlg.m_btn;
  Label& lbl = dlg.m_lbl;
};

POINT OnButton(int dx = 5, int dy = 5) { return POINT{kButtonRect.left + dx, kButtonRect.top + dy}; }
constexpr POINT kOffButton{150, 20};

TEST_F(ControlsTest, AHoverTakesTheCaptureAndThePressedLookLastsPastTheClickUntilTheMouseLeaves) {
  MoveTo(OnButton());
  EXPECT_TRUE(btn.m_nState == CHoverButton::kHover && btn.m_bHover && Capture() == btn.m_hWnd);
  EXPECT_TRUE(FaceIs(CHoverButton::kHover));
  desk.Host().ClickAt(hwnd, OnButton());
  MoveTo(OnButton(20, 10));
  EXPECT_EQ(dlg.clicks, 1);
  EXPECT_TRUE(btn.m_nState == CHoverButton::kPressed && FaceIs(CHoverButton::kPressed));
  MoveTo(kOffButton);
  EXPECT_TRUE(btn.m_nState == CHoverButton::kNormal && !btn.m_bHover && Capture() == nullptr);
  EXPECT_TRUE(FaceIs(CHoverButton::kNormal));
}

// Called from this thread, not the window's: each step is carried out there while this one
// waits, so the result is visible the moment the call returns. The face is read on the window's
// thread, where no later paint can be under way.
TEST_F(ControlsTest, SetLookStateGivesEveryValueItsFaceEnabledStateAndHighlightBeforeItReturns) {
  const struct {
    int state, face;
    bool enabled, pushed;
  } rows[] = {{3, 3, false, true}, {0, 0, true, false}, {1, 1, true, true}, {2, 2, true, true}, {7, 0, true, true}, {-1, 0, true, true}};
  for (const auto& r : rows) {
    btn.SetLookState(r.state);
    EXPECT_TRUE(OnUi([&] { return FaceIs(r.face); })) << r.state;
    EXPECT_EQ(IsWindowEnabled(btn.m_hWnd) != FALSE, r.enabled) << r.state;
    EXPECT_EQ((SendMessageW(btn.m_hWnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0, r.pushed) << r.state;
  }
}

TEST_F(ControlsTest, MovementChangesNothingInALookSetFromOutsideAndALeaveKeepsADisabledFace) {
  MoveTo(OnButton());
  btn.SetLookState(0);  // while hovering: the hover look comes back only after a leave
  for (POINT p : {OnButton(10, 10), kOffButton, OnButton(2, 2)}) {
    MoveTo(p);
    EXPECT_TRUE(btn.m_nState == CHoverButton::kNormal && FaceIs(CHoverButton::kNormal));
  }
  // On the window's thread, so that nothing else runs between the movement and the look.
  EXPECT_EQ(OnUi([&] {
              btn.SetLookState(CHoverButton::kDisabled);
              SendMessageW(btn.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
              return btn.m_nState.load();
            }),
            CHoverButton::kDisabled);
  SendMessageW(btn.m_hWnd, WM_MOUSELEAVE, 0, 0);
  Settle();
  EXPECT_TRUE(btn.m_nState == CHoverButton::kDisabled && FaceIs(CHoverButton::kDisabled));
}

// The window disables its settings button under a resting pointer when the router goes.
TEST_F(ControlsTest, ADisabledButtonGivesUpTheCaptureKeepsItsFaceAndLetsClicksThroughToTheDialog) {
  MoveTo(OnButton(10, 10));
  ASSERT_EQ(Capture(), btn.m_hWnd);
  OnUi([&] { return btn.SetLookState(CHoverButton::kDisabled), 0; });
  Settle();
  EXPECT_EQ(Capture(), nullptr);
  desk.Host().ClickAt(hwnd, OnButton());
  Settle();
  EXPECT_EQ(dlg.parentPresses, 1);
  EXPECT_EQ(dlg.clicks, 0);
}

TEST_F(ControlsTest, AMissingImageDrawsNothingAndACaptionIsDrawnOverTheImage) {
  ASSERT_TRUE(btn.LoadStateBitmaps(Face(0), Face(1), Face(2), nullptr));  // as the glyph buttons have none
  btn.SetLookState(2);
  btn.SetLookState(3);
  Settle();
  EXPECT_TRUE(FaceIs(CHoverButton::kHover));
  btn.SetLookState(0);
  SetWindowTextW(btn.m_hWnd, u"W");
  Settle();
  EXPECT_GT(OffFace(0), 5);             // the letter
  EXPECT_LT(OffFace(0), 40 * 20 / 3);  // over the picture, not instead of it
}

TEST_F(ControlsTest, CallsOnAButtonWhoseWindowIsGoneReturnAtOnce) {
  HWND gone = btn.m_hWnd;
  desk.Host().RequestClose(hwnd);
  ASSERT_TRUE(thread.WaitFinished());
  EXPECT_EQ(btn.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandlePermanent(gone), nullptr);
  btn.SetLookState(2);
  EXPECT_EQ(btn.m_nState, 2);
}

TEST(ControlObjects, ReloadingImagesAndTheDestructorsReleaseEveryObject) {
  RegisterOnce();
  const std::size_t before = platform::gdi::LiveObjectCount();
  {
    CLabel label;  // its font and flash brush; the hollow brush is the system's
    label.SetTransparent();
    CHoverButton b;
    EXPECT_TRUE(b.LoadStateBitmaps(Face(0), Face(1), Face(2), Face(3)));
    EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 6);
    EXPECT_TRUE(b.LoadStateBitmaps(Face(0), nullptr, nullptr, nullptr));
    EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 3);
    EXPECT_FALSE(b.LoadStateBitmaps(Face(0), Face(1), MAKEINTRESOURCEW(9299), Face(3))) << "a missing image";
    b.LoadStateBitmaps(Face(0), Face(1), Face(2), Face(3));
  }
  EXPECT_EQ(platform::gdi::LiveObjectCount(), before);
}

TEST_F(ControlsTest, ALabelLeavesItsColoursToTheDialogUntilTransparentThenSetsItsOwnColourAndFont) {
  HDC dc = CreateCompatibleDC(nullptr);
  const auto ask = [&](UINT message) {
    return reinterpret_cast<HBRUSH>(SendMessageW(hwnd, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(lbl.m_hWnd.load())));
  };
  EXPECT_EQ(ask(WM_CTLCOLORSTATIC), GetSysColorBrush(COLOR_BTNFACE));
  EXPECT_EQ(HeadlessDesktop::FrameColor(lbl.m_hWnd, POINT{149, 29}), GetSysColor(COLOR_BTNFACE));
  lbl.SetTransparent();
  lbl.SetTextColor(RGB(1, 2, 3));
  EXPECT_EQ(ask(WM_CTLCOLORSTATIC), static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
  // The setters answer with what the request left in the DC.
  EXPECT_EQ(SetTextColor(dc, 0), RGB(1, 2, 3));
  EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
  EXPECT_EQ(SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT)), lbl.m_font.GetSafeHandle());
  DeleteDC(dc);
}

TEST_F(ControlsTest, FontOperationsKeepTheOtherFieldsAndCutLongFaceNames) {
  lbl.SetFontSize(12);
  lbl.SetFontBold(TRUE);
  const std::u16string longName(40, u'N');
  lbl.SetFontName(longName.c_str());
  LOGFONTW made{};
  ASSERT_TRUE(GetObjectW(lbl.m_font.GetSafeHandle(), sizeof made, &made));
  EXPECT_EQ(std::make_pair(made.lfHeight, made.lfWeight), std::make_pair(LONG{-12}, LONG{700}));
  EXPECT_EQ(std::u16string(made.lfFaceName), longName.substr(0, 31));
}

TEST_F(ControlsTest, TextFlashingAlternatesStartingWithTheEmptyText) {
  const auto text = [&] {
    WCHAR buffer[64];
    GetWindowTextW(lbl.m_hWnd, buffer, 64);
    return std::u16string(buffer);
  };
  SetWindowTextW(lbl.m_hWnd, u"blink");
  OnUi([&] { return lbl.SetFlash(CLabel::kFlashText), 0; });
  std::vector<std::u16string> shown;
  for (int i = 0; i < 5; ++i) {
    desk.Advance(milliseconds(CLabel::kFlashPeriodMs), hwnd);
    shown.push_back(text());
  }
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"", u"blink", u"", u"blink", u""}));
  OnUi([&] { return lbl.SetFlash(CLabel::kFlashNone), 0; });
  desk.Advance(milliseconds(CLabel::kFlashPeriodMs * 3), hwnd);
  EXPECT_EQ(text(), u"blink");
}

TEST_F(ControlsTest, BackgroundFlashingAlternatesTheButtonFaceBrushWithTheLabelsOwn) {
  lbl.SetTransparent();
  OnUi([&] { return lbl.SetFlash(CLabel::kFlashBackground), 0; });
  EXPECT_EQ(HeadlessDesktop::FrameColor(lbl.m_hWnd, POINT{149, 29}), GetSysColor(COLOR_BTNFACE));
  HDC dc = CreateCompatibleDC(nullptr);
  std::vector<HBRUSH> brushes;
  for (int i = 0; i < 4; ++i) {
    brushes.push_back(reinterpret_cast<HBRUSH>(SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(lbl.m_hWnd.load()))));
    desk.Advance(milliseconds(CLabel::kFlashPeriodMs), hwnd);
  }
  DeleteDC(dc);
  const HBRUSH hollow = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  EXPECT_EQ(brushes, (std::vector<HBRUSH>{lbl.m_hFlashBrush, hollow, lbl.m_hFlashBrush, hollow}));
  OnUi([&] { return lbl.SetFlash(CLabel::kFlashNone), 0; });
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Settle();
  EXPECT_EQ(HeadlessDesktop::FrameColor(lbl.m_hWnd, POINT{149, 29}), kSkin);
}

TEST_F(ControlsTest, ANotifyLabelOpensItsTextOnAClickAndShowsItsCursorWhereAPlainOneLetsTheClickThrough) {
  std::mutex mutex;
  std::vector<std::vector<std::string>> launched;
  platform::shell::SetLauncher([&](const std::vector<std::string>& argv) {
    std::lock_guard g(mutex);
    launched.push_back(argv);
    return 0;
  });
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  EXPECT_EQ(platform::gdi::SystemCursorId(hand), 32649) << "the screen shows the cursor by this id";
  dlg.m_lblNotify.SetLinkCursor(hand);
  const std::vector<std::vector<std::string>> opened{{"xdg-open", "http://127.0.0.1/settings"}};
  desk.Host().ClickAt(dlg.m_lblNotify.m_hWnd, POINT{3, 3});
  Settle();
  EXPECT_EQ(dlg.parentPresses, 0);
  EXPECT_EQ(desk.Host().Cursor(), hand);
  desk.Host().ClickAt(lbl.m_hWnd, POINT{3, 3});
  Settle();
  EXPECT_EQ(dlg.parentPresses, 1) << "a plain label's click reaches the dialog";
  platform::shell::SetLauncher(nullptr);
  EXPECT_EQ(launched, opened);
}

}  // namespace
}  // namespace velmor::test
