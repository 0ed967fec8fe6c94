#include "tests/support/headless/headless_host.h"

#include <algorithm>

namespace platform::host {
namespace {

unsigned Bit(ui::MouseButton b) { return b == ui::MouseButton::Left ? 1 : b == ui::MouseButton::Right ? 2 : 4; }

bool Inside(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

}  // namespace

HeadlessHost::HeadlessHost(SIZE screen) : screen_(screen) {
  gdi::SetScreenSize(screen.cx, screen.cy);
  gdi::SetCursorObserver([this](HCURSOR cursor) {
    std::lock_guard g(mutex_);
    cursor_ = cursor;
  });
}

HeadlessHost::~HeadlessHost() { gdi::SetCursorObserver(nullptr); }

HeadlessHost::Window* HeadlessHost::FindLocked(HWND hwnd) {
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : &it->second;
}

void HeadlessHost::Create(HWND hwnd, const TopLevelInfo& info) {
  std::lock_guard g(mutex_);
  windows_[hwnd].state = WindowState{info.rect, false, false};
}

void HeadlessHost::Destroy(HWND hwnd) {
  std::lock_guard g(mutex_);
  windows_.erase(hwnd);
  std::erase(stack_, hwnd);
  for (HWND* h : {&active_, &hover_, &grab_}) {
    if (*h == hwnd) *h = nullptr;
  }
}

void HeadlessHost::Show(HWND hwnd, bool show) {
  std::lock_guard g(mutex_);
  Window* w = FindLocked(hwnd);
  if (!w) return;
  w->state.shown = show;
  if (show) {
    RaiseLocked(hwnd);
    ActivateLocked(hwnd);
    shownQueue_.push_back(hwnd);
    shownCv_.notify_all();
  } else {
    std::erase(stack_, hwnd);
    if (active_ != hwnd) return PointerMovedLocked();
    HWND next = nullptr;  // the topmost window left that is not minimised
    for (HWND s : stack_) next = windows_.at(s).state.iconic ? next : s;
    ActivateLocked(next);
  }
  PointerMovedLocked();
}

void HeadlessHost::SetBounds(HWND hwnd, const RECT& rect) {
  std::lock_guard g(mutex_);
  if (Window* w = FindLocked(hwnd)) w->state.rect = rect;
  PointerMovedLocked();
}

void HeadlessHost::Iconify(HWND hwnd) {
  std::lock_guard g(mutex_);
  Window* w = FindLocked(hwnd);
  if (!w) return;
  w->state.iconic = true;
  if (active_ == hwnd) ActivateLocked(nullptr);
  PointerMovedLocked();
}

void HeadlessHost::Restore(HWND hwnd) {
  std::lock_guard g(mutex_);
  Window* w = FindLocked(hwnd);
  if (!w) return;
  w->state.iconic = false;
  RaiseLocked(hwnd);
  ActivateLocked(hwnd);
  PointerMovedLocked();
}

void HeadlessHost::Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface, std::span<const RECT> rects) {
  std::lock_guard g(mutex_);
  Window* w = FindLocked(hwnd);
  if (!w || !surface) return;
  if (w->width != surface->width || w->screen.size() != surface->pixels.size()) {
    // A resized window shows black until its new pixels are presented.
    w->width = surface->width;
    w->screen.assign(surface->pixels.size(), 0);
  }
  for (const RECT& r : rects) {
    for (LONG y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, surface->height); ++y) {
      for (LONG x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, surface->width); ++x) {
        w->screen[static_cast<std::size_t>(y * w->width + x)] = surface->At(x, y);
      }
    }
  }
}

HWND HeadlessHost::WindowAtLocked(POINT screen) const {
  for (auto s = stack_.rbegin(); s != stack_.rend(); ++s) {
    const WindowState& st = windows_.at(*s).state;
    if (st.shown && !st.iconic && Inside(st.rect, screen)) return *s;
  }
  return nullptr;
}

POINT HeadlessHost::ToClientLocked(HWND top, POINT screen) const {
  auto it = windows_.find(top);
  if (it == windows_.end()) return screen;
  return POINT{screen.x - it->second.state.rect.left, screen.y - it->second.state.rect.top};
}

void HeadlessHost::ActivateLocked(HWND hwnd) {
  if (active_ == hwnd) return;
  if (active_) ui::HostActivated(active_, false);
  active_ = hwnd;
  if (hwnd) ui::HostActivated(hwnd, true);
}

void HeadlessHost::RaiseLocked(HWND hwnd) {
  std::erase(stack_, hwnd);
  stack_.push_back(hwnd);
}

