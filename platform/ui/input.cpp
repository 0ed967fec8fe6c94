// Input: the host's events become mouse and key messages; capture, routing and leave tracking.
//
// Routing follows the usual rules: the window holding the capture gets every mouse message;
// otherwise the topmost visible, enabled child under the point does, descending through the
// tree. A disabled child and a static control without SS_NOTIFY are transparent: the point goes
// on to what lies beneath them, so a click on a plain label reaches the dialog.
#include <algorithm>
#include <array>

#include "platform/base/errors.h"
#include "platform/ui/internal.h"

namespace platform::ui::detail {
namespace {

std::array<bool, 256>& KeysDown() {
  static auto* keys = new std::array<bool, 256>{};
  return *keys;
}

bool Transparent(const Window& w) {
  if (!(w.style & WS_VISIBLE) || (w.style & WS_DISABLED)) return true;
  return w.cls->kind == ClassKind::Static && !(w.style & SS_NOTIFY);
}

// Each button's messages (down, up) and its MK_ bit.
struct ButtonCodes {
  UINT down, up, bit;
};

ButtonCodes CodesOf(MouseButton b) {
  switch (b) {
    case MouseButton::Left:
      return {WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON};
    case MouseButton::Right:
      return {WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON};
    case MouseButton::Middle:
      return {WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON};
  }
  return {WM_NULL, WM_NULL, 0};
}

WPARAM KeyFlagsLocked(const ThreadQueue& q) {
  WPARAM flags = q.mouseKeys;
  if (KeysDown()[VK_SHIFT]) flags |= MK_SHIFT;
  if (KeysDown()[VK_CONTROL]) flags |= MK_CONTROL;
  return flags;
}

bool LeavePending(const ThreadQueue& q, HWND hwnd) {
  return std::ranges::any_of(q.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd && m.message == WM_MOUSELEAVE; });
}

void MouseEvent(ThreadQueue& q, const InputEvent& ev) {
  HWND target = nullptr;
  bool captured = false;
  UINT message = WM_MOUSEMOVE;
  MSG msg{};
  {
    std::lock_guard g(Lock());
    auto top = FindLive(ev.top);
    if (!top || top->queue.get() != &q) return;
    if (ev.kind == InputKind::Leave) {
      if (q.pointerTop == ev.top) q.pointerTop = nullptr;
    } else {
      q.pointerTop = ev.top;
    }
    q.pointer = ev.point;
    if (ev.kind == InputKind::Button) {
      const ButtonCodes codes = CodesOf(ev.button);
      message = ev.flag ? codes.down : codes.up;
      q.mouseKeys = WithBits(q.mouseKeys, codes.bit, ev.flag);
      if (ev.button == MouseButton::Left) {
        if (!ev.flag && q.swallowLeftUp) {
          q.swallowLeftUp = false;
          EvaluateTrackingLocked(q);
          return;
        }
        if (ev.flag) q.swallowLeftUp = false;
      }
    }
    auto capture = FindLive(q.capture);
    if (capture) {
      target = capture->handle;
      captured = true;
    } else if (ev.kind != InputKind::Leave && VisibleLocked(*top) && EnabledLocked(*top)) {
      target = HitTestLocked(*top, ev.point);
    }
    if (target) {
      auto t = FindLive(target);
      const POINT screen{top->rect.left + ev.point.x, top->rect.top + ev.point.y};
      const POINT origin = ScreenOrigin(*t);
      msg = MSG{target, message, KeyFlagsLocked(q),
                MAKELPARAM(static_cast<WORD>(screen.x - origin.x), static_cast<WORD>(screen.y - origin.y)), 0, screen};
    }
  }
  if (target && !captured) {
    SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, static_cast<WORD>(message)));
  }
  std::lock_guard g(Lock());
  if (target && FindLive(target)) {
    msg.time = static_cast<DWORD>(kernel::CurrentClock()->Now().count());
    q.ready.push_back(msg);
  }
  EvaluateTrackingLocked(q);
}

void KeyEvent(ThreadQueue& q, const InputEvent& ev) {
  std::lock_guard g(Lock());
  auto top = FindLive(ev.top);
  if (!top || top->queue.get() != &q) return;
  // Codes 0x61..0x7A are the numeric pad and function keys, not lower-case letters: the host
  // gives letters as 'A'..'Z' whatever the shift state.
  const UINT vk = ev.key & 0xFF;
  const bool wasDown = KeysDown()[vk];
  KeysDown()[vk] = ev.flag;
  const bool alt = KeysDown()[VK_MENU] || (vk == VK_MENU);
  const bool sys = alt || vk == VK_F10;
  UINT message = ev.flag ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  LPARAM lParam = 1;
  if (alt && vk != VK_MENU) lParam |= LPARAM{1} << 29;
  if (wasDown || ev.repeat || !ev.flag) lParam |= LPARAM{1} << 30;
  if (!ev.flag) lParam |= LPARAM{1} << 31;
  HWND target = ev.top;
  if (auto focus = FindLive(q.focus); focus && TopOf(focus.get()) == top.get()) target = focus->handle;
  const DWORD now = static_cast<DWORD>(kernel::CurrentClock()->Now().count());
  q.ready.push_back(MSG{target, message, vk, lParam, now, POINT{}});
}

}  // namespace

