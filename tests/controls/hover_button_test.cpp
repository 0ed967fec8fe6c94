// CHoverButton: look states, faces on screen, loading, and calls from other threads.
#include <gtest/gtest.h>

#include "tests/controls/controls_dialog.h"

namespace velmor::test {
namespace {

class HoverButtonTest : public ::testing::Test {
 protected:
  HeadlessDesktop desk;
  DialogRun run{desk};
  ButtonProbe& btn = run.dlg.m_btn;

  void MoveTo(POINT client) {  // a point of the dialog
    desk.Host().MoveMouseTo(run.hwnd, client);
    run.Settle();
  }
  void Click() {
    desk.Host().Press();
    desk.Host().Release();
    run.Settle();
  }
  POINT OnButton(int dx = 5, int dy = 5) const { return POINT{kButtonRect.left + dx, kButtonRect.top + dy}; }
  static POINT OffButton() { return POINT{150, 20}; }
  bool Pushed() const { return (SendMessageW(btn.m_hWnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0; }
};

TEST_F(HoverButtonTest, TheHoverFaceAndTheCaptureLastWhileThePointerIsOnTheButton) {
  EXPECT_EQ(btn.m_nState, 0);
  EXPECT_TRUE(run.FaceIs(kNormalBase));
  for (POINT p : {OnButton(), OnButton(30, 15)}) {
    MoveTo(p);
    EXPECT_EQ(btn.m_nState, 2);
    EXPECT_TRUE(btn.m_bHover);
    EXPECT_EQ(run.Capture(), btn.m_hWnd);
    EXPECT_TRUE(run.FaceIs(kHoverBase));
  }
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(run.hwnd));
  MoveTo(OffButton());
  EXPECT_EQ(btn.m_nState, 0);
  EXPECT_FALSE(btn.m_bHover);
  EXPECT_EQ(run.Capture(), nullptr);
  EXPECT_TRUE(run.FaceIs(kNormalBase));
}

TEST_F(HoverButtonTest, PressedLooksLastsPastTheClickUntilTheMouseLeaves) {
  MoveTo(OnButton());
  desk.Host().Press();
  run.Settle();
  EXPECT_EQ(btn.m_nState, 1);
  EXPECT_TRUE(run.FaceIs(kPressedBase));
  EXPECT_EQ(run.Capture(), btn.m_hWnd);
  EXPECT_EQ(run.Focus(), btn.m_hWnd);
  desk.Host().Release();
  run.Settle();
  EXPECT_EQ(run.dlg.clicks, 1);
  for (POINT p : {OnButton(), OnButton(20, 10)}) {
    MoveTo(p);
    EXPECT_EQ(btn.m_nState, 1);
    EXPECT_TRUE(run.FaceIs(kPressedBase));
  }
  MoveTo(OffButton());
  EXPECT_EQ(btn.m_nState, 0);
  EXPECT_TRUE(run.FaceIs(kNormalBase));
  EXPECT_EQ(run.dlg.clicks, 1);
}

// Called from this thread, not the window's: each step is carried out there while this one
// waits, so the result is visible the moment the call returns. The face is read on the window's
// thread, where no later paint can be under way.
TEST_F(HoverButtonTest, SetLookStateGivesEveryValueItsFaceEnabledStateAndHighlightBeforeItReturns) {
  struct Row {
    int state;
    std::uint32_t face;
    bool enabled;
    bool pushed;
  };
  const Row rows[] = {
      {3, kDisabledBase, false, true}, {0, kNormalBase, true, false}, {1, kPressedBase, true, true},
      {2, kHoverBase, true, true},     {7, kNormalBase, true, true},  {-1, kNormalBase, true, true},
      {0, kNormalBase, true, false},
  };
  for (const Row& r : rows) {
    btn.SetLookState(r.state);
    EXPECT_EQ(btn.m_nState, r.state);
    EXPECT_TRUE(run.OnUi([&] { return run.FaceIs(r.face); })) << r.state;
    EXPECT_EQ(IsWindowEnabled(btn.m_hWnd) != FALSE, r.enabled) << r.state;
    EXPECT_EQ(Pushed(), r.pushed) << r.state;
  }
  // Only the look state chooses the face.
  EnableWindow(btn.m_hWnd, FALSE);
  run.Settle();
  EXPECT_EQ(btn.m_nState, 0);
  EXPECT_TRUE(run.FaceIs(kNormalBase));
}

TEST_F(HoverButtonTest, MovementChangesNothingInALookSetByHandButTheLeaveBringsTheNormalFaceUnlessDisabled) {
  MoveTo(OnButton());
  btn.SetLookState(0);  // while hovering
  run.Settle();
  ASSERT_TRUE(btn.m_bHover);
  ASSERT_EQ(run.Capture(), btn.m_hWnd);
  for (POINT p : {OnButton(10, 10), OffButton(), OnButton(2, 2)}) {
    MoveTo(p);
    EXPECT_EQ(btn.m_nState, 0);
    EXPECT_TRUE(run.FaceIs(kNormalBase));
  }
  for (int state : {1, 3}) {
    for (POINT p : {POINT{5, 5}, POINT{-50, 5}}) {
      // On the window's thread, so that nothing else runs between the movement and the look.
      const LRESULT after = run.OnUi([&] {
        btn.SetLookState(state);
        SendMessageW(btn.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
        return btn.m_nState.load();
      });
      EXPECT_EQ(after, state);
    }
  }
  // Except a disabled look: a disabled button keeps its face.
  btn.SetLookState(3);
  SendMessageW(btn.m_hWnd, WM_MOUSELEAVE, 0, 0);
  run.Settle();
  EXPECT_EQ(btn.m_nState, 3);
  EXPECT_TRUE(run.FaceIs(kDisabledBase));
  EXPECT_FALSE(IsWindowEnabled(btn.m_hWnd));
}

TEST_F(HoverButtonTest, ADisabledButtonLetsClicksThroughToTheDialogAndGivesUpTheCapture) {
  btn.SetLookState(3);
  MoveTo(OnButton());
  Click();
  EXPECT_EQ(run.dlg.parentPresses, 1);
  EXPECT_EQ(run.dlg.clicks, 0);
  EXPECT_EQ(btn.m_nState, 3);
  // Disabled while hovering: the capture goes, so a click off the button does not reach it.
  btn.SetLookState(0);
  MoveTo(OnButton(10, 10));
  ASSERT_EQ(run.Capture(), btn.m_hWnd);
  btn.SetLookState(3);
  run.Settle();
  EXPECT_EQ(run.Capture(), nullptr);
  MoveTo(OffButton());
  Click();
  EXPECT_EQ(run.dlg.parentPresses, 2);
  EXPECT_EQ(run.dlg.clicks, 0);
  EXPECT_FALSE(IsWindowEnabled(btn.m_hWnd));
}

// The window disables its settings button while the pointer rests on it when the router goes; the
// leave that ends the hover must not bring the normal face back.
TEST_F(HoverButtonTest, DisabledWhileHoveredTheButtonKeepsItsDisabledFace) {
  MoveTo(OnButton(10, 10));
  ASSERT_EQ(btn.m_nState, 2);
  run.OnUi([&] {
    btn.SetLookState(3);
    return 0;
  });
  run.Settle();
  EXPECT_EQ(btn.m_nState, 3);
  EXPECT_TRUE(run.FaceIs(kDisabledBase));
}

TEST_F(HoverButtonTest, AMissingImageDrawsNothingAndLeavesTheFace) {
  // No disabled picture, as the window's glyph buttons have none.
  ASSERT_TRUE(btn.LoadStateBitmaps(MAKEINTRESOURCEW(kNormalBmp), MAKEINTRESOURCEW(kPressedBmp),
                                   MAKEINTRESOURCEW(kHoverBmp), nullptr));
  btn.SetLookState(2);
  ASSERT_TRUE(run.FaceIs(kHoverBase));
  btn.SetLookState(3);
  run.Settle();
  EXPECT_EQ(btn.m_nState, 3);
  EXPECT_TRUE(run.FaceIs(kHoverBase));
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(run.hwnd));
}

TEST_F(HoverButtonTest, TheCaptionIsDrawnOverTheImage) {
  SetWindowTextW(btn.m_hWnd, u"W");
  run.Settle();
  const PixelFunction normal = PatternOf(kNormalBase);
  int changed = 0;
  for (int y = 0; y < kFaceHeight; ++y) {
    for (int x = 0; x < kFaceWidth; ++x) changed += HeadlessDesktop::FramePixel(btn.m_hWnd, POINT{x, y}) != normal(x, y);
  }
  EXPECT_GT(changed, 5);                             // the letter
  EXPECT_LT(changed, kFaceWidth * kFaceHeight / 3);  // over the picture, not instead of it
  EXPECT_EQ(HeadlessDesktop::FramePixel(btn.m_hWnd, POINT{1, kFaceHeight - 2}), normal(1, kFaceHeight - 2));
}

TEST(HoverButtonAfterClose, CallsOnAButtonWhoseWindowIsGoneReturnAtOnce) {
  HeadlessDesktop desk;
  DialogRun run(desk);
  ButtonProbe& btn = run.dlg.m_btn;
  HWND gone = btn.m_hWnd;
  ASSERT_TRUE(run.Close());
  EXPECT_FALSE(IsWindow(gone));
  EXPECT_EQ(btn.m_hWnd, nullptr);
  btn.SetLookState(2);
  EXPECT_EQ(btn.m_nState, 2);
  EXPECT_EQ(SendMessageW(gone, BM_SETSTATE, 1, 0), 0);
}

TEST(HoverButtonImages, LoadingStopsAtTheFirstFailureAndTheDestructorReleasesEveryImage) {
  HeadlessDesktop desk;
  DialogRun warmUp(desk);  // registers the bitmaps
  const auto normal = MAKEINTRESOURCEW(kNormalBmp), pressed = MAKEINTRESOURCEW(kPressedBmp),
             hover = MAKEINTRESOURCEW(kHoverBmp), disabled = MAKEINTRESOURCEW(kDisabledBmp), missing = MAKEINTRESOURCEW(9299);
  const std::size_t before = platform::gdi::LiveObjectCount();
  {
    ButtonProbe b;
    auto loaded = [&] {
      std::vector<bool> out;
      for (CBitmap* bmp : {&b.m_bmpNormal, &b.m_bmpPressed, &b.m_bmpHover, &b.m_bmpDisabled}) out.push_back(bmp->GetSafeHandle());
      return out;
    };
    EXPECT_TRUE(b.LoadStateBitmaps(normal, pressed, hover, disabled));
    EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 4);
    EXPECT_TRUE(b.LoadStateBitmaps(normal, nullptr, nullptr, nullptr));
    EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 1);
    EXPECT_FALSE(b.LoadStateBitmaps(missing, pressed, hover, disabled));
    EXPECT_EQ(loaded(), (std::vector<bool>{false, false, false, false}));
    EXPECT_FALSE(b.LoadStateBitmaps(normal, pressed, missing, disabled));
    EXPECT_EQ(loaded(), (std::vector<bool>{true, true, false, false}));
    EXPECT_FALSE(b.LoadStateBitmaps(nullptr, nullptr, nullptr, nullptr));  // the normal image is required
  }
  EXPECT_EQ(platform::gdi::LiveObjectCount(), before);
}

}  // namespace
}  // namespace velmor::test
