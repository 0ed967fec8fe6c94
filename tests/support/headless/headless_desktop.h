// Fixtures that run real windows on the headless host: a driven clock, the host, window threads.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>

#include "platform/ui/ui.h"
#include "tests/support/headless/headless_host.h"
#include "tests/support/manual_clock.h"

namespace velmor::test {

// One screen for one test: a ManualClock as the platform clock and a HeadlessHost as the host.
class HeadlessDesktop {
 public:
  HeadlessDesktop();
  ~HeadlessDesktop();

  ManualClock& Clock() { return *clock_; }
  platform::host::HeadlessHost& Host() { return *host_; }

  // Lets the thread that owns `hwnd` do everything it has to do (pumps the loop when that is the
  // calling thread). Fails the test when the thread does not come to rest.
  void Settle(HWND hwnd);
  void Advance(std::chrono::milliseconds by, HWND hwnd);

  // The framebuffer's colour at a client point of `hwnd` (any window). Read it while the window
  // thread rests (after Settle), or on that thread.
  static COLORREF FrameColor(HWND hwnd, POINT client);
  // Whether the host's screen shows exactly the framebuffer of top-level window `top`.
  bool ScreenMatchesFramebuffer(HWND top) const;

 private:
  std::shared_ptr<ManualClock> clock_;
  std::shared_ptr<platform::host::HeadlessHost> host_;
};

// 0x00RRGGBB as a COLORREF.
constexpr COLORREF ColorOf(std::uint32_t pixel) {
  return RGB(static_cast<BYTE>(pixel >> 16), static_cast<BYTE>(pixel >> 8), static_cast<BYTE>(pixel));
}

// A thread of its own for a window loop (a modal dialog, say), joined when the object goes.
// The body must come to an end by then: close its dialog first.
class WindowThread {
 public:
  explicit WindowThread(std::function<void()> body) : done_(std::async(std::launch::async, std::move(body))) {}

  bool WaitFinished(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return done_.wait_for(timeout) == std::future_status::ready;
  }

 private:
  std::future<void> done_;  // its destructor joins the thread
};

}  // namespace velmor::test
