// The X11 host: top-level windows on an X display, with the window manager's help where there is
// one.
//
// Each top-level window is one borderless X window of the window's size times its scale. Its
// pixels are a copy of the window system's framebuffer in the screen's pixel layout; presented
// rectangles are copied into it and put on the screen, and exposures are served from it without
// a repaint. The scale is GDK_SCALE's, else that of Xft.dpi, as read when the host opened (see
// x11_scale.h), or the largest below it at which the window fits its monitor's work area.
// Pointer, keys, focus, iconic state, moves and the window manager's close become the calls of
// platform/ui/host_input.h; so does a window that another client destroyed, as a close.
//
// A centred dialog (DS_CENTER) is shown with its first frame, centred at its size then on the
// work area of one monitor (the one with the pointer, else the primary one), with its top-left
// corner on that area where it does not fit. A lost connection to the display ends the process
// at once.
//
// This header is the only one the rest of the program sees; Xlib stays inside x11/.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/host.h"

namespace platform::host {

class X11Host final : public Host {
 public:
  // Connects to $DISPLAY. Null when that is impossible (no display, no TrueColor visual);
  // `error`, when given, then says why, so that main can end cleanly.
  static std::shared_ptr<X11Host> Open(std::string* error = nullptr);
  ~X11Host() override;
  X11Host(const X11Host&) = delete;
  X11Host& operator=(const X11Host&) = delete;

  int Create(HWND hwnd, const TopLevelInfo& info) override;
  void Destroy(HWND hwnd) override;
  void Show(HWND hwnd, bool show) override;
  void SetBounds(HWND hwnd, const RECT& rect) override;
  void Iconify(HWND hwnd) override;
  void SetTitle(HWND hwnd, std::u16string_view title) override;
  void SetIcon(HWND hwnd, HICON big, HICON small) override;
  void Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface, std::span<const RECT> rects) override;
  void BeginMove(HWND hwnd, POINT screenPoint) override;
  void ShowCursor(HCURSOR cursor) override;
  SIZE ScreenSize() override;
  int EventFd() override;
  bool HasPendingEvents() override;
  void DispatchEvents() override;

  struct Impl;

 private:
  explicit X11Host(std::shared_ptr<Impl> impl);
  std::shared_ptr<Impl> impl_;
};

}  // namespace platform::host
