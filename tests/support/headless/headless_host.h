// The window system with no screen, for tests, as a simple window manager: showing a window
// activates it, keys go to the active window, the mouse to the window under the pointer (or, while
// the button is held, where it went down). Every test shows one window at a time: no stacking.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "platform/ui/host.h"
#include "platform/ui/host_input.h"

namespace platform::host {

class HeadlessHost : public Host {
 public:
  int Create(HWND hwnd, const TopLevelInfo& info) override;
  void Destroy(HWND hwnd) override;
  void Show(HWND hwnd, bool show) override;
  void SetBounds(HWND hwnd, const RECT& rect) override;
  // No test minimises a window on this screen (the end-to-end run does, on X11).
  void Iconify(HWND) override {}
  void SetTitle(HWND, std::u16string_view) override {}
  void SetIcon(HWND, HICON, HICON) override {}
  void Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface, std::span<const RECT> rects) override;
  void BeginMove(HWND, POINT) override {}
  void ShowCursor(HCURSOR cursor) override;
  SIZE ScreenSize() override { return kScreen; }
  int EventFd() override { return -1; }
  bool HasPendingEvents() override { return false; }
  void DispatchEvents() override {}

  // Input: the pointer to a client point of any window (children included), the left button.
  void MoveMouseTo(HWND hwnd, POINT client);
  void Press();
  void Release();
  void ClickAt(HWND hwnd, POINT client) {
    MoveMouseTo(hwnd, client);
    Press();
    Release();
  }
  void KeyDown(UINT virtualKey) { Key(virtualKey, true); }
  void KeyUp(UINT virtualKey) { Key(virtualKey, false); }
  void TypeKey(UINT virtualKey) {
    Key(virtualKey, true);
    Key(virtualKey, false);
  }
  // The user closes the window through the window manager.
  void RequestClose(HWND hwnd);
  // The scale of the windows made from now on, as a screen of high density gives it.
  void SetScale(int scale) {
    std::lock_guard g(mutex_);
    scale_ = scale;
  }

  // What the window system did.
  HCURSOR Cursor() const {  // the cursor last set (SetCursor)
    std::lock_guard g(mutex_);
    return cursor_;
  }
  // What the screen shows of top-level window `top` (0x00RRGGBB, rows top to bottom): the
  // rectangles presented since it took its present size; black where none was.
  std::vector<std::uint32_t> Screen(HWND top) const;
  // Waits (real time) until a top-level window is shown that was not shown before the call or
  // the last call; returns it, or null on time-out.
  HWND WaitForShownWindow(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  static constexpr SIZE kScreen{1280, 800};
  struct Window {
    RECT rect{};
    bool shown = false;
    int width = 0;
    std::vector<std::uint32_t> screen;
  };

  void Key(UINT virtualKey, bool down);
  HWND WindowAtLocked(POINT screen) const;
  POINT ToClientLocked(HWND top, POINT screen) const;
  void ActivateLocked(HWND hwnd);
  void CrossLocked(HWND under);

  mutable std::mutex mutex_;
  std::condition_variable shownCv_;
  std::map<HWND, Window> windows_;
  std::vector<HWND> shownQueue_;
  HWND active_ = nullptr;
  HWND hover_ = nullptr;
  HWND grab_ = nullptr;
  POINT mouse_{-1, -1};
  HCURSOR cursor_ = nullptr;
  int scale_ = 1;
};

}  // namespace platform::host
