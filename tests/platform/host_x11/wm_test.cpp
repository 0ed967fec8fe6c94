// The X11 host under a real window manager (openbox on Xvfb): placement, what the window manager
// is told, pixels, pointer, cursor and keys, iconic state, moves and exposures.
#include <unistd.h>

#include <X11/cursorfont.h>
#include <gmock/gmock.h>

#include <algorithm>

#include "platform/base/codepage.h"
#include "res/program_resources.h"
#include "res/resource.h"
#include "tests/platform/host_x11/x11_desktop.h"

namespace velmor::test {
namespace {

using namespace std::chrono_literals;

const auto* const kServer = ::testing::AddGlobalTestEnvironment(new SharedXvfb(XvfbOptions{.windowManager = true}));

ScreenRect ToScreenRect(const RECT& r) { return ScreenRect{r.left, r.top, r.right - r.left, r.bottom - r.top}; }

POINT PointOf(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// Whether `log` holds `message` with `low` as the low word of its wParam.
bool Saw(const MessageLog& log, UINT message, WORD low) {
  const auto seen = log.Of(message);
  return std::any_of(seen.begin(), seen.end(), [low](const Seen& s) { return LOWORD(s.wParam) == low; });
}

RECT WindowRectOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

class WindowManagerTest : public X11HostTest {
 protected:
  // A test window logging to Log(), and its X window once viewable (0 if it never gets there).
  std::pair<HWND, unsigned long> Open(const TestWindowSetup& setup) {
    HWND hwnd = Loop().Create(setup, &Log());
    return {hwnd, WaitViewable(hwnd)};
  }
};

TEST_F(WindowManagerTest, MapsAtTheAskedPlaceAndSizeAndShowsTheFramebuffer) {
  struct Case {
    const char* what;
    DWORD style;
    bool framed;
  };
  const Case cases[] = {{"borderless", WS_POPUP, false}, {"with a caption", WS_POPUP | WS_CAPTION, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageLog& log = Log();
    const RECT asked{137, 91, 337, 241};
    // Made at another size and resized before it is shown, as a dialog takes its skin's size.
    HWND hwnd = Loop().Create(TestWindowSetup{.rect = RECT{137, 91, 237, 191}, .style = c.style}, &log);
    Loop().Run([&]() -> LRESULT {
      SetWindowPos(hwnd, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER);
      return ShowWindow(hwnd, SW_SHOW);
    });
    const unsigned long window = WaitViewable(hwnd);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(WaitUntil([&] { return Display().ViewableRect(window) == ToScreenRect(asked); }))
        << "the client area is not where the window system put it";
    const auto frame = Display().FrameRect(window);
    ASSERT_TRUE(frame);
    if (c.framed) {
      EXPECT_GT(frame->width * frame->height, 200 * 150) << "a captioned window gets the window manager's frame";
    } else {
      EXPECT_EQ(*frame, ToScreenRect(asked)) << "no frame, border or title bar around a borderless window";
    }
    EXPECT_TRUE(Loop().Settle());
    EXPECT_EQ(WindowRectOf(hwnd), asked);
    for (const Seen& s : log.Of(WM_MOVE)) {
      EXPECT_EQ(PointOf(s.lParam), (POINT{137, 91})) << "the window system was told of a place the window never had";
    }

    std::optional<Picture> shot;
    EXPECT_TRUE(WaitUntil([&] {
      shot = Display().Screenshot();
      return shot && ShowsFramebuffer(hwnd, *shot, ToScreenRect(asked));
    })) << (shot ? ShowsFramebuffer(hwnd, *shot, ToScreenRect(asked)).message() : "no screenshot");

    Loop().Run([&]() -> LRESULT { return DestroyWindow(hwnd); });
    EXPECT_TRUE(WaitUntil([&] { return !Display().ViewableRect(window); }));
  }
}

TEST_F(WindowManagerTest, TellsTheWindowManagerTitleClassProcessSizeAndIcon) {
  RegisterProgramResources();
  const std::u16string title = u"Kavel-7100設定画面接続ツール";
  const auto opened = Open(TestWindowSetup{.rect = RECT{40, 50, 398, 377}, .title = title});
  const HWND hwnd = opened.first;
  const unsigned long window = opened.second;
  ASSERT_NE(window, 0u);
  XvfbDisplay& d = Display();

  const std::string utf8 = platform::Utf16ToUtf8(title);
  EXPECT_EQ(d.TextProperty(window, "_NET_WM_NAME"), utf8);
  EXPECT_EQ(d.TextProperty(window, "WM_NAME"), utf8);
  EXPECT_EQ(d.WmClass(window), (std::pair<std::string, std::string>{"velmor-manager", "Velmor-manager"}));
  EXPECT_EQ(d.LongProperty(window, "_NET_WM_PID", "CARDINAL"), std::vector<unsigned long>{static_cast<unsigned long>(getpid())});
  const auto motif = d.LongProperty(window, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS");
  ASSERT_EQ(motif.size(), 5u);
  EXPECT_TRUE(motif[0] & 2) << "decorations are given";
  EXPECT_EQ(motif[2], 0u) << "and there are none";
  const auto hints = d.NormalHints(window);
  ASSERT_TRUE(hints);
  EXPECT_EQ((std::array{hints->minWidth, hints->minHeight, hints->maxWidth, hints->maxHeight}), (std::array{358, 327, 358, 327}));
  std::vector<std::string> protocols;
  for (unsigned long a : d.LongProperty(window, "WM_PROTOCOLS", "ATOM")) protocols.push_back(d.AtomName(a));
  EXPECT_THAT(protocols, ::testing::Contains("WM_DELETE_WINDOW"));

  Loop().Run([&]() -> LRESULT { return SetWindowTextW(hwnd, u"設定"); });
  EXPECT_TRUE(WaitUntil([&] { return d.TextProperty(window, "_NET_WM_NAME") == platform::Utf16ToUtf8(u"設定"); }));

  HICON icon = LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(IDR_MAINFRAME));
  ASSERT_NE(icon, nullptr);
  Loop().Run([&]() -> LRESULT {
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    return SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  });
  // Each image: width, height, then ARGB rows; every size the icon holds, each exactly once. The
  // property may still hold an earlier icon for a moment: the server takes the program's
  // requests and this test's in either order.
  std::vector<int> sizes;
  auto matches = [&](const std::vector<unsigned long>& data) {
    sizes.clear();
    for (std::size_t at = 0; at + 2 <= data.size();) {
      const auto w = static_cast<int>(data[at]), h = static_cast<int>(data[at + 1]);
      const auto expected = platform::gdi::IconImage(icon, w);
      if (w != h || expected.size() != static_cast<std::size_t>(w * h) || at + 2 + expected.size() > data.size()) return false;
      for (int i = 0; i < w * h; ++i) {
        if (data[at + 2 + static_cast<std::size_t>(i)] != expected[static_cast<std::size_t>(i)]) return false;
      }
      sizes.push_back(w);
      at += 2 + static_cast<std::size_t>(w * h);
    }
    return !sizes.empty();
  };
  EXPECT_TRUE(WaitUntil([&] { return matches(d.LongProperty(window, "_NET_WM_ICON", "CARDINAL")); }));
  EXPECT_THAT(sizes, ::testing::UnorderedElementsAre(16, 24, 32, 48));
}

TEST_F(WindowManagerTest, PointerEventsArriveAtTheClientPointAndTheCursorFollowsSetCursor) {
  XvfbDisplay& d = Display();
  const auto hand = d.FontCursorImage(XC_hand2, 900, 700), arrow = d.FontCursorImage(XC_left_ptr, 900, 700);
  ASSERT_TRUE(hand && arrow);
  ASSERT_NE(hand->pixels, arrow->pixels);
  auto shows = [&](const Picture& expected) {
    auto now = d.PointerImage();
    return now && now->width == expected.width && now->height == expected.height && now->pixels == expected.pixels;
  };
  MessageLog& log = Log();
  HCURSOR handCursor = LoadCursorW(nullptr, IDC_HAND), arrowCursor = LoadCursorW(nullptr, IDC_ARROW);
  ASSERT_NE(Open(TestWindowSetup{.rect = RECT{200, 150, 400, 300},
                                 .trackLeave = true,
                                 .cursorAt = [=](POINT p) { return p.y < 75 ? handCursor : arrowCursor; }})
                .second,
            0u);

  ASSERT_TRUE(d.MouseMove(210, 170));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_MOUSEMOVE) > 0; }));
  EXPECT_EQ(PointOf(log.Of(WM_MOUSEMOVE).back().lParam), (POINT{10, 20}));
  EXPECT_TRUE(WaitUntil([&] { return shows(*hand); })) << "the link cursor over the top half";
  ASSERT_TRUE(d.Click(1));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_LBUTTONUP) == 1; }));
  ASSERT_EQ(log.Count(WM_LBUTTONDOWN), 1u);
  EXPECT_EQ(PointOf(log.Of(WM_LBUTTONDOWN)[0].lParam), (POINT{10, 20}));
  EXPECT_EQ(PointOf(log.Of(WM_LBUTTONUP)[0].lParam), (POINT{10, 20}));

  ASSERT_TRUE(d.MouseMove(250, 200));
  ASSERT_TRUE(d.Click(3));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_RBUTTONUP) == 1; }));
  EXPECT_EQ(PointOf(log.Of(WM_RBUTTONDOWN)[0].lParam), (POINT{50, 50}));
  ASSERT_TRUE(d.MouseMove(250, 260));
  EXPECT_TRUE(WaitUntil([&] { return shows(*arrow); })) << "the arrow over the bottom half";

  // Leaving with no button held is a leave at once.
  ASSERT_TRUE(d.MouseMove(700, 600));
  EXPECT_TRUE(WaitUntil([&] { return log.Count(WM_MOUSELEAVE) == 1; }));

  // With the button held the window keeps the pointer: motion outside still reaches it, and
  // the leave comes with the release.
  ASSERT_TRUE(d.MouseMove(220, 160));
  ASSERT_TRUE(d.MouseDown(1));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_LBUTTONDOWN) == 2; }));
  log.Clear();
  ASSERT_TRUE(d.MouseMove(500, 400));
  ASSERT_TRUE(WaitUntil([&] {
    auto moves = log.Of(WM_MOUSEMOVE);
    return !moves.empty() && PointOf(moves.back().lParam) == POINT{300, 250};
  }));
  EXPECT_TRUE(Loop().Settle());
  EXPECT_EQ(log.Count(WM_MOUSELEAVE), 0u);
  ASSERT_TRUE(d.MouseUp(1));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_LBUTTONUP) == 1; }));
  EXPECT_EQ(PointOf(log.Of(WM_LBUTTONUP)[0].lParam), (POINT{300, 250}));
  EXPECT_TRUE(WaitUntil([&] { return log.Count(WM_MOUSELEAVE) == 1; }));
}

