// Fixtures that run real windows on the headless host: a driven clock, the host, window threads.
#pragma once

#include <condition_variable>
#include <mutex>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "tests/support/headless/headless_host.h"
#include "platform/kernel/clock.h"
#include "tests/support/manual_clock.h"
#include "platform/ui/ui.h"

namespace velmor::test {

// One screen for one test: installs a ManualClock as the platform clock and a HeadlessHost as
// the host, and removes both again when it goes.
class HeadlessDesktop {
 public:
  explicit HeadlessDesktop(SIZE screen = SIZE{1280, 800});
  ~HeadlessDesktop();
  HeadlessDesktop(const HeadlessDesktop&) = delete;
  HeadlessDesktop& operator=(const HeadlessDesktop&) = delete;

  velmor::test::ManualClock& Clock() { return *clock_; }
  platform::host::HeadlessHost& Host() { return *host_; }

  // Lets the thread that owns `hwnd` do everything it has to do (pumps the loop when that is the
  // calling thread). Fails the test when the thread does not come to rest.
  void Settle(HWND hwnd);
  // Moves the clock forward and settles `hwnd`'s thread.
  void Advance(std::chrono::milliseconds by, HWND hwnd);

  // The framebuffer pixel at a client point of `hwnd` (any window), as 0x00RRGGBB. Read it while
  // the window thread rests (after Settle), or on that thread.
  static std::uint32_t FramePixel(HWND hwnd, POINT client);
  // The same as a COLORREF, to compare with RGB().
  static COLORREF FrameColor(HWND hwnd, POINT client);
  // Whether the host's screen shows exactly the framebuffer of top-level window `top`.
  bool ScreenMatchesFramebuffer(HWND top) const;

 private:
  std::shared_ptr<velmor::test::ManualClock> clock_;
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
  explicit WindowThread(std::function<void()> body);
  ~WindowThread();
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  // Waits (real time) for the body to end.
  bool WaitFinished(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool finished_ = false;
  std::thread thread_;
};

// Runs a modal dialog (`doModal`, say [&] { return dlg.DoModal(); }) on a window thread of its
// own, and waits until its window is shown and at rest. When the object goes, a dialog still
// open is closed as the window manager would close it, and the thread is joined.
class ModalRun {
 public:
  ModalRun(HeadlessDesktop& desk, std::function<INT_PTR()> doModal);
  ~ModalRun();
  ModalRun(const ModalRun&) = delete;
  ModalRun& operator=(const ModalRun&) = delete;

  HWND hwnd() const { return hwnd_; }
  // What doModal returned; valid once Ended().
  INT_PTR result() const { return result_; }
  void Settle() { desk_.Settle(hwnd_); }
  // Closes the dialog through the window manager's close and waits for doModal to return.
  bool Close();
  // Waits (real time) for doModal to return by itself.
  bool WaitEnded(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Runs `call` on the dialog's thread and returns its result.
  LRESULT OnUi(const std::function<LRESULT()>& call) { return platform::ui::CallOnWindowThread(hwnd_, call); }

 private:
  HeadlessDesktop& desk_;
  HWND hwnd_ = nullptr;
  INT_PTR result_ = 0;
  std::unique_ptr<WindowThread> thread_;
};

}  // namespace velmor::test