HWND HitTestLocked(Window& top, POINT point) {
  Window* w = &top;
  POINT p = point;
  for (;;) {
    Window* hit = nullptr;
    for (auto& c : w->children) {
      if (Transparent(*c)) continue;
      if (p.x < c->rect.left || p.x >= c->rect.right || p.y < c->rect.top || p.y >= c->rect.bottom) continue;
      hit = c.get();
      break;
    }
    if (!hit) return w->handle;
    p.x -= hit->rect.left;
    p.y -= hit->rect.top;
    w = hit;
  }
}

void EvaluateTrackingLocked(ThreadQueue& q) {
  if (q.tracking.empty()) return;
  HWND under = nullptr;
  if (auto top = FindLive(q.pointerTop); top && VisibleLocked(*top) && EnabledLocked(*top)) {
    under = HitTestLocked(*top, q.pointer);
  }
  HWND capture = FindLive(q.capture) ? q.capture : nullptr;
  std::erase_if(q.tracking, [&](HWND h) {
    if (!FindLive(h)) return true;
    if (h == capture || h == under) return false;
    if (!LeavePending(q, h)) PostLocked(q, MSG{h, WM_MOUSELEAVE, 0, 0, 0, POINT{}});
    return true;
  });
}

void ForgetWindowInputLocked(ThreadQueue& q, const std::set<HWND>& gone) {
  if (gone.contains(q.capture)) q.capture = nullptr;
  if (gone.contains(q.focus)) q.focus = nullptr;
  if (gone.contains(q.active)) q.active = nullptr;
  if (gone.contains(q.pointerTop)) q.pointerTop = nullptr;
  for (HWND h : gone) q.tracking.erase(h);
  std::erase_if(q.input, [&gone](const InputEvent& e) { return gone.contains(e.top); });
}

void QueueInput(InputEvent event) {
  std::lock_guard g(Lock());
  auto w = FindLive(event.top);
  if (!w || !w->IsTop()) return;
  w->queue->input.push_back(event);
  w->queue->Wake();
}

void ConvertInput(ThreadQueue& q, const InputEvent& ev) {
  switch (ev.kind) {
    case InputKind::Move:
    case InputKind::Button:
    case InputKind::Leave:
      MouseEvent(q, ev);
      return;
    case InputKind::Key:
      KeyEvent(q, ev);
      return;
    case InputKind::Recheck: {
      InputEvent move{};
      {
        std::lock_guard g(Lock());
        auto top = FindLive(q.pointerTop);
        // An iconic window is not under the pointer, whatever the pointer was over last.
        if (!top || top->top->iconic) return;
        move.top = top->handle;
        move.point = q.pointer;
      }
      MouseEvent(q, move);
      return;
    }
    case InputKind::Close: {
      std::lock_guard g(Lock());
      if (FindLive(ev.top)) q.ready.push_back(MSG{ev.top, WM_SYSCOMMAND, SC_CLOSE, 0, 0, POINT{}});
      return;
    }
    case InputKind::Iconic: {
      {
        std::lock_guard g(Lock());
        auto w = FindLive(ev.top);
        if (!w || w->top->iconic == ev.flag) return;
        w->top->iconic = ev.flag;
        InvalidateLocked(*w, nullptr, true, true);
      }
      RECT rc;
      GetClientRect(ev.top, &rc);
      SendMessageW(ev.top, WM_SIZE, ev.flag ? SIZE_MINIMIZED : SIZE_RESTORED,
                   ev.flag ? 0 : MAKELPARAM(static_cast<WORD>(rc.right), static_cast<WORD>(rc.bottom)));
      return;
    }
    case InputKind::Activate: {
      BOOL iconic = FALSE;
      {
        std::lock_guard g(Lock());
        auto w = FindLive(ev.top);
        if (!w) return;
        if ((q.active == ev.top) == ev.flag) return;
        q.active = ev.flag ? ev.top : nullptr;
        iconic = w->top->iconic ? TRUE : FALSE;
      }
      SendMessageW(ev.top, WM_ACTIVATE, MAKEWPARAM(ev.flag ? WA_ACTIVE : WA_INACTIVE, static_cast<WORD>(iconic)), 0);
      return;
    }
    case InputKind::Moved: {
      {
        std::lock_guard g(Lock());
        auto w = FindLive(ev.top);
        if (!w) return;
        w->rect = Offset(w->rect, ev.point.x - w->rect.left, ev.point.y - w->rect.top);
      }
      SendMessageW(ev.top, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(ev.point.x), static_cast<WORD>(ev.point.y)));
      return;
    }
  }
}

