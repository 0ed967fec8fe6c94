// Painting (order, clipping, erase, synchronous updates, presenting, resizing) and the mouse
// (routing, capture, leave tracking, the button's click).
#include <gtest/gtest.h>

#include <algorithm>

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
  EXPECT_EQ(Repaint(parent, nullptr, FALSE).size(), 3u) << "no erase unless asked";
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
  InvalidateRect(parent, nullptr, TRUE);
  UpdateWindow(parent);
  EXPECT_EQ(order.size(), 8u);
  ShowWindow(top, SW_HIDE);
  desk.Settle(parent);
  EXPECT_EQ(At(10, 10), kParentColor);
  EXPECT_EQ(At(40, 30), kLowerColor);
}

TEST(PaintResize, AWindowThatGrowsWhileErasingEndsFullyPaintedAndShown) {
  HeadlessDesktop desk;
  Recorder rec([](HWND hwnd, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_ERASEBKGND) return std::nullopt;
    // As a skinned dialog does: take the picture's size, then draw it.
    SetWindowPos(hwnd, nullptr, 0, 0, 120, 90, SWP_NOMOVE);
    return FillHuge(reinterpret_cast<HDC>(w), RGB(9, 99, 199)), 1;
  });
  HWND w = MakeWindow(&rec, RECT{200, 100, 280, 160});
  desk.Settle(w);
  EXPECT_EQ(desk.Host().State(w)->rect, (RECT{200, 100, 320, 190}));
  auto surface = platform::ui::WindowSurface(w);
  ASSERT_EQ(surface->pixels.size(), 120u * 90u);
  EXPECT_EQ(std::ranges::count(surface->pixels, 0x0963C7u), 120 * 90);
  EXPECT_TRUE(desk.ScreenMatchesFramebuffer(w));
  DestroyWindow(w);
}

class MouseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = MakeWindow(&parentRec, RECT{100, 100, 300, 250});
    a = MakeWindow(&aRec, RECT{10, 10, 60, 60}, parent);
    b = MakeWindow(&bRec, RECT{40, 40, 100, 100}, parent);  // under a where they overlap
    MakeWindow(&parentRec, RECT{110, 10, 150, 50}, parent, WS_VISIBLE | WS_DISABLED);
    MakeWindow(&parentRec, RECT{160, 10, 190, 50}, parent, 0);  // hidden
    for (auto [cls, style, r, id] : {std::tuple{u"static", SS_LEFT, RECT{110, 60, 150, 90}, 7},
                                     {u"static", SS_NOTIFY, RECT{160, 60, 190, 90}, 8}, {u"button", BS_OWNERDRAW, kButton, 9}}) {
      button = CreateWindowExW(0, cls, u"", WS_CHILD | WS_VISIBLE | static_cast<DWORD>(style), r.left, r.top,
                               r.right - r.left, r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), nullptr, nullptr);
    }
    desk.Settle(parent);
  }
  void TearDown() override { DestroyWindow(parent); }

  void MoveTo(POINT p) {  // a client point of the parent
    desk.Host().MoveMouseTo(parent, p);
    desk.Settle(parent);
  }
  void Drag(POINT from, POINT to) {
    desk.Host().MoveMouseTo(parent, from);
    desk.Host().Press();
    desk.Host().MoveMouseTo(parent, to);
    desk.Host().Release();
    desk.Settle(parent);
  }
  void Track(HWND w) {
    TRACKMOUSEEVENT t{sizeof(TRACKMOUSEEVENT), TME_LEAVE, w, 0};
    _TrackMouseEvent(&t);
    desk.Settle(parent);
  }
  std::size_t Clicks() {
    return std::ranges::count_if(parentRec.Of(WM_COMMAND), [](const Seen& s) { return s.wParam == MAKEWPARAM(9, BN_CLICKED); });
  }

  static constexpr RECT kButton{110, 100, 150, 130};
  HeadlessDesktop desk;
  Recorder parentRec, aRec, bRec;
  HWND parent{}, a{}, b{}, button{};
};

