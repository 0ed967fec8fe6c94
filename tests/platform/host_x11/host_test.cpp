// The X11 host on private Xvfb displays (openbox unless a test says otherwise), its windows on the
// test's thread; first, framebuffer pixels in the layouts of X TrueColor visuals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <tuple>

#include "platform/base/codepage.h"
#include "platform/host/x11/x11_host.h"
#include "platform/host/x11/x11_pixels.h"
#include "platform/host/x11/x11_scale.h"
#include "platform/ui/internal.h"
#include "tests/support/window_class.h"
#include "res/program_resources.h"
#include "res/resource.h"
#include "tests/support/xvfb/xvfb.h"

namespace velmor::test {
namespace {

using namespace std::chrono_literals;

TEST(PixelLayout, OnlyPackedTrueColorLayoutsAreServedAndEachChannelIsScaledIntoItsMaskWithRounding) {
  struct Case {
    const char* what;
    platform::host::x11::PixelLayout layout;
    bool served;
    std::uint32_t rgb, pixel;
  };
  const platform::host::x11::PixelLayout rgb565{16, 0xF800, 0x07E0, 0x001F}, deep{32, 0x3FF00000, 0x000FFC00, 0x000003FF};
  const Case cases[] = {
      {"32-bit RGB: the words as they are", {}, true, 0x123456, 0x123456},
      {"32-bit BGR swaps red and blue", {32, 0x0000FF, 0x00FF00, 0xFF0000}, true, 0x123456, 0x563412},
      {"30-bit white", deep, true, 0xFFFFFF, 0x3FFFFFFF},
      {"24-bit packed", {24, 0xFF0000, 0x00FF00, 0x0000FF}, true, 0x123456, 0x123456},
      {"565 grey", rgb565, true, 0x808080, 0x8410},
      {"565 just below a step rounds up", rgb565, true, 0x050000, 0x0800},
      {"12 bits per pixel", {12, 0xF00, 0x0F0, 0x00F}, false, 0, 0},
      {"overlapping masks", {32, 0xFF0000, 0x01FF00, 0x0000FF}, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto converter = platform::host::x11::PixelConverter::For(c.layout);
    ASSERT_EQ(converter.has_value(), c.served);
    if (!converter) continue;
    // A row of two pixels, in this machine's byte order, and not a byte past it.
    const auto size = static_cast<std::size_t>(converter->BytesPerPixel());
    const std::uint32_t row[] = {0, c.rgb};
    std::vector<std::byte> out(size * 2 + 1, std::byte{0xEE});
    converter->ConvertRow(row, out.data());
    std::uint32_t value = 0;
    const std::size_t at = std::endian::native == std::endian::little ? 0 : 4 - size;
    std::memcpy(reinterpret_cast<std::byte*>(&value) + at, out.data() + size, size);
    EXPECT_EQ(value, c.pixel);
    EXPECT_EQ(out.back(), std::byte{0xEE});
  }
}

TEST(DesktopScale, IsGdkScaleWhenAPositiveIntegerElseXftDpiRoundedElseOneAndAtMostWhatFitsTheMonitor) {
  const std::tuple<const char*, const char*, int> cases[] = {
      {"2", "Xft.dpi:\t96\n", 2}, {"0", "Xft.dpi:\t192\n", 2}, {"1.5", "Xft.antialias:\t1\nXft.dpi:\t288\n", 3},
      {nullptr, "Xft.dpi: 144\n", 2}, {nullptr, "Xft.dpi:\t143.9\n", 1}, {nullptr, "Xft.dpix:\t192\n", 1}, {nullptr, nullptr, 1}};
  for (const auto& [gdkScale, resources, scale] : cases) {
    EXPECT_EQ(platform::host::x11::DesktopScale(gdkScale, resources), scale) << gdkScale << " " << resources;
  }
  EXPECT_EQ(platform::host::x11::FittingScale(3, SIZE{358, 327}, RECT{0, 32, 1366, 768}), 2);
  EXPECT_EQ(platform::host::x11::FittingScale(2, SIZE{358, 327}, RECT{0, 0, 1024, 600}), 1);
}

constexpr char16_t kClass[] = u"velmor-x11-test";  // the test windows' title too
std::vector<MSG> g_seen;                           // what they received, timer ticks aside
bool g_dragOnPress = false;

std::vector<MSG> Seen(UINT message) {
  std::vector<MSG> out;
  std::ranges::copy_if(g_seen, std::back_inserter(out), [&](const MSG& m) { return m.message == message; });
  return out;
}
std::size_t Count(UINT message) { return Seen(message).size(); }
POINT PointOf(const MSG& m) { return POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)}; }
bool LastAt(UINT message, POINT p) { return Count(message) > 0 && PointOf(Seen(message).back()) == p; }

LRESULT TestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_TIMER) g_seen.push_back(MSG{hwnd, message, wParam, lParam, 0, POINT{}});
  if (message == WM_PAINT) {
    // A pattern whose every pixel differs from its neighbours in all three channels.
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    auto pattern = std::make_shared<platform::gdi::Surface>(rc.right, rc.bottom);
    for (int y = 0; y < rc.bottom; ++y) {
      for (int x = 0; x < rc.right; ++x) {
        pattern->pixels[y * rc.right + x] = static_cast<std::uint32_t>(
            ((x * 37 + y * 11) & 0xFF) << 16 | ((y * 53 + x * 7 + 90) & 0xFF) << 8 | ((x * 29 + y * 61 + 170) & 0xFF));
      }
    }
    HDC memory = platform::gdi::CreateSurfaceDC(pattern, POINT{}, rc);
    BitBlt(hdc, 0, 0, rc.right, rc.bottom, memory, 0, 0, SRCCOPY);
    DeleteDC(memory);
    EndPaint(hwnd, &ps);
  } else if (message == WM_LBUTTONDOWN && g_dragOnPress) {
    SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
  } else if (message == WM_MOUSEMOVE) {
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, hwnd, 0};
    _TrackMouseEvent(&track);
  } else if (message != WM_ERASEBKGND && message != WM_SYSCOMMAND) {  // a close is recorded, not carried out
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return 0;
}