TEST_F(WindowManagerTest, KeysArriveAsVirtualKeyCodesAndAHeldKeyRepeatsWithoutComingUp) {
  MessageLog& log = Log();
  const unsigned long window = Open(TestWindowSetup{}).second;
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(WaitUntil([&] { return Display().FocusWindow() == window; })) << "the window manager gives a new window the keyboard";
  ASSERT_TRUE(WaitUntil([&] { return Saw(log, WM_ACTIVATE, WA_ACTIVE); }));
  auto codes = [&](UINT message) {
    std::vector<UINT> out;
    for (const Seen& s : log.Of(message)) out.push_back(static_cast<UINT>(s.wParam));
    return out;
  };

  struct Case {
    std::vector<std::string> keys;
    std::vector<UINT> downs;  // WM_KEYDOWN codes, in order
  };
  const Case cases[] = {
      {{"q", "Q", "x"}, {'Q', VK_SHIFT, 'Q', 'X'}},
      {{"shift+j"}, {VK_SHIFT, 'J'}},
      {{"1", "9", "0"}, {'1', '9', '0'}},
      {{"Return", "Escape", "Tab", "space", "BackSpace"}, {VK_RETURN, VK_ESCAPE, VK_TAB, VK_SPACE, VK_BACK}},
      {{"Left", "Up", "Right", "Down"}, {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN}},
      {{"F1", "F4", "F12"}, {VK_F1, VK_F4, VK_F12}},
      {{"ctrl+a"}, {VK_CONTROL, 'A'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys.front());
    log.Clear();
    ASSERT_TRUE(Display().Key(c.keys));
    ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_KEYUP) >= c.downs.size(); }));
    EXPECT_TRUE(Loop().Settle());
    EXPECT_EQ(codes(WM_KEYDOWN), c.downs);
    EXPECT_EQ(log.Count(WM_KEYUP), c.downs.size()) << "every key comes up again";
  }

  // Alt turns keys into system keys.
  log.Clear();
  ASSERT_TRUE(Display().Key({"alt+b"}));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_SYSKEYUP) >= 1 && log.Count(WM_KEYUP) + log.Count(WM_SYSKEYUP) >= 2; }));
  EXPECT_EQ(codes(WM_SYSKEYDOWN), (std::vector<UINT>{VK_MENU, 'B'}));

  // The server's auto-repeat: more presses, marked as repeats, and one release at the end.
  EXPECT_TRUE(Loop().Settle());
  log.Clear();
  ASSERT_TRUE(Display().SetAutoRepeat(60ms, 15ms));
  ASSERT_TRUE(Display().KeyDown("a"));
  const bool repeated = WaitUntil([&] { return log.Count(WM_KEYDOWN) >= 4; });
  ASSERT_TRUE(Display().KeyUp("a"));
  Display().SetAutoRepeat(660ms, 40ms);
  ASSERT_TRUE(repeated);
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_KEYUP) == 1; }));
  EXPECT_TRUE(Loop().Settle());
  const auto all = log.All();
  std::size_t downs = 0;
  for (const Seen& s : all) {
    if (s.message == WM_KEYUP) {
      EXPECT_EQ(&s, &all.back()) << "no release between the repeats";
      break;
    }
    if (s.message != WM_KEYDOWN) continue;
    EXPECT_EQ(s.wParam, WPARAM{'A'});
    EXPECT_EQ(((s.lParam >> 30) & 1) != 0, downs > 0) << "the previous-state bit of press " << downs;
    ++downs;
  }
}