TEST_F(MouseTest, APressGoesToTheTopmostVisibleEnabledWindowThatIsNotTransparent) {
  const struct {
    const char* what;
    POINT at;
    HWND* expected;
    POINT local;
  } cases[] = {
      {"enabled child", {20, 20}, &a, {10, 10}},
      {"overlap: the topmost", {50, 50}, &a, {40, 40}},
      {"the lower child alone", {90, 90}, &b, {50, 50}},
      {"disabled child: through to the parent", {120, 20}, &parent, {120, 20}},
      {"hidden child: through to the parent", {170, 20}, &parent, {170, 20}},
      {"static without SS_NOTIFY: through to the parent", {120, 70}, &parent, {120, 70}},
      {"static with SS_NOTIFY keeps it", {170, 70}, nullptr, {}},
  };
  for (const auto& c : cases) {
    for (Recorder* r : {&parentRec, &aRec, &bRec}) r->Clear();
    Drag(c.at, c.at);
    std::vector<Seen> downs;
    for (Recorder* r : {&parentRec, &aRec, &bRec}) std::ranges::copy(r->Of(WM_LBUTTONDOWN), std::back_inserter(downs));
    ASSERT_EQ(downs.size(), c.expected ? 1u : 0u) << c.what;
    if (!c.expected) continue;
    EXPECT_EQ(downs[0].hwnd, *c.expected) << c.what;
    EXPECT_EQ(downs[0].lParam, MAKELPARAM(c.local.x, c.local.y)) << c.what;
  }
}

TEST_F(MouseTest, TheCaptureHolderGetsEveryMouseMessageUntilItIsDisabled) {
  SetCapture(a);
  MoveTo(POINT{90, 90});  // over b
  desk.Host().Press();
  MoveTo(POINT{-20, 300});  // outside the top-level window
  desk.Host().Release();
  desk.Settle(parent);
  const auto moves = aRec.Of(WM_MOUSEMOVE);
  ASSERT_EQ(moves.size(), 3u);  // the last one: the pointer leaving the top-level window
  EXPECT_EQ(moves[0].lParam, MAKELPARAM(80, 80));
  EXPECT_EQ(moves[2].lParam, MAKELPARAM(-30, 290));
  EXPECT_EQ(aRec.Count(WM_LBUTTONDOWN) + aRec.Count(WM_LBUTTONUP), 2u);
  EXPECT_EQ(bRec.Count(WM_MOUSEMOVE) + parentRec.Count(WM_LBUTTONDOWN), 0u);
  SetCapture(a);
  EnableWindow(a, FALSE);
  EXPECT_EQ(aRec.Count(WM_CANCELMODE), 1u);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(MouseTest, LeaveIsPostedOnceWhenThePointerIsOffTheWindowOrItsTopLevelWindowUnlessItHoldsTheCapture) {
  MoveTo(POINT{20, 20});
  Track(a);
  MoveTo(POINT{25, 25});
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 0u);
  MoveTo(POINT{90, 90});
  MoveTo(POINT{5, 140});
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 1u) << "once: the request is used up";
  Track(a);  // asked while not over it: at once
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 2u);
  MoveTo(POINT{20, 20});
  Track(a);
  desk.Host().MoveMouse(POINT{5, 5});  // off the top-level window: that leaves every tracked child
  desk.Settle(parent);
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 3u);

  MoveTo(POINT{20, 20});
  SetCapture(a);
  Track(a);
  desk.Host().MoveMouse(POINT{5, 5});
  desk.Settle(parent);
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 3u) << "not while it holds the capture";
  ReleaseCapture();
  desk.Settle(parent);
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 4u);
}

// A holder that lets go once the pointer is off it (a hover look does): the window the pointer
// jumped onto hears of the pointer at once, not at its next move.
TEST_F(MouseTest, ReleasingTheCaptureSendsTheWindowUnderThePointerAMove) {
  aRec.handler_ = [](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_MOUSEMOVE && GET_X_LPARAM(l) >= 50) ReleaseCapture();
    return std::nullopt;
  };
  MoveTo(POINT{20, 20});
  SetCapture(a);
  MoveTo(POINT{90, 90});
  ASSERT_EQ(bRec.Count(WM_MOUSEMOVE), 1u);
  EXPECT_EQ(bRec.Of(WM_MOUSEMOVE)[0].lParam, MAKELPARAM(50, 50));
}

TEST_F(MouseTest, AButtonClicksOnlyWhenPressedAndReleasedOnIt) {
  Drag(POINT{120, 110}, POINT{120, 110});
  EXPECT_EQ(Clicks(), 1u);
  EXPECT_EQ(GetFocus(), button);
  Drag(POINT{120, 110}, POINT{5, 140});
  Drag(POINT{5, 140}, POINT{120, 110});
  EXPECT_EQ(Clicks(), 1u);
  EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
}

}  // namespace
}  // namespace velmor::test
