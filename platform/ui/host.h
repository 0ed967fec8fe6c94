// The host: the place where top-level windows are shown and where input comes from. The window
// system owns this interface; each host implements it.
//
// The window system (platform/ui) owns every window, its framebuffer and all the rules of
// messages, painting, capture and focus. A host only mirrors top-level windows onto a screen
// and turns the screen's input into the calls of platform/ui/host_input.h. Two hosts exist:
// headless/ (tests drive it) and x11/ (a real X display). A process installs one host at start,
// before it creates a window, and keeps it until its last window is gone.
//
// Threads. Every request below is made on the thread that owns the window it names (the thread
// that created it), except ScreenSize, which any thread may call. EventFd, HasPendingEvents and
// DispatchEvents are called by whichever thread runs a message loop; the input functions of
// host_input.h may be called from any thread (they queue the event for the window's thread), so
// DispatchEvents may call them directly.
//
// Coordinates. Screen coordinates have (0, 0) at the top-left of the screen. A top-level
// window's rectangle is its client area in screen coordinates; top-level windows have no
// non-client area of their own, and the hosts show them borderless.
//
// Scale. A screen of high density shows each window at an integer scale N (Create's answer): N
// of its pixels in each direction for one of the window's. Everything the window system and the
// program see stays in the window's own pixels (sizes, positions, screen coordinates, pointer
// points); only the framebuffer and the screen's copy of it are N times as large.
//
// Framebuffers. Each top-level window has one 32-bit framebuffer (0x00RRGGBB, rows top to
// bottom) of exactly its size times its scale. The window system draws into it and then calls
// Present with the rectangles that changed. A host keeps the last surface it was given and
// serves its own screen refreshes (X11 Expose) from it, without asking the window system to
// paint. A resize gives a new surface object at the next Present; the host must not keep
// pointers into old pixels.
//
// Cursor. Windows set the cursor with SetCursor while handling WM_SETCURSOR, which the window
// system sends before each mouse movement; each change reaches the host through ShowCursor.
//
// Activation and stacking belong to the window manager: the window system never asks the host
// to raise or focus a window. The host reports what happened with HostActivated.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "platform/base/types.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"

namespace platform::host {

struct TopLevelInfo {
  RECT rect{};          // client area in screen coordinates (never empty: at least 1 x 1)
  DWORD style = 0;      // WS_ and DS_ bits; DS_CENTER: a host may place the window on a monitor
  std::u16string_view title;
};

class Host {
 public:
  virtual ~Host() = default;

  // --- Top-level windows -----------------------------------------------------------------
  // A new top-level window, not shown yet. Returns its scale (1 or more), which it keeps.
  virtual int Create(HWND hwnd, const TopLevelInfo& info) = 0;
  // The window is gone; forget everything about it.
  virtual void Destroy(HWND hwnd) = 0;
  // Map (show) or unmap (hide) the window. A newly shown window is placed at info.rect as
  // last given (the window system centres DS_CENTER dialogs on the screen itself; the X11 host
  // moves them onto one monitor). When the window manager (or the headless host) activates the
  // window, report it with HostActivated.
  virtual void Show(HWND hwnd, bool show) = 0;
  // The window system moved or resized the window: rect is the new client area in screen
  // coordinates. Not called for moves the host itself reported through HostMoved.
  virtual void SetBounds(HWND hwnd, const RECT& rect) = 0;
  // Iconify (minimise) the window. The window system already counts the window as iconic; a
  // later change of the state by the user or the window manager is reported with
  // HostIconicChanged (X11: follow WM_STATE).
  virtual void Iconify(HWND hwnd) = 0;
  virtual void SetTitle(HWND hwnd, std::u16string_view title) = 0;
  // The window's icons (WM_SETICON). Either may be null. gdi::IconImage gives their pixels.
  virtual void SetIcon(HWND hwnd, HICON big, HICON small) = 0;
  // The rectangles of `surface` (in its own pixels, clipped to it) changed; copy them to the
  // screen. `surface` is the window's current framebuffer.
  virtual void Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface,
                       std::span<const RECT> rects) = 0;
  // The left button went down on a drag area (WM_NCLBUTTONDOWN with HTCAPTION): let the user
  // move the window with the mouse until the button is released (X11: _NET_WM_MOVERESIZE, or a
  // pointer grab of the host's own where no window manager offers it). Returns at once; the
  // new position is reported with HostMoved. `screenPoint` is where the pointer is.
  virtual void BeginMove(HWND hwnd, POINT screenPoint) = 0;

  // The cursor over the host's windows changed (SetCursor, on the thread that called it).
  // gdi::SystemCursorId tells which system cursor (IDC_ARROW, IDC_HAND, ...) it stands for.
  virtual void ShowCursor(HCURSOR cursor) = 0;

  // --- The screen ------------------------------------------------------------------------
  // Size of the screen in the pixels of windows at the screen's scale (GetSystemMetrics); any
  // thread.
  virtual SIZE ScreenSize() = 0;

  // --- Input -----------------------------------------------------------------------------
  // A file descriptor that becomes readable when input may be waiting, or -1 for none. The
  // message loop polls it together with its own wake-up descriptor and its next timer.
  virtual int EventFd() = 0;
  // True when events have already been read off the descriptor and wait in the host's own
  // queue (X11: XPending), so that polling the descriptor would not show them.
  virtual bool HasPendingEvents() = 0;
  // Reads every available event without blocking and hands each to the window system through
  // platform/ui/host_input.h.
  virtual void DispatchEvents() = 0;
};

// The host in force (null: none, windows are then shown nowhere and get no input).
void Install(std::shared_ptr<Host> host);
std::shared_ptr<Host> Current();

}  // namespace platform::host