TEST_F(WindowManagerTest, MinimiseIsIconicUntilTheUserRestoresTheWindow) {
  MessageLog& log = Log();
  const auto opened = Open(TestWindowSetup{});
  const HWND hwnd = opened.first;
  const unsigned long window = opened.second;
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(WaitUntil([&] { return Display().WmState(window) == 1ul; }));

  // The user restores the window before the window thread has seen it iconic: by the time the
  // host reads WM_STATE for either change, it reads Normal.
  log.Clear();
  Loop().Run([&]() -> LRESULT {
    ShowWindow(hwnd, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(hwnd));
    EXPECT_TRUE(WaitUntil([&] { return Display().WmState(window) == 3ul; })) << "WM_STATE Iconic";
    EXPECT_TRUE(Display().Xdotool({"windowactivate", std::to_string(window)}));
    EXPECT_TRUE(WaitUntil([&] { return Display().WmState(window) == 1ul; }));
    return 0;
  });
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(hwnd); })) << "the window system follows WM_STATE";
  EXPECT_TRUE(WaitUntil([&] { return Saw(log, WM_SIZE, SIZE_RESTORED); }));
}

TEST_F(WindowManagerTest, PressingOnADragAreaMovesTheWindowWithThePointer) {
  MessageLog& log = Log();
  const auto opened = Open(TestWindowSetup{.dragOnPress = true, .trackLeave = true});
  const HWND hwnd = opened.first;
  const unsigned long window = opened.second;
  ASSERT_NE(window, 0u);
  XvfbDisplay& d = Display();

  ASSERT_TRUE(d.MouseMove(150, 130));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_MOUSEMOVE) > 0; }));
  ASSERT_TRUE(d.MouseDown(1));
  // The window manager's grab takes the pointer from the window: that is its leave.
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_MOUSELEAVE) > 0; })) << "the window manager did not take the pointer";
  ASSERT_TRUE(d.MouseMove(200, 160));
  ASSERT_TRUE(d.MouseMove(250, 180));
  EXPECT_TRUE(WaitUntil([&] { return d.ViewableRect(window) == ScreenRect{200, 150, 200, 150}; }));
  ASSERT_TRUE(d.MouseUp(1));
  EXPECT_TRUE(WaitUntil([&] { return WindowRectOf(hwnd) == RECT{200, 150, 400, 300}; })) << "the window system learns the new place";
  EXPECT_EQ(log.Count(WM_LBUTTONUP), 0u) << "the release ends the move, it is no click";

  // Nothing holds the pointer any more: the next press reaches the window.
  ASSERT_TRUE(d.MouseMove(260, 190));
  ASSERT_TRUE(d.Click(3));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_RBUTTONUP) == 1; }));
  EXPECT_EQ(PointOf(log.Of(WM_RBUTTONDOWN)[0].lParam), (POINT{60, 40}));
}