void BeginWindowMove(HWND hwnd) {
  auto q = CurrentQueue();
  HWND root = nullptr;
  POINT screen{};
  bool hadCapture = false;
  {
    std::lock_guard g(Lock());
    auto w = FindLive(hwnd);
    if (!w || !IsOwnThread(*w)) return;
    Window* top = TopOf(w.get());
    root = top->handle;
    // From here the window manager has the pointer: the release ends its move, not a click.
    if (q->mouseKeys & MK_LBUTTON) q->swallowLeftUp = true;
    q->mouseKeys &= ~MK_LBUTTON;
    screen = POINT{top->rect.left + q->pointer.x, top->rect.top + q->pointer.y};
    if (q->pointerTop && q->pointerTop != root) {
      if (auto pt = FindLive(q->pointerTop)) screen = POINT{pt->rect.left + q->pointer.x, pt->rect.top + q->pointer.y};
    }
    hadCapture = FindLive(q->capture) != nullptr;
  }
  if (hadCapture) ReleaseCapture();
  if (auto host = QueueHost()) host->BeginMove(root, screen);
}

}  // namespace platform::ui::detail

using namespace platform::ui::detail;

namespace platform::ui {

void HostPointerMove(HWND top, POINT point) {
  QueueInput(InputEvent{InputKind::Move, top, point, MouseButton::Left, false, false, 0});
}

void HostPointerButton(HWND top, POINT point, MouseButton button, bool down) {
  QueueInput(InputEvent{InputKind::Button, top, point, button, down, false, 0});
}

void HostPointerLeave(HWND top, POINT point) {
  QueueInput(InputEvent{InputKind::Leave, top, point, MouseButton::Left, false, false, 0});
}

void HostKey(HWND top, UINT virtualKey, bool down, bool repeat) {
  QueueInput(InputEvent{InputKind::Key, top, POINT{}, MouseButton::Left, down, repeat, virtualKey});
}

void HostCloseRequest(HWND top) { QueueInput(InputEvent{InputKind::Close, top, POINT{}, MouseButton::Left, false, false, 0}); }

void HostIconicChanged(HWND top, bool iconic) {
  QueueInput(InputEvent{InputKind::Iconic, top, POINT{}, MouseButton::Left, iconic, false, 0});
}

void HostActivated(HWND top, bool active) {
  QueueInput(InputEvent{InputKind::Activate, top, POINT{}, MouseButton::Left, active, false, 0});
}

void HostMoved(HWND top, POINT screenTopLeft) {
  QueueInput(InputEvent{InputKind::Moved, top, screenTopLeft, MouseButton::Left, false, false, 0});
}

}  // namespace platform::ui

BOOL _TrackMouseEvent(TRACKMOUSEEVENT* track) {
  if (!track || (track->cbSize != sizeof(TRACKMOUSEEVENT) && track->cbSize != 16)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD kind = track->dwFlags & ~TME_CANCEL;
  if (kind != TME_LEAVE) return platform::FailWith(ERROR_INVALID_PARAMETER, FALSE);
  std::lock_guard g(Lock());
  auto w = FindLiveOrFail(track->hwndTrack, true);
  if (!w) return FALSE;
  ThreadQueue& q = *w->queue;
  if (track->dwFlags & TME_CANCEL) {
    q.tracking.erase(w->handle);
  } else {
    q.tracking.insert(w->handle);
    EvaluateTrackingLocked(q);
  }
  return TRUE;
}

SHORT GetKeyState(int virtualKey) {
  auto q = CurrentQueue();
  std::lock_guard g(Lock());
  const int vk = virtualKey & 0xFF;
  bool down = KeysDown()[vk];
  if (vk == VK_LBUTTON) down = (q->mouseKeys & MK_LBUTTON) != 0;
  if (vk == VK_RBUTTON) down = (q->mouseKeys & MK_RBUTTON) != 0;
  if (vk == VK_MBUTTON) down = (q->mouseKeys & MK_MBUTTON) != 0;
  return down ? static_cast<SHORT>(0x8000) : 0;
}
