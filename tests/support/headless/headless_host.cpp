#include "tests/support/headless/headless_host.h"

#include <algorithm>

namespace platform::host {
namespace {

unsigned Bit(ui::MouseButton b) {
  switch (b) {
    case ui::MouseButton::Left:
      return 1;
    case ui::MouseButton::Right:
      return 2;
    case ui::MouseButton::Middle:
      return 4;
  }
  return 0;
}

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

void HeadlessHost::Create(HWND hwnd, const TopLevelInfo& info) {
  std::lock_guard g(mutex_);
  Window& w = windows_[hwnd];
  w.state.rect = info.rect;
  w.state.title = std::u16string(info.title);
  requests_.push_back(Request{RequestKind::Create, hwnd, info.rect, POINT{}, w.state.title});
}

void HeadlessHost::Destroy(HWND hwnd) {
  std::lock_guard g(mutex_);
  requests_.push_back(Request{RequestKind::Destroy, hwnd, RECT{}, POINT{}, {}});
  windows_.erase(hwnd);
  std::erase(stack_, hwnd);
  if (active_ == hwnd) active_ = nullptr;
  if (hover_ == hwnd) hover_ = nullptr;
  if (grab_ == hwnd) grab_ = nullptr;
  if (moving_ == hwnd) moving_ = nullptr;
}

void HeadlessHost::Show(HWND hwnd, bool show) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  requests_.push_back(Request{show ? RequestKind::Show : RequestKind::Hide, hwnd, RECT{}, POINT{}, {}});
  it->second.state.shown = show;
  if (show) {
    RaiseLocked(hwnd);
    ActivateLocked(hwnd);
    shownQueue_.push_back(hwnd);
    shownCv_.notify_all();
  } else {
    std::erase(stack_, hwnd);
    if (active_ == hwnd) {
      ui::HostActivated(hwnd, false);
      active_ = nullptr;
      for (auto s = stack_.rbegin(); s != stack_.rend(); ++s) {
        if (windows_[*s].state.shown && !windows_[*s].state.iconic) {
          ActivateLocked(*s);
          break;
        }
      }
    }
  }
  PointerMovedLocked();
}

void HeadlessHost::SetBounds(HWND hwnd, const RECT& rect) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  requests_.push_back(Request{RequestKind::SetBounds, hwnd, rect, POINT{}, {}});
  it->second.state.rect = rect;
  PointerMovedLocked();
}

void HeadlessHost::Iconify(HWND hwnd) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  requests_.push_back(Request{RequestKind::Iconify, hwnd, RECT{}, POINT{}, {}});
  it->second.state.iconic = true;
  if (active_ == hwnd) {
    ui::HostActivated(hwnd, false);
    active_ = nullptr;
  }
  PointerMovedLocked();
}

void HeadlessHost::Restore(HWND hwnd) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  requests_.push_back(Request{RequestKind::Restore, hwnd, RECT{}, POINT{}, {}});
  it->second.state.iconic = false;
  RaiseLocked(hwnd);
  ActivateLocked(hwnd);
  PointerMovedLocked();
}

void HeadlessHost::SetTitle(HWND hwnd, std::u16string_view title) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  it->second.state.title = std::u16string(title);
  requests_.push_back(Request{RequestKind::SetTitle, hwnd, RECT{}, POINT{}, it->second.state.title});
}

void HeadlessHost::SetIcon(HWND hwnd, HICON big, HICON small) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  it->second.state.bigIcon = big;
  it->second.state.smallIcon = small;
  requests_.push_back(Request{RequestKind::SetIcon, hwnd, RECT{}, POINT{}, {}});
}

void HeadlessHost::Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface, std::span<const RECT> rects) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end() || !surface) return;
  Window& w = it->second;
  if (w.width != surface->width || w.height != surface->height) {
    // The window was resized: what the screen showed stays where it was, the rest is black.
    std::vector<std::uint32_t> next(static_cast<std::size_t>(surface->width) * static_cast<std::size_t>(surface->height));
    for (int y = 0; y < std::min(w.height, surface->height); ++y) {
      for (int x = 0; x < std::min(w.width, surface->width); ++x) {
        next[static_cast<std::size_t>(y * surface->width + x)] = w.screen[static_cast<std::size_t>(y * w.width + x)];
      }
    }
    w.screen = std::move(next);
    w.width = surface->width;
    w.height = surface->height;
  }
  for (const RECT& r : rects) {
    const LONG left = std::max<LONG>(r.left, 0), top = std::max<LONG>(r.top, 0);
    const LONG right = std::min<LONG>(r.right, w.width), bottom = std::min<LONG>(r.bottom, w.height);
    for (LONG y = top; y < bottom; ++y) {
      for (LONG x = left; x < right; ++x) w.screen[static_cast<std::size_t>(y * w.width + x)] = surface->At(x, y);
    }
  }
  w.everPresented = true;
  ++w.state.presents;
}

void HeadlessHost::BeginMove(HWND hwnd, POINT screenPoint) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  requests_.push_back(Request{RequestKind::BeginMove, hwnd, RECT{}, screenPoint, {}});
  if (buttons_ & Bit(ui::MouseButton::Left)) {
    moving_ = hwnd;
    moveAnchor_ = mouse_;
    moveStart_ = it->second.state.rect;
  }
}

