// The X11 host on a screen without a window manager, and on screens of other sizes, monitors and
// depths.
#include "tests/platform/host_x11/x11_desktop.h"

#include <algorithm>
#include <cstdlib>

#include "platform/host/host.h"

namespace velmor::test {
namespace {

using namespace std::chrono_literals;

const auto* const kServer = ::testing::AddGlobalTestEnvironment(new SharedXvfb(XvfbOptions{}));

POINT PointOf(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

TEST(X11HostOpen, WithoutADisplayGivesNoHostAndSaysWhy) {
  struct Case {
    const char* display;  // null: DISPLAY unset
    const char* says;
  };
  const Case cases[] = {{":64999", "\":64999\""}, {nullptr, "DISPLAY is not set"}, {"", "DISPLAY is not set"}};
  const char* const saved = std::getenv("DISPLAY");
  const std::string before = saved ? saved : "";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display ? c.display : "unset");
    if (c.display) {
      setenv("DISPLAY", c.display, 1);
    } else {
      unsetenv("DISPLAY");
    }
    std::string error;
    EXPECT_EQ(platform::host::X11Host::Open({}, &error), nullptr);
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
  if (saved) {
    setenv("DISPLAY", before.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
}

class NoWindowManagerTest : public X11HostTest {};

TEST_F(NoWindowManagerTest, AWindowGetsTheKeyboardClosesOnRequestAnswersPingsAndStaysShownWhenMinimised) {
  EXPECT_EQ(Host().ScreenSize(), (SIZE{1024, 768}));
  MessageLog& log = Log();
  HWND hwnd = Loop().Create(TestWindowSetup{}, &log);
  const unsigned long window = WaitViewable(hwnd);
  ASSERT_NE(window, 0u);
  EXPECT_EQ(Display().ViewableRect(window), (ScreenRect{100, 100, 200, 150}));
  ASSERT_TRUE(WaitUntil([&] { return Display().FocusWindow() == window; }));
  ASSERT_TRUE(WaitUntil([&] {
    const auto activations = log.Of(WM_ACTIVATE);
    return std::any_of(activations.begin(), activations.end(), [](const Seen& s) { return LOWORD(s.wParam) == WA_ACTIVE; });
  }));
  auto closes = [&] {
    const auto commands = log.Of(WM_SYSCOMMAND);
    return std::count_if(commands.begin(), commands.end(), [](const Seen& s) { return (s.wParam & 0xFFF0) == SC_CLOSE; });
  };
  ASSERT_TRUE(Display().Key({"alt+F4"}));
  EXPECT_TRUE(WaitUntil([&] { return closes() == 1; }));
  ASSERT_TRUE(Display().SendDeleteWindow(window));  // as a window manager's close asks
  EXPECT_TRUE(WaitUntil([&] { return closes() == 2; }));
  EXPECT_TRUE(IsWindow(hwnd)) << "the close command is the program's to carry out";
  EXPECT_TRUE(Display().Ping(window, 5s)) << "the window's loop answers a window manager's ping";

  // Nobody could restore an iconified window.
  Loop().Run([&]() -> LRESULT { return ShowWindow(hwnd, SW_MINIMIZE); });
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(hwnd); }));
  EXPECT_TRUE(Display().ViewableRect(window).has_value());
}

TEST_F(NoWindowManagerTest, ADragMovesTheWindowWithTheHostsOwnPointerGrab) {
  MessageLog& log = Log();
  HWND hwnd = Loop().Create(TestWindowSetup{.dragOnPress = true}, &log);
  const unsigned long window = WaitViewable(hwnd);
  ASSERT_NE(window, 0u);
  XvfbDisplay& d = Display();

  ASSERT_TRUE(d.MouseMove(150, 130));
  ASSERT_TRUE(d.MouseDown(1));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_LBUTTONDOWN) == 1; }));
  ASSERT_TRUE(Loop().Settle());
  ASSERT_TRUE(d.MouseMove(200, 160));
  ASSERT_TRUE(d.MouseMove(250, 180));
  EXPECT_TRUE(WaitUntil([&] { return d.ViewableRect(window) == ScreenRect{200, 150, 200, 150}; }));
  EXPECT_TRUE(WaitUntil([&] {
    RECT r{};
    return GetWindowRect(hwnd, &r) && r == RECT{200, 150, 400, 300};
  }));
  ASSERT_TRUE(d.MouseUp(1));
  ASSERT_TRUE(d.MouseMove(600, 500));
  ASSERT_TRUE(Loop().Settle());
  EXPECT_EQ(d.ViewableRect(window), (ScreenRect{200, 150, 200, 150})) << "the move ended with the release";

  ASSERT_TRUE(d.MouseMove(260, 190));
  ASSERT_TRUE(d.Click(3));
  ASSERT_TRUE(WaitUntil([&] { return log.Count(WM_RBUTTONUP) == 1; }));
  EXPECT_EQ(PointOf(log.Of(WM_RBUTTONDOWN)[0].lParam), (POINT{60, 40})) << "the pointer is free again";
  EXPECT_EQ(log.Count(WM_LBUTTONUP), 0u);
}

