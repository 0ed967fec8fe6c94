// Mouse routing, capture, leave tracking, the button's click and window moves.
#include <gtest/gtest.h>

#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

HWND MakeControl(LPCWSTR cls, DWORD style, RECT r, HWND parent, int id) {
  return CreateWindowExW(0, cls, u"", WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         parent, reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), nullptr, nullptr);
}

class MouseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = MakeWindow(&parentRec, RECT{100, 100, 300, 250});
    a = MakeWindow(&aRec, RECT{10, 10, 60, 60}, parent);
    b = MakeWindow(&bRec, RECT{40, 40, 100, 100}, parent);  // under a where they overlap
    MakeWindow(&disabledRec, RECT{110, 10, 150, 50}, parent, WS_VISIBLE | WS_DISABLED);
    MakeWindow(&hiddenRec, RECT{160, 10, 190, 50}, parent, 0);
    MakeControl(u"static", SS_LEFT, RECT{110, 60, 150, 90}, parent, 7);
    MakeControl(u"static", SS_NOTIFY, RECT{160, 60, 190, 90}, parent, 8);
    button = MakeControl(u"button", BS_OWNERDRAW, RECT{110, 100, 150, 130}, parent, 9);
    desk.Settle(parent);
  }
  void TearDown() override { DestroyWindow(parent); }

  // Clicks at a client point of the parent and returns who got the press, at what point.
  std::pair<HWND, POINT> PressAt(POINT p) {
    for (Recorder* r : {&parentRec, &aRec, &bRec, &disabledRec, &hiddenRec}) r->Clear();
    Drag(p, p);
    for (Recorder* r : {&parentRec, &aRec, &bRec, &disabledRec, &hiddenRec}) {
      auto down = r->Of(WM_LBUTTONDOWN);
      if (!down.empty()) return {down[0].hwnd, POINT{GET_X_LPARAM(down[0].lParam), GET_Y_LPARAM(down[0].lParam)}};
    }
    return {nullptr, POINT{}};
  }
  // Presses at one client point of the parent and releases at another.
  void Drag(POINT from, POINT to) {
    desk.Host().MoveMouseTo(parent, from);
    desk.Host().Press();
    desk.Host().MoveMouseTo(parent, to);
    desk.Host().Release();
    desk.Settle(parent);
  }
  void MoveTo(POINT p) {  // a client point of the parent
    desk.Host().MoveMouseTo(parent, p);
    desk.Settle(parent);
  }
  void Track(HWND w) {
    platform::ui::CallOnWindowThread(w, [w]() -> LRESULT {
      TRACKMOUSEEVENT t{sizeof(TRACKMOUSEEVENT), TME_LEAVE, w, 0};
      return _TrackMouseEvent(&t);
    });
    desk.Settle(parent);
  }
  void CaptureTo(HWND w) {
    platform::ui::CallOnWindowThread(w, [w]() -> LRESULT { return reinterpret_cast<LRESULT>(SetCapture(w)); });
  }

  HeadlessDesktop desk;
  Recorder parentRec, aRec, bRec, disabledRec, hiddenRec;
  HWND parent{}, a{}, b{}, button{};
};

TEST_F(MouseTest, APressGoesToTheTopmostVisibleEnabledWindowThatIsNotTransparent) {
  struct Case {
    const char* what;
    POINT at;
    HWND* expected;
    POINT local;
  };
  HWND none = nullptr;
  const Case cases[] = {
      {"enabled child", {20, 20}, &a, {10, 10}},
      {"overlap: the topmost", {50, 50}, &a, {40, 40}},
      {"the lower child alone", {90, 90}, &b, {50, 50}},
      {"disabled child: through to the parent", {120, 20}, &parent, {120, 20}},
      {"hidden child: through to the parent", {170, 20}, &parent, {170, 20}},
      {"static without SS_NOTIFY: through to the parent", {120, 70}, &parent, {120, 70}},
      {"static with SS_NOTIFY keeps it", {170, 70}, &none, {}},
      {"bare parent", {5, 140}, &parent, {5, 140}},
  };
  for (const Case& c : cases) {
    auto [who, local] = PressAt(c.at);
    EXPECT_EQ(who, *c.expected) << c.what;
    if (*c.expected) {
      EXPECT_EQ(local, c.local) << c.what;
    }
  }
}

TEST_F(MouseTest, TheCaptureHolderGetsEveryMouseMessageWherever) {
  CaptureTo(a);
  aRec.Clear();
  MoveTo(POINT{90, 90});    // over b
  MoveTo(POINT{5, 140});    // over the parent
  desk.Host().Press();              // the button held: motion outside the window is reported too
  MoveTo(POINT{-20, 300});  // outside the top-level window
  desk.Host().Release();
  desk.Settle(parent);
  // The last movement is the pointer leaving the top-level window as the button comes up.
  const auto moves = aRec.Of(WM_MOUSEMOVE);
  ASSERT_EQ(moves.size(), 4u);
  EXPECT_EQ(moves[3].lParam, moves[2].lParam);
  EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), 80);
  EXPECT_EQ(GET_Y_LPARAM(moves[2].lParam), 290);
  EXPECT_EQ(GET_X_LPARAM(moves[2].lParam), -30);
  EXPECT_EQ(aRec.Count(WM_LBUTTONDOWN), 1u);
  EXPECT_EQ(aRec.Count(WM_LBUTTONUP), 1u);
  EXPECT_EQ(bRec.Count(WM_MOUSEMOVE) + parentRec.Count(WM_LBUTTONDOWN), 0u);

  // Disabling the holder cancels its mode and releases the capture.
  CaptureTo(a);
  EnableWindow(a, FALSE);
  EXPECT_EQ(aRec.Count(WM_CANCELMODE), 1u);
  EXPECT_EQ(platform::ui::CallOnWindowThread(a, [] { return reinterpret_cast<LRESULT>(GetCapture()); }), 0);
  EXPECT_EQ(PressAt(POINT{20, 20}).first, parent);
}