SIZE HeadlessHost::ScreenSize() { return screen_; }

HWND HeadlessHost::WindowAtLocked(POINT screen) const {
  for (auto s = stack_.rbegin(); s != stack_.rend(); ++s) {
    auto it = windows_.find(*s);
    if (it == windows_.end() || !it->second.state.shown || it->second.state.iconic) continue;
    if (Inside(it->second.state.rect, screen)) return *s;
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

// The pointer is at mouse_ and the windows may have changed: report crossings, as a screen
// server does when windows appear, move or go away under a still pointer.
void HeadlessHost::PointerMovedLocked() {
  if (grab_ || moving_) return;
  const HWND under = WindowAtLocked(mouse_);
  if (under != hover_) {
    if (hover_ && windows_.contains(hover_)) ui::HostPointerLeave(hover_, ToClientLocked(hover_, mouse_));
    hover_ = under;
    if (hover_) ui::HostPointerMove(hover_, ToClientLocked(hover_, mouse_));
  }
}

void HeadlessHost::MoveMouse(POINT screen) {
  std::lock_guard g(mutex_);
  mouse_ = screen;
  if (moving_) {
    auto it = windows_.find(moving_);
    if (it != windows_.end()) {
      const LONG dx = screen.x - moveAnchor_.x, dy = screen.y - moveAnchor_.y;
      RECT r = moveStart_;
      r = RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
      it->second.state.rect = r;
      ui::HostMoved(moving_, POINT{r.left, r.top});
    }
    return;
  }
  if (grab_) {
    ui::HostPointerMove(grab_, ToClientLocked(grab_, screen));
    return;
  }
  const HWND under = WindowAtLocked(screen);
  if (under != hover_) {
    if (hover_ && windows_.contains(hover_)) ui::HostPointerLeave(hover_, ToClientLocked(hover_, screen));
    hover_ = under;
  }
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
  if (!grab_) grab_ = target;
  if (button == ui::MouseButton::Left) {
    RaiseLocked(target);
    ActivateLocked(target);
  }
  ui::HostPointerButton(target, ToClientLocked(target, mouse_), button, true);
}

void HeadlessHost::Release(ui::MouseButton button) {
  std::lock_guard g(mutex_);
  buttons_ &= ~Bit(button);
  if (moving_ && button == ui::MouseButton::Left) {
    // The window manager's move ends here; the program never sees this release.
    moving_ = nullptr;
    grab_ = nullptr;
    PointerMovedLocked();
    return;
  }
  const HWND target = grab_ ? grab_ : hover_;
  if (target) ui::HostPointerButton(target, ToClientLocked(target, mouse_), button, false);
  if (buttons_ == 0 && grab_) {
    grab_ = nullptr;
    const HWND under = WindowAtLocked(mouse_);
    if (under != hover_ || under != target) {
      if (target && windows_.contains(target) && under != target) ui::HostPointerLeave(target, ToClientLocked(target, mouse_));
      hover_ = under;
      if (hover_ && hover_ != target) ui::HostPointerMove(hover_, ToClientLocked(hover_, mouse_));
    }
  }
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
  auto it = windows_.find(hwnd);
  if (it == windows_.end() || !it->second.state.iconic) return;
  it->second.state.iconic = false;
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

std::vector<HeadlessHost::Request> HeadlessHost::Requests() const {
  std::lock_guard g(mutex_);
  return requests_;
}

std::size_t HeadlessHost::CountRequests(RequestKind kind, HWND hwnd) const {
  std::lock_guard g(mutex_);
  return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(), [&](const Request& r) {
    return r.kind == kind && (hwnd == nullptr || r.hwnd == hwnd);
  }));
}

void HeadlessHost::ClearRequests() {
  std::lock_guard g(mutex_);
  requests_.clear();
}

HWND HeadlessHost::ActiveWindow() const {
  std::lock_guard g(mutex_);
  return active_;
}

POINT HeadlessHost::MousePosition() const {
  std::lock_guard g(mutex_);
  return mouse_;
}

HCURSOR HeadlessHost::Cursor() const {
  std::lock_guard g(mutex_);
  return cursor_;
}

std::optional<std::uint32_t> HeadlessHost::ScreenPixel(HWND top, POINT client) const {
  std::lock_guard g(mutex_);
  auto it = windows_.find(top);
  if (it == windows_.end() || !it->second.everPresented) return std::nullopt;
  const Window& w = it->second;
  if (client.x < 0 || client.y < 0 || client.x >= w.width || client.y >= w.height) return std::nullopt;
  return w.screen[static_cast<std::size_t>(client.y * w.width + client.x)];
}

HWND HeadlessHost::WaitForShownWindow(std::chrono::milliseconds timeout) {
  std::unique_lock lk(mutex_);
  if (!shownCv_.wait_for(lk, timeout, [this] { return !shownQueue_.empty(); })) return nullptr;
  const HWND hwnd = shownQueue_.front();
  shownQueue_.erase(shownQueue_.begin());
  return hwnd;
}

}  // namespace platform::host