TEST_F(NoWindowManagerTest, AWindowDestroyedByAnotherClientIsAskedToCloseAndTheProgramGoesOn) {
  MessageLog& log = Log();
  HWND hwnd = Loop().Create(TestWindowSetup{}, &log);
  const unsigned long window = WaitViewable(hwnd);
  ASSERT_NE(window, 0u);
  Display().DestroyXWindow(window);
  EXPECT_TRUE(WaitUntil([&] {
    const auto commands = log.Of(WM_SYSCOMMAND);
    return std::any_of(commands.begin(), commands.end(), [](const Seen& s) { return (s.wParam & 0xFFF0) == SC_CLOSE; });
  })) << "the close a window manager would ask for";
  Loop().Run([&]() -> LRESULT {
    SetWindowTextW(hwnd, u"gone");
    InvalidateRect(hwnd, nullptr, TRUE);
    return UpdateWindow(hwnd);
  });
  ASSERT_TRUE(Loop().Settle());
  HWND next = Loop().Create(TestWindowSetup{.rect = RECT{400, 100, 500, 200}}, &log);
  EXPECT_NE(WaitViewable(next), 0u);
}

// The X11 host on a display of the test's own, installed while this lives.
struct HostOn {
  explicit HostOn(const XvfbDisplay& display)
      : host(platform::host::X11Host::Open(platform::host::X11Options{display.Name()}, &error)) {
    platform::host::Install(host);
  }
  ~HostOn() { platform::host::Install(nullptr); }
  std::string error;
  std::shared_ptr<platform::host::X11Host> host;
};

// A centred dialog opens on one monitor, the one with the pointer, at the size it has when its
// first frame is drawn; where it does not fit, its top-left corner and so its title bar are on
// the screen.
TEST(X11HostPlacement, ACentredWindowOpensAtItsFinalSizeOnTheMonitorWithThePointer) {
  struct Case {
    const char* what;
    XvfbOptions screen;
    std::vector<ScreenRect> monitors;
    POINT pointer;
    ScreenRect expected;
  };
  const Case cases[] = {
      {"two monitors side by side, under a window manager", {.width = 2048, .windowManager = true},
       {{0, 0, 1024, 768}, {1024, 0, 1024, 768}}, {1500, 400}, {1357, 220, 358, 327}},
      {"a screen smaller than the window", {.width = 320, .height = 240}, {}, {10, 10}, {0, 0, 358, 327}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    XvfbDisplay display(c.screen);
    ASSERT_TRUE(display.Ready()) << display.Error();
    if (!c.monitors.empty()) {
      ASSERT_TRUE(display.SetMonitors(c.monitors));
    }
    ASSERT_TRUE(display.MouseMove(c.pointer.x, c.pointer.y));
    HostOn on(display);
    ASSERT_TRUE(on.host) << on.error;
    MessageLog log;
    WindowLoop loop;
    // Made centred on the whole screen at its template's size, as a dialog is made; shown, then
    // given its final size before its first frame, as the skin's first erase does.
    const RECT made{(c.screen.width - 200) / 2, (c.screen.height - 150) / 2, (c.screen.width + 200) / 2,
                    (c.screen.height + 150) / 2};
    HWND hwnd = loop.Create(TestWindowSetup{.rect = made, .style = WS_POPUP | DS_CENTER}, &log);
    loop.Run([&]() -> LRESULT {
      ShowWindow(hwnd, SW_SHOW);
      return SetWindowPos(hwnd, nullptr, 0, 0, 358, 327, SWP_NOMOVE | SWP_NOZORDER);
    });
    const unsigned long window = on.host->NativeWindow(hwnd);
    std::optional<ScreenRect> shown;
    EXPECT_TRUE(WaitUntil([&] { return (shown = display.ViewableRect(window)) == c.expected; }))
        << (shown ? std::to_string(shown->x) + "," + std::to_string(shown->y) : "not shown");
    EXPECT_TRUE(WaitUntil([&] {
      RECT r{};
      return GetWindowRect(hwnd, &r) && r == RECT{c.expected.x, c.expected.y, c.expected.x + 358, c.expected.y + 327};
    })) << "the window system learns where the window is";
  }
}

// A screen of 16 bits per pixel: the framebuffer is converted, within the screen's precision.
TEST(X11HostDepth, A16BitScreenShowsTheFramebufferInItsOwnPixels) {
  XvfbDisplay display(XvfbOptions{.depth = 16});
  ASSERT_TRUE(display.Ready()) << display.Error();
  HostOn on(display);
  ASSERT_TRUE(on.host) << on.error;
  {
    MessageLog log;  // outlives the window that writes to it
    WindowLoop loop;
    HWND hwnd = loop.Create(TestWindowSetup{.rect = RECT{50, 60, 250, 210}}, &log);
    const unsigned long window = on.host->NativeWindow(hwnd);
    ASSERT_TRUE(WaitUntil([&] { return display.ViewableRect(window).has_value(); }));
    EXPECT_TRUE(WaitUntil([&] {
      auto grab = display.Grab(ScreenRect{50, 60, 200, 150});
      auto surface = platform::ui::WindowSurface(hwnd);
      if (!grab || !surface) return false;
      for (int y = 0; y < 150; ++y) {
        for (int x = 0; x < 200; ++x) {
          for (int shift : {0, 8, 16}) {
            const int screen = (grab->At(x, y) >> shift) & 0xFF, frame = (surface->At(x, y) >> shift) & 0xFF;
            if (std::abs(screen - frame) > 4) return false;
          }
        }
      }
      return true;
    }));
  }
}

}  // namespace
}  // namespace velmor::test
