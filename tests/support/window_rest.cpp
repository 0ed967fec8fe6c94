#include "tests/support/window_rest.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace velmor::test {

bool WaitUntilIdle(HWND hwnd, std::chrono::milliseconds timeout) {
  // How often each loop has come to rest. Never destroyed: loops may still rest during exit.
  struct Rests {
    std::mutex mutex;
    std::condition_variable cv;
    std::map<std::thread::id, std::uint64_t> count;
  };
  static auto* const r = new Rests;
  [[maybe_unused]] static const bool hooked = (platform::ui::SetAboutToBlockHook([] {
    {
      std::lock_guard g(r->mutex);
      ++r->count[std::this_thread::get_id()];
    }
    r->cv.notify_all();
  }), true);
  // The loop serves a sent call before anything else; the first rest after it comes once
  // everything queued before this call, and all that it led to, is done.
  std::thread::id loop;
  std::uint64_t mark = 0;
  const LRESULT live = platform::ui::CallOnWindowThread(hwnd, [&]() -> LRESULT {
    std::lock_guard g(r->mutex);
    loop = std::this_thread::get_id();
    mark = r->count[loop];
    return 1;
  });
  if (live == 0) return false;
  if (loop == std::this_thread::get_id()) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return true;
  }
  // A thread that ends never rests again, so the window is looked at now and then.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lk(r->mutex);
  while (r->count[loop] == mark) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline || !IsWindow(hwnd)) return false;
    r->cv.wait_until(lk, std::min(deadline, now + std::chrono::milliseconds(50)));
  }
  return true;
}

}  // namespace velmor::test