TEST_F(WindowManagerTest, ExposedPartsAreRestoredFromTheRetainedFramebuffer) {
  MessageLog& log = Log();
  const RECT place{300, 200, 500, 350};
  const auto opened = Open(TestWindowSetup{.rect = place});
  const HWND hwnd = opened.first;
  const unsigned long window = opened.second;
  ASSERT_NE(window, 0u);
  XvfbDisplay& d = Display();
  std::optional<Picture> grab;
  auto restored = [&] {
    grab = d.Grab(ToScreenRect(place));
    return grab && ShowsFramebuffer(hwnd, *grab, ToScreenRect(place));
  };
  ASSERT_TRUE(WaitUntil(restored));
  EXPECT_TRUE(Loop().Settle());
  const std::size_t paints = log.Count(WM_PAINT), erases = log.Count(WM_ERASEBKGND);

  const ScreenRect covered{350, 230, 80, 60};
  const unsigned long cover = d.Cover(covered, 0xFF00FF);
  ASSERT_TRUE(WaitUntil([&] {
    auto shot = d.Grab(covered);
    return shot && shot->At(40, 30) == 0xFF00FF;
  }));
  d.DestroyXWindow(cover);
  EXPECT_TRUE(WaitUntil(restored)) << (grab ? ShowsFramebuffer(hwnd, *grab, ToScreenRect(place)).message() : "no grab");
  EXPECT_TRUE(Loop().Settle());
  EXPECT_EQ(log.Count(WM_PAINT), paints) << "an exposure is no paint";
  EXPECT_EQ(log.Count(WM_ERASEBKGND), erases);
}

}  // namespace
}  // namespace velmor::test