class HostTest : public ::testing::Test {
 protected:
  // A fresh record and the X11 host, on a display of the test's own that outlives the host.
  void Use(const XvfbOptions& options = {.windowManager = true}) {
    static const bool registered = (RegisterProgramResources(), velmor::test::AddWindowClass(kClass, TestProc));
    ASSERT_TRUE(registered);
    TearDown();
    g_seen.clear();
    g_dragOnPress = false;
    display_ = std::make_unique<XvfbDisplay>(options);
    ASSERT_TRUE(display_->Ready()) << display_->Error();
    setenv("DISPLAY", display_->Name().c_str(), 1);
    std::string error;
    auto host = platform::host::X11Host::Open(&error);
    ASSERT_TRUE(host) << error;
    platform::host::Install(host);
  }

  void TearDown() override {
    if (hwnd_) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    platform::host::Install(nullptr);
  }

  // A test window at `r` (screen coordinates; hwnd_) and, when shown, its activated X window (window_).
  void Open(const RECT& r, DWORD style = WS_POPUP | WS_VISIBLE) {
    hwnd_ = CreateWindowExW(0, kClass, kClass, style, r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr,
                            nullptr, nullptr, nullptr);
    SetTimer(hwnd_, 1, 10, nullptr);  // Pump looks at its condition at least this often
    if (!(style & WS_VISIBLE)) return;
    window_ = display_->WaitForWindow("velmor-x11-test");
    EXPECT_TRUE(Pump([] { return Count(WM_ACTIVATE) > 0 && LOWORD(Seen(WM_ACTIVATE).back().wParam) == WA_ACTIVE; }));
  }

  // Runs this thread's message loop until `condition` holds.
  bool Pump(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (MSG msg; !condition(); DispatchMessageW(&msg)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      GetMessageW(&msg, nullptr, 0, 0);
    }
    return true;
  }

