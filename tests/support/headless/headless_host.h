// The headless host: the window system with no screen, for tests.
//
// It behaves like a simple window manager on a screen of fixed size: top-level windows stack in
// the order they were shown, showing a window activates it, the keyboard goes to the active
// window and the mouse to the window under the pointer (or, while a button is held, to the
// window where it went down). A move started with WM_NCLBUTTONDOWN/HTCAPTION takes the pointer
// until the left button is released and moves the window with it, as a window manager would.
//
// Tests drive it from any thread: they move the mouse, press buttons and keys, ask to close or
// restore windows, and read back what the window system asked of the host and what it presented.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/ui/host_input.h"

namespace platform::host {

class HeadlessHost final : public Host {
 public:
  enum class RequestKind { Create, Destroy, Show, Hide, SetBounds, Iconify, Restore, SetTitle, SetIcon, BeginMove };
  struct Request {
    RequestKind kind;
    HWND hwnd;
    RECT rect;     // Create, SetBounds
    POINT point;   // BeginMove
    std::u16string text;  // Create, SetTitle
  };
  struct WindowState {
    RECT rect{};
    bool shown = false;
    bool iconic = false;
    std::u16string title;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::size_t presents = 0;
  };

  explicit HeadlessHost(SIZE screen = SIZE{1280, 800});
  ~HeadlessHost() override;
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // Host.
  void Create(HWND hwnd, const TopLevelInfo& info) override;
  void Destroy(HWND hwnd) override;
  void Show(HWND hwnd, bool show) override;
  void SetBounds(HWND hwnd, const RECT& rect) override;
  void Iconify(HWND hwnd) override;
  void Restore(HWND hwnd) override;
  void SetTitle(HWND hwnd, std::u16string_view title) override;
  void SetIcon(HWND hwnd, HICON big, HICON small) override;
  void Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface, std::span<const RECT> rects) override;
  void BeginMove(HWND hwnd, POINT screenPoint) override;
  SIZE ScreenSize() override;
  int EventFd() override { return -1; }
  bool HasPendingEvents() override { return false; }
  void DispatchEvents() override {}

  // --- Input, at screen coordinates or at a point of any window (children included). -------
  void MoveMouse(POINT screen);
  void MoveMouseTo(HWND hwnd, POINT client);
  void Press(ui::MouseButton button = ui::MouseButton::Left);
  void Release(ui::MouseButton button = ui::MouseButton::Left);
  void ClickAt(HWND hwnd, POINT client);  // move there, press and release the left button
  void KeyDown(UINT virtualKey);
  void KeyUp(UINT virtualKey);
  void TypeKey(UINT virtualKey);  // down and up
  // The user closes the window through the window manager, or restores it from the taskbar.
  void RequestClose(HWND hwnd);
  void UserRestore(HWND hwnd);

  // --- What the window system did. --------------------------------------------------------
  std::optional<WindowState> State(HWND hwnd) const;
  std::vector<Request> Requests() const;
  std::size_t CountRequests(RequestKind kind, HWND hwnd = nullptr) const;
  void ClearRequests();
  HWND ActiveWindow() const;
  POINT MousePosition() const;
  HCURSOR Cursor() const;  // the cursor last set (SetCursor)
  // The pixel the screen shows at a client point of `top`, from what was presented (0x00RRGGBB);
  // nothing outside the window or before the first Present there.
  std::optional<std::uint32_t> ScreenPixel(HWND top, POINT client) const;
  // Waits (real time) until a top-level window is shown that was not shown before the call or
  // the last call; returns it, or null on time-out.
  HWND WaitForShownWindow(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  struct Window {
    WindowState state;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> screen;
    bool everPresented = false;
  };

  HWND WindowAtLocked(POINT screen) const;
  POINT ToClientLocked(HWND top, POINT screen) const;
  void ActivateLocked(HWND hwnd);
  void RaiseLocked(HWND hwnd);
  void PointerMovedLocked();

  SIZE screen_;
  mutable std::mutex mutex_;
  std::condition_variable shownCv_;
  std::map<HWND, Window> windows_;
  std::vector<HWND> stack_;  // bottom to top
  std::vector<Request> requests_;
  std::vector<HWND> shownQueue_;
  HWND active_ = nullptr;
  HWND hover_ = nullptr;
  HWND grab_ = nullptr;
  unsigned buttons_ = 0;
  POINT mouse_{-1, -1};
  HCURSOR cursor_ = nullptr;
  // A window move in progress: the window, where the pointer was and where the window was.
  HWND moving_ = nullptr;
  POINT moveAnchor_{};
  RECT moveStart_{};
};

}  // namespace platform::host