TEST_F(MouseTest, LeaveIsPostedOnceThePointerIsOffTheTrackedWindowOrItsTopLevelWindow) {
  MoveTo(POINT{20, 20});
  // The window under the pointer is asked for the cursor before it hears of the movement.
  const auto all = aRec.All();
  auto first = [&](UINT m) { return std::find_if(all.begin(), all.end(), [m](const Seen& s) { return s.message == m; }); };
  const auto cursor = first(WM_SETCURSOR), move = first(WM_MOUSEMOVE);
  ASSERT_NE(cursor, all.end());
  ASSERT_NE(move, all.end());
  EXPECT_LT(cursor, move);
  EXPECT_EQ(cursor->lParam, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));

  Track(a);
  MoveTo(POINT{25, 25});
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 0u);
  MoveTo(POINT{90, 90});
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 1u);
  MoveTo(POINT{5, 140});
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 1u);  // the request was used up
  Track(a);                                 // asked while not over it: at once
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 2u);
  MoveTo(POINT{20, 20});
  Track(a);
  desk.Host().MoveMouse(POINT{5, 5});  // off the top-level window: that leaves every tracked child
  desk.Settle(parent);
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 3u);
}

TEST_F(MouseTest, NoLeaveWhileTheTrackedWindowHoldsTheCapture) {
  MoveTo(POINT{20, 20});
  CaptureTo(a);
  Track(a);
  MoveTo(POINT{150, 140});
  desk.Host().MoveMouse(POINT{5, 5});  // off the top-level window altogether
  desk.Settle(parent);
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 0u);
  // Leaving the top-level window is the holder's last movement.
  ASSERT_FALSE(aRec.Of(WM_MOUSEMOVE).empty());
  EXPECT_EQ(GET_X_LPARAM(aRec.Of(WM_MOUSEMOVE).back().lParam), 5 - 110);
  platform::ui::CallOnWindowThread(a, []() -> LRESULT { return ReleaseCapture(); });
  desk.Settle(parent);
  EXPECT_EQ(aRec.Count(WM_MOUSELEAVE), 1u);
}

// A holder that lets go once the pointer is off it (a hover look does): the window the pointer
// jumped onto hears of the pointer at once, not at its next move.
TEST_F(MouseTest, ReleasingTheCaptureSendsTheWindowUnderThePointerAMove) {
  aRec.SetHandler([](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_MOUSEMOVE && GET_X_LPARAM(l) >= 50) ReleaseCapture();
    return std::nullopt;
  });
  MoveTo(POINT{20, 20});
  CaptureTo(a);
  MoveTo(POINT{90, 90});
  ASSERT_EQ(bRec.Count(WM_MOUSEMOVE), 1u);
  EXPECT_EQ(bRec.Of(WM_MOUSEMOVE)[0].lParam, MAKELPARAM(50, 50));
}

TEST_F(MouseTest, AButtonClicksOnlyWhenPressedAndReleasedOnIt) {
  auto clicks = [this] {
    std::size_t n = 0;
    for (const Seen& s : parentRec.Of(WM_COMMAND)) n += LOWORD(s.wParam) == 9 && HIWORD(s.wParam) == BN_CLICKED;
    return n;
  };
  Drag(POINT{120, 110}, POINT{120, 110});
  EXPECT_EQ(clicks(), 1u);
  EXPECT_EQ(platform::ui::CallOnWindowThread(parent, [] { return reinterpret_cast<LRESULT>(GetFocus()); }),
            reinterpret_cast<LRESULT>(button));
  parentRec.Clear();
  Drag(POINT{120, 110}, POINT{5, 140});
  EXPECT_EQ(clicks(), 0u);
  EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
  Drag(POINT{5, 140}, POINT{120, 110});
  EXPECT_EQ(clicks(), 0u);
}

TEST_F(MouseTest, ACaptionPressHandsTheMoveToTheHostWhichTakesTheRelease) {
  parentRec.SetHandler([](HWND hwnd, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_LBUTTONDOWN) return std::nullopt;
    return SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0), LRESULT{0};
  });
  desk.Host().MoveMouseTo(parent, POINT{5, 140});
  desk.Host().Press();
  desk.Settle(parent);
  EXPECT_EQ(desk.Host().CountRequests(platform::host::HeadlessHost::RequestKind::BeginMove, parent), 1u);
  desk.Host().MoveMouse(POINT{205, 340});  // the pointer was at (105, 240)
  desk.Host().Release();
  desk.Settle(parent);
  RECT r;
  GetWindowRect(parent, &r);
  EXPECT_EQ(r, (RECT{200, 200, 400, 350}));
  EXPECT_EQ(parentRec.Count(WM_LBUTTONUP), 0u);
  EXPECT_EQ(parentRec.Count(WM_MOVE), 1u);
}

}  // namespace
}  // namespace velmor::test