// The pointer now counts as over `under`: the window it leaves hears so, the new one hears of
// the pointer at once.
void HeadlessHost::CrossLocked(HWND under) {
  if (under == hover_) return;
  if (hover_ && windows_.contains(hover_)) ui::HostPointerLeave(hover_, ToClientLocked(hover_, mouse_));
  hover_ = under;
  if (hover_) ui::HostPointerMove(hover_, ToClientLocked(hover_, mouse_));
}

// Windows appeared, moved or went away under a still pointer: report the crossing, as a
// screen server does.
void HeadlessHost::PointerMovedLocked() {
  if (!grab_) CrossLocked(WindowAtLocked(mouse_));
}

void HeadlessHost::MoveMouse(POINT screen) {
  std::lock_guard g(mutex_);
  mouse_ = screen;
  if (grab_) return ui::HostPointerMove(grab_, ToClientLocked(grab_, screen));
  const HWND under = WindowAtLocked(screen);
  if (under != hover_) return CrossLocked(under);
  if (hover_) ui::HostPointerMove(hover_, ToClientLocked(hover_, screen));
}

void HeadlessHost::MoveMouseTo(HWND hwnd, POINT client) {
  RECT r;
  GetWindowRect(hwnd, &r);  // a window is all client area
  MoveMouse(POINT{r.left + client.x, r.top + client.y});
}

void HeadlessHost::Press(ui::MouseButton button) {
  std::lock_guard g(mutex_);
  const HWND target = grab_ ? grab_ : hover_;
  buttons_ |= Bit(button);
  if (!target) return;
  grab_ = target;
  if (button == ui::MouseButton::Left) {
    RaiseLocked(target);
    ActivateLocked(target);
  }
  ui::HostPointerButton(target, ToClientLocked(target, mouse_), button, true);
}

void HeadlessHost::Release(ui::MouseButton button) {
  std::lock_guard g(mutex_);
  buttons_ &= ~Bit(button);
  const HWND target = grab_ ? grab_ : hover_;
  if (target) ui::HostPointerButton(target, ToClientLocked(target, mouse_), button, false);
  if (buttons_ != 0 || !grab_) return;
  // The implicit grab ends: a pointer now over another window has left the grabbing one.
  grab_ = nullptr;
  const HWND under = WindowAtLocked(mouse_);
  if (under != target && target && windows_.contains(target)) {
    ui::HostPointerLeave(target, ToClientLocked(target, mouse_));
    hover_ = nullptr;
  }
  CrossLocked(under);
}

void HeadlessHost::ClickAt(HWND hwnd, POINT client) {
  MoveMouseTo(hwnd, client);
  Press(ui::MouseButton::Left);
  Release(ui::MouseButton::Left);
}

void HeadlessHost::KeyDown(UINT virtualKey) {
  std::lock_guard g(mutex_);
  if (active_) ui::HostKey(active_, virtualKey, true);
}

void HeadlessHost::KeyUp(UINT virtualKey) {
  std::lock_guard g(mutex_);
  if (active_) ui::HostKey(active_, virtualKey, false);
}

void HeadlessHost::TypeKey(UINT virtualKey) {
  KeyDown(virtualKey);
  KeyUp(virtualKey);
}

void HeadlessHost::RequestClose(HWND hwnd) {
  std::lock_guard g(mutex_);
  if (windows_.contains(hwnd)) ui::HostCloseRequest(hwnd);
}

void HeadlessHost::UserRestore(HWND hwnd) {
  std::lock_guard g(mutex_);
  Window* w = FindLocked(hwnd);
  if (!w || !w->state.iconic) return;
  w->state.iconic = false;
  ui::HostIconicChanged(hwnd, false);
  RaiseLocked(hwnd);
  ActivateLocked(hwnd);
  PointerMovedLocked();
}

std::optional<HeadlessHost::WindowState> HeadlessHost::State(HWND hwnd) const {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return std::nullopt;
  return it->second.state;
}

HCURSOR HeadlessHost::Cursor() const {
  std::lock_guard g(mutex_);
  return cursor_;
}

std::vector<std::uint32_t> HeadlessHost::Screen(HWND top) const {
  std::lock_guard g(mutex_);
  auto it = windows_.find(top);
  return it == windows_.end() ? std::vector<std::uint32_t>{} : it->second.screen;
}

HWND HeadlessHost::WaitForShownWindow(std::chrono::milliseconds timeout) {
  std::unique_lock lk(mutex_);
  if (!shownCv_.wait_for(lk, timeout, [this] { return !shownQueue_.empty(); })) return nullptr;
  const HWND hwnd = shownQueue_.front();
  shownQueue_.erase(shownQueue_.begin());
  return hwnd;
}

}  // namespace platform::host
