// What a host reports to the window system: input and changes the window manager made.
//
// Each call queues the event for the thread that owns `top` (a top-level window) and wakes it;
// the event becomes window messages there, in the order the calls were made. Any thread may
// call. Events for a window that is gone are dropped.
//
// Points are in `top`'s client coordinates and may lie outside it.
#pragma once

#include "platform/base/types.h"
#include "platform/ui/ui.h"

namespace platform::ui {

enum class MouseButton { Left, Right, Middle };

// The pointer moved to `point` over `top`. While a button is held the host reports motion to
// the window where the button went down even outside it (as X11's implicit grab does); without
// a held button only motion inside the window is reported.
void HostPointerMove(HWND top, POINT point);
// A button went down or up at `point`.
void HostPointerButton(HWND top, POINT point, MouseButton button, bool down);
// The pointer left `top` (last seen at `point`). The window holding the mouse capture, if any,
// gets that point as a last mouse movement; every window that asked for a leave notification
// and does not hold the capture gets it.
void HostPointerLeave(HWND top, POINT point);

// A key went down or up while `top` had the keyboard focus. `virtualKey` is a VK_ code; letter
// keys are 'A'..'Z' whatever the shift state and digits '0'..'9'. Modifier keys (VK_SHIFT,
// VK_CONTROL, VK_MENU for Alt) are reported as keys of their own, before the keys they modify;
// Alt held turns key messages into WM_SYSKEYDOWN/WM_SYSKEYUP, and Alt+F4 closes the window.
// `repeat` marks an auto-repeated key down.
void HostKey(HWND top, UINT virtualKey, bool down, bool repeat = false);

// The window manager (or the user through it) asked to close the window: it becomes
// WM_SYSCOMMAND SC_CLOSE, which a dialog turns into WM_COMMAND IDCANCEL.
void HostCloseRequest(HWND top);
// The window became iconic (minimised) or was restored by someone else than the program.
void HostIconicChanged(HWND top, bool iconic);
// The window gained or lost the keyboard focus of the screen.
void HostActivated(HWND top, bool active);
// The window manager moved the window: its client area's top-left is now at `screenTopLeft`.
void HostMoved(HWND top, POINT screenTopLeft);

}  // namespace platform::ui
