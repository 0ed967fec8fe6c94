// A window class for window-system tests: it records every message and lets a test answer any.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/ui/ui.h"

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

  void SetHandler(Handler handler) {
    std::lock_guard g(mutex_);
    handler_ = std::move(handler);
  }
  std::vector<Seen> All() const {
    std::lock_guard g(mutex_);
    return seen_;
  }
  std::vector<Seen> Of(UINT message) const {
    std::lock_guard g(mutex_);
    std::vector<Seen> out;
    for (const Seen& s : seen_) {
      if (s.message == message) out.push_back(s);
    }
    return out;
  }
  std::size_t Count(UINT message) const { return Of(message).size(); }
  void Clear() {
    std::lock_guard g(mutex_);
    seen_.clear();
  }

  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Handler handler;
    {
      std::lock_guard g(mutex_);
      seen_.push_back(Seen{hwnd, message, wParam, lParam, std::this_thread::get_id()});
      handler = handler_;
    }
    if (handler) {
      if (auto r = handler(hwnd, message, wParam, lParam)) return *r;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
  Handler handler_;
};

inline LRESULT RecorderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* r = reinterpret_cast<Recorder*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return r ? r->Handle(hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

inline LPCWSTR RecorderClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecorderProc;
    wc.lpszClassName = u"velmor-test-recorder";
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
  return u"velmor-test-recorder";
}

// A window of the recording class; a top-level one unless `parent` is given.
inline HWND MakeWindow(Recorder* recorder, RECT r, HWND parent = nullptr, DWORD style = WS_VISIBLE, int id = 0) {
  if (parent) style |= WS_CHILD;
  return CreateWindowExW(0, RecorderClass(), u"", parent ? style : (style | WS_POPUP), r.left, r.top, r.right - r.left,
                         r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), nullptr,
                         recorder);
}

}  // namespace velmor::test

#include <future>

namespace velmor::test {

// A thread that owns one hidden top-level window of the recording class and runs a message
// loop until the object goes (or the window is destroyed and the loop told to quit).
class LoopThread {
 public:
  explicit LoopThread(Recorder* recorder) {
    std::promise<HWND> made;
    auto ready = made.get_future();
    thread_ = std::thread([recorder, &made, this] {
      id_ = std::this_thread::get_id();
      control_ = MakeWindow(nullptr, RECT{0, 0, 1, 1}, nullptr, 0);
      HWND hwnd = MakeWindow(recorder, RECT{0, 0, 10, 10}, nullptr, 0);
      made.set_value(hwnd);
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
    });
    hwnd_ = ready.get();
  }
  ~LoopThread() {
    platform::ui::CallOnWindowThread(control_, [this]() -> LRESULT {
      if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
      DestroyWindow(control_);
      PostQuitMessage(0);
      return 0;
    });
    thread_.join();
  }
  HWND hwnd() const { return hwnd_; }
  std::thread::id id() const { return id_; }
 private:
  HWND hwnd_ = nullptr;
  HWND control_ = nullptr;
  std::thread::id id_;
  std::thread thread_;
};

}  // namespace velmor::test
