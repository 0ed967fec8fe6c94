// Windows of the window system on the X11 host, on a private Xvfb display: a window thread that
// runs the message loop, test windows that paint a known pattern and record their messages, and
// a fixture that installs the host for one test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/x11/x11_host.h"
#include "platform/ui/ui.h"
#include "tests/support/xvfb/xvfb.h"

namespace velmor::test {

struct Seen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Messages a window received, in order; any thread may read.
class MessageLog {
 public:
  void Add(const Seen& seen);
  std::vector<Seen> All() const;
  std::vector<Seen> Of(UINT message) const;
  std::size_t Count(UINT message) const { return Of(message).size(); }
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
};

// The colour a test window paints at a client point: every pixel of a window up to 256 pixels
// wide differs from its neighbours in all three channels.
std::uint32_t PatternPixel(int x, int y);

struct TestWindowSetup {
  RECT rect{100, 100, 300, 250};  // screen coordinates
  DWORD style = WS_POPUP | WS_VISIBLE;
  DWORD exStyle = 0;
  std::u16string title = u"x11 host test";
  // On a left-button press: start a move as a skinned window does (WM_NCLBUTTONDOWN, HTCAPTION).
  bool dragOnPress = false;
  // Ask for WM_MOUSELEAVE on every mouse move.
  bool trackLeave = false;
  // The cursor for a client point; null: the default handling.
  std::function<HCURSOR(POINT)> cursorAt = nullptr;
};

// A thread with a message loop that owns the test windows.
class WindowLoop {
 public:
  WindowLoop();
  ~WindowLoop();
  WindowLoop(const WindowLoop&) = delete;
  WindowLoop& operator=(const WindowLoop&) = delete;

  // A window made on the loop's thread; its messages go to `log`, which must outlive the loop.
  HWND Create(const TestWindowSetup& setup, MessageLog* log);
  // Runs `call` on the loop's thread.
  LRESULT Run(const std::function<LRESULT()>& call);
  // Waits until the loop has nothing left to do.
  bool Settle();

  struct WindowData {
    TestWindowSetup setup;
    MessageLog* log = nullptr;
  };

 private:
  HWND control_ = nullptr;
  std::vector<std::unique_ptr<WindowData>> data_;
  std::thread thread_;
};

// One test on the shared display: the X11 host installed for the test, and a window loop.
class X11HostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  XvfbDisplay& Display() { return SharedXvfb::Server(); }
  platform::host::X11Host& Host() { return *host_; }
  WindowLoop& Loop() { return *loop_; }
  // Where the test's windows record their messages; it outlives them.
  MessageLog& Log() { return log_; }

  // The X window of `hwnd`, once it is viewable on the screen; 0 when it does not get there.
  unsigned long WaitViewable(HWND hwnd);
  // Whether the screen shows `hwnd`'s framebuffer at `where` (its rectangle on the screen),
  // read with `picture` (a screenshot or a grab of that rectangle).
  static ::testing::AssertionResult ShowsFramebuffer(HWND hwnd, const Picture& picture, const ScreenRect& where);

 private:
  std::shared_ptr<platform::host::X11Host> host_;
  MessageLog log_;
  std::unique_ptr<WindowLoop> loop_;
};

}  // namespace velmor::test