  // Whether the screen shows `hwnd`'s framebuffer at `where` (its part on it) within `tolerance`.
  bool ShowsFramebuffer(HWND hwnd, const ScreenRect& where, int tolerance = 0) {
    const auto frame = platform::ui::WindowSurface(hwnd);
    if (!frame) return false;
    const int width = std::min(where.width, GetSystemMetrics(SM_CXSCREEN) * frame->scale - where.x);
    const int height = std::min(where.height, GetSystemMetrics(SM_CYSCREEN) * frame->scale - where.y);
    const auto shot = display_->Grab(ScreenRect{where.x, where.y, width, height});
    if (!shot || frame->width != where.width || frame->height != where.height) return false;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        for (int shift : {0, 8, 16}) {
          if (std::abs(int((shot->At(x, y) >> shift) & 0xFF) - int((frame->At(x, y) >> shift) & 0xFF)) > tolerance) return false;
        }
      }
    }
    return true;
  }

  // The items of a 32-bit property of `window`, as xprop reads them.
  std::vector<unsigned long> Longs(unsigned long window, const std::string& name) const {
    std::istringstream in(display_->Run("xprop -notype -id " + std::to_string(window) + " -f " + name + " 32c '=$0+' " + name).second);
    std::vector<unsigned long> items;
    in.ignore(std::numeric_limits<std::streamsize>::max(), '=');
    for (unsigned long item; in >> item; in.ignore(1)) items.push_back(item);
    return items;
  }

  std::unique_ptr<XvfbDisplay> display_;
  HWND hwnd_ = nullptr;
  unsigned long window_ = 0;
};

