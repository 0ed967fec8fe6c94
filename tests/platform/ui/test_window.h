// A window class for window-system tests that records every message and lets a test answer any,
// and a thread that owns one such window and runs a message loop.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/ui/internal.h"
#include "tests/support/window_class.h"

namespace velmor::test {

struct Seen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
};

class Recorder {
 public:
  using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;
  explicit Recorder(Handler handler = nullptr) : handler_(std::move(handler)) {}

  std::vector<Seen> Of(UINT message) const {
    std::lock_guard g(mutex_);
    std::vector<Seen> out;
    std::ranges::copy_if(seen_, std::back_inserter(out), [message](const Seen& s) { return s.message == message; });
    return out;
  }
  std::size_t Count(UINT message) const { return Of(message).size(); }
  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
      std::lock_guard g(mutex_);
      seen_.push_back(Seen{hwnd, message, wParam, lParam, std::this_thread::get_id()});
    }
    if (handler_) {
      if (auto r = handler_(hwnd, message, wParam, lParam)) return *r;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

 private:
  Handler handler_;
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
};

// A window of the recording class (a child of `parent` if given) whose messages go to `recorder`.
inline HWND MakeWindow(Recorder* recorder, RECT r, HWND parent = nullptr, DWORD style = WS_VISIBLE) {
  [[maybe_unused]] static const bool registered =
      velmor::test::AddWindowClass(u"velmor-test-recorder", [](HWND hwnd, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        static std::mutex mutex;
        static std::map<HWND, Recorder*> recorders;  // each window's, from its creation on
        Recorder* rec = nullptr;
        {
          std::lock_guard g(mutex);
          if (m == WM_NCCREATE) recorders[hwnd] = static_cast<Recorder*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
          rec = recorders[hwnd];
        }
        return rec ? rec->Handle(hwnd, m, w, l) : DefWindowProcW(hwnd, m, w, l);
      });
  style |= parent ? WS_CHILD : WS_POPUP;
  return CreateWindowExW(0, u"velmor-test-recorder", u"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         parent, nullptr, nullptr, recorder);
}

// A thread that owns one hidden window of the recording class and runs its loop until the object goes.
class LoopThread {
 public:
  explicit LoopThread(Recorder* recorder) {
    std::promise<HWND> made;
    thread_ = std::jthread([&] {
      control_ = MakeWindow(nullptr, RECT{0, 0, 1, 1}, nullptr, 0);
      made.set_value(MakeWindow(recorder, RECT{0, 0, 10, 10}, nullptr, 0));
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
    });
    hwnd_ = made.get_future().get();
  }
  ~LoopThread() {
    platform::ui::CallOnWindowThread(control_, [this]() -> LRESULT {
      if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
      DestroyWindow(control_);
      PostQuitMessage(0);
      return 0;
    });
  }
  HWND hwnd() const { return hwnd_; }
  std::thread::id id() const { return thread_.get_id(); }

 private:
  HWND hwnd_ = nullptr;
  HWND control_ = nullptr;
  std::jthread thread_;
};

}  // namespace velmor::test
