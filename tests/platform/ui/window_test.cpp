// Painting (order, clipping, erase, synchronous updates, presenting) and the capture's release.
// Routing, capture, leave tracking and the cursor are checked with the controls that rely on them.
#include <gtest/gtest.h>

#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

constexpr COLORREF kParentColor = RGB(0, 0, 200), kTopColor = RGB(200, 0, 0), kLowerColor = RGB(0, 200, 0);

// Fills far beyond the window: its own clip must keep the paint inside it.
void FillHuge(HDC hdc, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  const RECT huge{-500, -500, 5000, 5000};
  FillRect(hdc, &huge, brush);
  DeleteObject(brush);
}

class PaintTest : public ::testing::Test {
 protected:
  using Order = std::vector<std::pair<HWND, UINT>>;
  // Logs paints and erases as they begin (an erase comes inside its window's paint); the parent
  // draws in its erase, the children in their paint.
  Recorder::Handler Painter(const COLORREF* color, bool erase) {
    return [this, color, erase](HWND hwnd, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
      if (m == WM_PAINT || m == WM_ERASEBKGND) order.emplace_back(hwnd, m);
      if (m == WM_ERASEBKGND && erase) return FillHuge(reinterpret_cast<HDC>(w), *color), 1;
      if (m != WM_PAINT) return std::nullopt;
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      if (!erase) FillHuge(hdc, *color);
      EndPaint(hwnd, &ps);
      return 0;
    };
  }
  void SetUp() override {
    parent = MakeWindow(&parentRec, RECT{10, 10, 110, 90});
    top = MakeWindow(&topRec, RECT{0, 0, 50, 40}, parent);        // created first: topmost
    lower = MakeWindow(&lowerRec, RECT{30, 20, 80, 60}, parent);  // below it
    desk.Settle(parent);
    order.clear();
  }
  void TearDown() override { DestroyWindow(parent); }
  Order Repaint(HWND w, const RECT* r, BOOL erase) {
    order.clear();
    InvalidateRect(w, r, erase);
    desk.Settle(parent);
    EXPECT_TRUE(desk.ScreenMatchesFramebuffer(parent));
    return order;
  }
  COLORREF At(int x, int y) { return HeadlessDesktop::FrameColor(parent, POINT{x, y}); }

  HeadlessDesktop desk;
  Order order;
  COLORREF parentColor = kParentColor, topColor = kTopColor, lowerColor = kLowerColor;
  Recorder parentRec{Painter(&parentColor, true)}, topRec{Painter(&topColor, false)}, lowerRec{Painter(&lowerColor, false)};
  HWND parent = nullptr, top = nullptr, lower = nullptr;
};

TEST_F(PaintTest, ParentFirstThenChildrenBottomToTopEachInsideItsRectangleAndOnlyWhereTheUpdateIs) {
  EXPECT_EQ(Repaint(parent, nullptr, TRUE), (Order{{parent, WM_PAINT}, {parent, WM_ERASEBKGND}, {lower, WM_PAINT},
                                                   {lower, WM_ERASEBKGND}, {top, WM_PAINT}, {top, WM_ERASEBKGND}}));
  const std::pair<POINT, COLORREF> pixels[] = {{{90, 70}, kParentColor}, {{10, 10}, kTopColor}, {{40, 30}, kTopColor},
                                               {{70, 50}, kLowerColor},  {{80, 10}, kParentColor}};
  for (const auto& [p, color] : pixels) EXPECT_EQ(At(p.x, p.y), color) << p.x << "," << p.y;
  // A child's own update repaints the child alone; the parent's reaches the children under it.
  topColor = RGB(1, 2, 3);
  EXPECT_EQ(Repaint(top, nullptr, TRUE), (Order{{top, WM_PAINT}, {top, WM_ERASEBKGND}}));
  EXPECT_EQ(At(5, 5), RGB(1, 2, 3));
  const RECT right{85, 0, 100, 80}, overlap{35, 25, 45, 35};
  EXPECT_EQ(Repaint(parent, &right, TRUE), (Order{{parent, WM_PAINT}, {parent, WM_ERASEBKGND}}));
  EXPECT_EQ(Repaint(parent, &overlap, FALSE), (Order{{parent, WM_PAINT}, {lower, WM_PAINT}, {top, WM_PAINT}}));
}

// An update is kept as one rectangle: two small ones far apart make a large one, which the
// parent paints over children that neither touched. Those children are painted again on top.
TEST_F(PaintTest, UpdatesThatMeetInOneRectangleNeverLeaveAChildPaintedOver) {
  const RECT topRight{85, 0, 100, 10}, bottomLeft{0, 70, 10, 80};
  InvalidateRect(parent, &topRight, TRUE);
  Repaint(parent, &bottomLeft, TRUE);
  EXPECT_EQ(At(10, 10), kTopColor);
  EXPECT_EQ(At(70, 50), kLowerColor);
}

TEST_F(PaintTest, UpdateNowPaintsBeforeReturningAndHidingAChildRepaintsWhatItUncovers) {
  RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE);
  EXPECT_TRUE(order.empty());
  RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  EXPECT_EQ(order, (Order{{top, WM_PAINT}, {top, WM_ERASEBKGND}}));
  ShowWindow(top, SW_HIDE);
  UpdateWindow(parent);
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(parent)) << "on the screen before UpdateWindow returns";
  EXPECT_EQ(At(10, 10), kParentColor);
  EXPECT_EQ(At(40, 30), kLowerColor);
}

// A holder that lets go once the pointer is off it (a hover look does): the window the pointer
// jumped onto hears of the pointer at once, not at its next move.
TEST(Capture, ReleasingItSendsTheWindowUnderThePointerAMove) {
  HeadlessDesktop desk;
  Recorder parentRec, bRec, aRec([](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_MOUSEMOVE && GET_X_LPARAM(l) >= 50) ReleaseCapture();
    return std::nullopt;
  });
  HWND parent = MakeWindow(&parentRec, RECT{100, 100, 300, 250});
  HWND a = MakeWindow(&aRec, RECT{10, 10, 60, 60}, parent);
  MakeWindow(&bRec, RECT{70, 70, 100, 100}, parent);
  desk.Host().MoveMouseTo(parent, POINT{20, 20});
  desk.Settle(parent);
  SetCapture(a);
  desk.Host().MoveMouseTo(parent, POINT{90, 90});
  desk.Settle(parent);
  ASSERT_EQ(bRec.Count(WM_MOUSEMOVE), 1u);
  EXPECT_EQ(bRec.Of(WM_MOUSEMOVE)[0].lParam, MAKELPARAM(20, 20));
  DestroyWindow(parent);
}

}  // namespace
}  // namespace velmor::test