// A centred dialog sized before its first frame opens at that size on the monitor with the pointer,
// borderless; top-left on a screen too small for it, below a work area's top panel. The screen shows
// its framebuffer (16-bit pixels too); the window manager gets its title, hints and icon.
TEST_F(HostTest, ACentredWindowOpensAtItsFinalSizeOnOneMonitorAndTheScreenShowsIt) {
  struct Case {
    const char* what;
    XvfbOptions screen;
    std::vector<ScreenRect> monitors;
    ScreenRect expected;
    int tolerance;
    std::string workArea = {};  // _NET_WORKAREA as the window manager would set it
  };
  const Case cases[] = {
      {"two monitors, the pointer on the second, under openbox", {.width = 2048, .windowManager = true},
       {{0, 0, 1024, 768}, {1024, 0, 1024, 768}}, {1357, 220, 358, 327}, 0},
      {"a screen smaller than the window, 16 bits deep", {.width = 320, .height = 240, .depth = 16}, {}, {0, 0, 358, 327}, 4},
      {"a panel at the top of a short screen", {.width = 1024, .height = 360, .windowManager = true}, {}, {333, 40, 358, 327},
       0, "0,40,1024,320"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Use(c.screen);
    XvfbDisplay& display = *display_;
    ASSERT_TRUE(c.monitors.empty() || display.SetMonitors(c.monitors));
    ASSERT_TRUE(c.workArea.empty() || display.Run("xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA " + c.workArea).first == 0);
    ASSERT_TRUE(display.MouseMove(c.screen.width * 3 / 4, 10));
    const int x = (c.screen.width - 200) / 2, y = (c.screen.height - 150) / 2;
    Open(RECT{x, y, x + 200, y + 150}, WS_POPUP | DS_CENTER);
    ShowWindow(hwnd_, SW_SHOW);
    SetWindowPos(hwnd_, nullptr, 0, 0, 358, 327, SWP_NOMOVE | SWP_NOZORDER);
    SetWindowTextW(hwnd_, u"Kavel-7100設定画面接続ツール");
    HICON icon = LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    UpdateWindow(hwnd_);
    const unsigned long window = display.WaitForWindow("Kavel-7100");
    RECT r{};
    const RECT expected{c.expected.x, c.expected.y, c.expected.x + 358, c.expected.y + 327};
    EXPECT_TRUE(Pump([&] { return display.ViewableRect(window) == c.expected && GetWindowRect(hwnd_, &r) && r == expected; }))
        << "shown at " << r.left << "," << r.top;
    EXPECT_TRUE(Pump([&] { return ShowsFramebuffer(hwnd_, c.expected, c.tolerance); }));
    if (c.screen.windowManager) {
      EXPECT_EQ(Longs(window, "_NET_FRAME_EXTENTS"), std::vector<unsigned long>(4, 0)) << "borderless";
      const std::string id = std::to_string(window), hints = display.Run("xprop -id " + id + " WM_CLASS WM_NORMAL_HINTS _NET_WM_PID").second;
      EXPECT_EQ(display.Run("xdotool getwindowname " + id).second, platform::Utf16ToUtf8(u"Kavel-7100設定画面接続ツール\n"));
      for (const std::string& hint : {std::string("\"velmor-manager\", \"Velmor-manager\""), std::string("minimum size: 358 by 327"),
                                      std::string("maximum size: 358 by 327"), "= " + std::to_string(getpid())}) {
        EXPECT_NE(hints.find(hint), std::string::npos) << hints;
      }
      // _NET_WM_ICON: width, height and ARGB rows of every image, the 2x ones included.
      std::vector<unsigned long> images;
      for (unsigned long size : {16, 24, 32, 48, 64, 96}) {
        const auto argb = platform::gdi::IconImage(icon, static_cast<int>(size));
        images.insert(images.end(), {size, size});
        images.insert(images.end(), argb.begin(), argb.end());
      }
      EXPECT_EQ(Longs(window, "_NET_WM_ICON"), images);
    }
  }
}

// GDK_SCALE=2: the window is twice its size on the screen, whose points reach it in its own pixels
// (the two screen pixels that show one of its pixels both name that one).
TEST_F(HostTest, AtScaleTwoTheWindowIsTwiceItsSizeAndTheScreensPointsComeInItsOwnPixels) {
  struct Scale {
    Scale() { setenv("GDK_SCALE", "2", 1); }
    ~Scale() { unsetenv("GDK_SCALE"); }
  } scale;
  Use(XvfbOptions{});
  Open(RECT{100, 100, 300, 250});
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 512);
  ASSERT_TRUE(display_->MouseMove(219, 239));
  EXPECT_TRUE(Pump([] { return LastAt(WM_MOUSEMOVE, POINT{9, 19}); }));
  ASSERT_TRUE(display_->MouseMove(220, 240));
  EXPECT_TRUE(Pump([] { return LastAt(WM_MOUSEMOVE, POINT{10, 20}); }));
  SetWindowPos(hwnd_, nullptr, 150, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_TRUE(WaitUntil([&] { return display_->ViewableRect(window_) == ScreenRect{300, 240, 400, 300}; }));
}

TEST_F(HostTest, PointerAndKeysReachTheWindowAsTheWindowSystemExpectsThem) {
  Use();
  XvfbDisplay& d = *display_;
  Open(RECT{200, 150, 400, 300});

  // At the client point; a leave as the pointer goes with no button held.
  ASSERT_TRUE(d.MouseMove(210, 170) && d.Xdotool("click 1"));
  ASSERT_TRUE(Pump([] { return Count(WM_LBUTTONUP) == 1; }));
  EXPECT_TRUE(LastAt(WM_LBUTTONDOWN, POINT{10, 20}) && LastAt(WM_LBUTTONUP, POINT{10, 20}));
  ASSERT_TRUE(d.MouseMove(700, 600));
  EXPECT_TRUE(Pump([] { return Count(WM_MOUSELEAVE) == 1; }));
  // With the button held the window keeps the pointer: motion outside still reaches it, and the
  // leave comes with the release.
  ASSERT_TRUE(d.MouseMove(220, 160) && d.Xdotool("mousedown 1"));
  ASSERT_TRUE(Pump([] { return Count(WM_LBUTTONDOWN) == 2; }));
  ASSERT_TRUE(d.MouseMove(500, 400));
  ASSERT_TRUE(Pump([] { return LastAt(WM_MOUSEMOVE, POINT{300, 250}); }));
  EXPECT_EQ(Count(WM_MOUSELEAVE), 1u);
  ASSERT_TRUE(d.Xdotool("mouseup 1"));
  ASSERT_TRUE(Pump([] { return Count(WM_LBUTTONUP) == 2 && Count(WM_MOUSELEAVE) == 2; }));
  EXPECT_TRUE(LastAt(WM_LBUTTONUP, POINT{300, 250}));

  // Letters whatever the shift state, and the keys a dialog acts on.
  g_seen.clear();
  ASSERT_TRUE(d.Xdotool("key --delay 1 q shift+x Tab space Return Escape"));
  ASSERT_TRUE(Pump([] { return Count(WM_KEYUP) == 7; }));
  std::vector<WPARAM> downs;
  for (const MSG& m : Seen(WM_KEYDOWN)) downs.push_back(m.wParam);
  EXPECT_EQ(downs, (std::vector<WPARAM>{'Q', VK_SHIFT, 'X', VK_TAB, VK_SPACE, VK_RETURN, VK_ESCAPE}));
  // A held key repeats its press without coming up in between: a held Space clicks once.
  g_seen.clear();
  ASSERT_TRUE(d.Run("xset r rate 60 15").first == 0 && d.Xdotool("keydown space"));
  const bool repeated = Pump([] { return Count(WM_KEYDOWN) >= 4; });
  ASSERT_TRUE(d.Xdotool("keyup space") && d.Run("xset r rate").first == 0 && repeated);
  ASSERT_TRUE(Pump([] { return Count(WM_KEYUP) == 1; }));
  EXPECT_EQ(g_seen.back().message, static_cast<UINT>(WM_KEYUP));
}

TEST_F(HostTest, AMinimisedWindowRestoredBeforeTheHostSawItIconicIsRestored) {
  Use();
  Open(RECT{100, 100, 300, 250});
  const auto WmState = [&] {
    const auto items = Longs(window_, "WM_STATE");
    return items.empty() ? 0 : items[0];
  };
  ASSERT_TRUE(WaitUntil([&] { return WmState() == 1; }));
  ShowWindow(hwnd_, SW_MINIMIZE);
  EXPECT_TRUE(WaitUntil([&] { return WmState() == 3; })) << "iconified";
  // The user restores it before this thread reads the X events: the host reads Normal for both.
  EXPECT_TRUE(display_->Xdotool("windowactivate " + std::to_string(window_)));
  EXPECT_TRUE(WaitUntil([&] { return WmState() == 1; }));
  EXPECT_TRUE(Pump([&] { return !IsIconic(hwnd_); }));
}

TEST_F(HostTest, WithoutAWindowManagerTheWindowGetsKeysStaysShownAndMovesWithTheHostsOwnGrab) {
  Use(XvfbOptions{});
  XvfbDisplay& bare = *display_;
  g_dragOnPress = true;
  Open(RECT{100, 100, 300, 250});
  ASSERT_TRUE(bare.Xdotool("key q"));
  EXPECT_TRUE(Pump([] { return Count(WM_KEYUP) == 1; })) << "nobody else gives a new window the keyboard";
  // Nobody could restore an iconified window.
  ShowWindow(hwnd_, SW_MINIMIZE);
  EXPECT_TRUE(Pump([&] { return !IsIconic(hwnd_); }));
  EXPECT_TRUE(bare.ViewableRect(window_));

  ASSERT_TRUE(bare.MouseMove(150, 130) && bare.Xdotool("mousedown 1"));
  ASSERT_TRUE(Pump([] { return Count(WM_LBUTTONDOWN) == 1; }));
  ASSERT_TRUE(bare.MouseMove(200, 160) && bare.MouseMove(250, 180));
  RECT r{};
  EXPECT_TRUE(Pump([&] {
    return bare.ViewableRect(window_) == ScreenRect{200, 150, 200, 150} && GetWindowRect(hwnd_, &r) &&
           r == RECT{200, 150, 400, 300};
  }));
  ASSERT_TRUE(bare.Xdotool("mouseup 1") && bare.MouseMove(260, 190));
  EXPECT_TRUE(Pump([] { return LastAt(WM_MOUSEMOVE, POINT{60, 40}); })) << "the move ended with the release";
  ASSERT_TRUE(bare.Xdotool("click 3") && Pump([] { return Count(WM_RBUTTONUP) == 1; }));
  EXPECT_TRUE(LastAt(WM_RBUTTONDOWN, POINT{60, 40})) << "the pointer is free again";
}

}  // namespace
}  // namespace velmor::test
