// Painting: order, clipping, erase, synchronous updates, presenting and resizing.
#include <gtest/gtest.h>

#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

constexpr COLORREF kParentColor = RGB(0, 0, 200), kTopChildColor = RGB(200, 0, 0), kLowerChildColor = RGB(0, 200, 0);

// Fills an oversized rectangle: the window's own clip must keep the paint inside it.
void FillHuge(HDC hdc, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  const RECT huge{-500, -500, 5000, 5000};
  FillRect(hdc, &huge, brush);
  DeleteObject(brush);
}

Recorder::Handler Painter(COLORREF color, bool eraseToo) {
  return [color, eraseToo](HWND hwnd, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_ERASEBKGND && eraseToo) {
      FillHuge(reinterpret_cast<HDC>(w), color);
      return 1;
    }
    if (m == WM_PAINT) {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      if (!eraseToo) FillHuge(hdc, color);
      EndPaint(hwnd, &ps);
      return 0;
    }
    return std::nullopt;
  };
}

class PaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = MakeWindow(&parentRec, RECT{10, 10, 110, 90});
    top = MakeWindow(&topRec, RECT{0, 0, 50, 40}, parent);        // created first: topmost
    lower = MakeWindow(&lowerRec, RECT{30, 20, 80, 60}, parent);  // below it
    desk.Settle(parent);
    order.clear();
  }
  void TearDown() override { DestroyWindow(parent); }

  HeadlessDesktop desk;
  using Order = std::vector<std::pair<HWND, UINT>>;
  Order order;
  // Logs paints and erases as they begin; an erase comes inside its window's paint.
  Recorder::Handler Logged(Recorder::Handler inner) {
    return [this, inner](HWND h, UINT m, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
      if (m == WM_PAINT || m == WM_ERASEBKGND) order.emplace_back(h, m);
      return inner(h, m, w, l);
    };
  }
  Recorder parentRec{Logged(Painter(kParentColor, true))};
  Recorder topRec{Logged(Painter(kTopChildColor, false))};
  Recorder lowerRec{Logged(Painter(kLowerChildColor, false))};
  HWND parent = nullptr, top = nullptr, lower = nullptr;
};

TEST_F(PaintTest, ParentFirstThenChildrenBottomToTopEachInsideItsRectangle) {
  InvalidateRect(parent, nullptr, TRUE);
  desk.Settle(parent);
  EXPECT_EQ(order, (Order{{parent, WM_PAINT}, {parent, WM_ERASEBKGND}, {lower, WM_PAINT}, {lower, WM_ERASEBKGND},
                          {top, WM_PAINT}, {top, WM_ERASEBKGND}}));
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{90, 70}), kParentColor);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{10, 10}), kTopChildColor);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{40, 30}), kTopChildColor);  // overlap: topmost wins
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{70, 50}), kLowerChildColor);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{80, 10}), kParentColor);
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(parent));
}

TEST_F(PaintTest, EraseOnlyWhenAskedAndAnUpdateReachesOnlyTheWindowsUnderIt) {
  InvalidateRect(parent, nullptr, FALSE);
  desk.Settle(parent);
  EXPECT_EQ(parentRec.Count(WM_ERASEBKGND), 1u);  // only the first paint at creation erased
  EXPECT_EQ(order.front(), std::make_pair(parent, WM_PAINT));
  // A child's own invalidation repaints the child alone, and the screen follows.
  order.clear();
  topRec.SetHandler(Logged(Painter(RGB(1, 2, 3), false)));
  InvalidateRect(top, nullptr, TRUE);
  desk.Settle(parent);
  EXPECT_EQ(order, (Order{{top, WM_PAINT}, {top, WM_ERASEBKGND}}));
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{5, 5}), RGB(1, 2, 3));
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(parent));
  order.clear();
  const RECT right{85, 0, 100, 80};
  InvalidateRect(parent, &right, TRUE);
  desk.Settle(parent);
  EXPECT_EQ(order, (Order{{parent, WM_PAINT}, {parent, WM_ERASEBKGND}}));
  order.clear();
  const RECT overlap{35, 25, 45, 35};
  InvalidateRect(parent, &overlap, FALSE);
  desk.Settle(parent);
  EXPECT_EQ(order, (Order{{parent, WM_PAINT}, {lower, WM_PAINT}, {top, WM_PAINT}}));
}

// An update is kept as one rectangle: two small ones far apart make a large one, which the
// parent paints over children that neither touched. Those children are painted again on top.
TEST_F(PaintTest, UpdatesThatMeetInOneRectangleNeverLeaveAChildPaintedOver) {
  const RECT topRight{85, 0, 100, 10};
  const RECT bottomLeft{0, 70, 10, 80};
  InvalidateRect(parent, &topRight, TRUE);
  InvalidateRect(parent, &bottomLeft, TRUE);
  desk.Settle(parent);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{10, 10}), kTopChildColor);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{70, 50}), kLowerChildColor);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{90, 70}), kParentColor);
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(parent));
}

TEST_F(PaintTest, UpdateNowPaintsBeforeReturningAndPlainInvalidationWaits) {
  RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE);
  EXPECT_TRUE(order.empty());
  RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  EXPECT_EQ(order, (Order{{top, WM_PAINT}, {top, WM_ERASEBKGND}}));
  order.clear();
  InvalidateRect(parent, nullptr, TRUE);
  UpdateWindow(parent);
  EXPECT_EQ(order.size(), 6u);
  desk.Settle(parent);
  EXPECT_EQ(order.size(), 6u) << "an update region was left for a later paint";
}

TEST_F(PaintTest, HidingAChildRepaintsThePartOfTheParentItUncovers) {
  ShowWindow(top, SW_HIDE);
  desk.Settle(parent);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{10, 10}), kParentColor);
  EXPECT_EQ(HeadlessDesktop::FrameColor(parent, POINT{40, 30}), kLowerChildColor);
  EXPECT_EQ(topRec.Count(WM_PAINT), 1u);  // the first paint only
}

TEST(PaintResize, AWindowThatGrowsWhileErasingEndsFullyPainted) {
  HeadlessDesktop desk;
  Recorder rec([](HWND hwnd, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_ERASEBKGND) return std::nullopt;
    // As a skinned dialog does: take the picture's size, then draw it.
    SetWindowPos(hwnd, nullptr, 0, 0, 120, 90, SWP_NOMOVE);
    FillHuge(reinterpret_cast<HDC>(w), RGB(9, 99, 199));
    return 1;
  });
  HWND w = MakeWindow(&rec, RECT{200, 100, 280, 160});
  desk.Settle(w);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r, (RECT{200, 100, 320, 190}));
  EXPECT_EQ(desk.Host().State(w).value().rect, r);
  auto surface = platform::ui::WindowSurface(w);
  ASSERT_EQ(surface->width, 120);
  ASSERT_EQ(surface->height, 90);
  for (std::uint32_t p : surface->pixels) ASSERT_EQ(p, 0x0963C7u);
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(w));
  DestroyWindow(w);
}

}  // namespace
}  // namespace velmor::test
