#include "tests/support/headless/headless_host.h"

#include <algorithm>

namespace platform::host {

void HeadlessHost::ShowCursor(HCURSOR cursor) {
  std::lock_guard g(mutex_);
  cursor_ = cursor;
}

int HeadlessHost::Create(HWND hwnd, const TopLevelInfo& info) {
  std::lock_guard g(mutex_);
  windows_[hwnd].rect = info.rect;
  return scale_;
}

void HeadlessHost::Destroy(HWND hwnd) {
  std::lock_guard g(mutex_);
  windows_.erase(hwnd);
  for (HWND* h : {&active_, &hover_, &grab_}) {
    if (*h == hwnd) *h = nullptr;
  }
}

void HeadlessHost::Show(HWND hwnd, bool show) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  it->second.shown = show;
  if (!show) return;
  ActivateLocked(hwnd);
  shownQueue_.push_back(hwnd);
  shownCv_.notify_all();
}

void HeadlessHost::SetBounds(HWND hwnd, const RECT& rect) {
  std::lock_guard g(mutex_);
  if (auto it = windows_.find(hwnd); it != windows_.end()) it->second.rect = rect;
}

void HeadlessHost::Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface, std::span<const RECT> rects) {
  std::lock_guard g(mutex_);
  auto it = windows_.find(hwnd);
  if (it == windows_.end() || !surface) return;
  Window& w = it->second;
  if (w.width != surface->width || w.screen.size() != surface->pixels.size()) {
    // A resized window shows black until its new pixels are presented.
    w.width = surface->width;
    w.screen.assign(surface->pixels.size(), 0);
  }
  for (const RECT& r : rects) {
    for (LONG y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, surface->height); ++y) {
      for (LONG x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, surface->width); ++x) {
        w.screen[static_cast<std::size_t>(y * w.width + x)] = surface->At(x, y);
      }
    }
  }
}

HWND HeadlessHost::WindowAtLocked(POINT screen) const {
  for (const auto& [hwnd, w] : windows_) {
    if (w.shown && PtInRect(&w.rect, screen)) return hwnd;
  }
  return nullptr;
}

POINT HeadlessHost::ToClientLocked(HWND top, POINT screen) const {
  const RECT& r = windows_.at(top).rect;
  return POINT{screen.x - r.left, screen.y - r.top};
}

void HeadlessHost::ActivateLocked(HWND hwnd) {
  if (active_ == hwnd) return;
  if (active_) ui::HostActivated(active_, false);
  active_ = hwnd;
  if (hwnd) ui::HostActivated(hwnd, true);
}

// The pointer now counts as over `under`: the window it leaves and the one it enters hear so.
void HeadlessHost::CrossLocked(HWND under) {
  if (under == hover_) return;
  if (hover_ && windows_.contains(hover_)) ui::HostPointerLeave(hover_, ToClientLocked(hover_, mouse_));
  hover_ = under;
  if (hover_) ui::HostPointerMove(hover_, ToClientLocked(hover_, mouse_));
}

void HeadlessHost::MoveMouseTo(HWND hwnd, POINT client) {
  RECT r;
  GetWindowRect(hwnd, &r);  // a window is all client area
  std::lock_guard g(mutex_);
  mouse_ = POINT{r.left + client.x, r.top + client.y};
  if (grab_) return ui::HostPointerMove(grab_, ToClientLocked(grab_, mouse_));
  const HWND under = WindowAtLocked(mouse_);
  if (under != hover_) return CrossLocked(under);
  if (hover_) ui::HostPointerMove(hover_, ToClientLocked(hover_, mouse_));
}

void HeadlessHost::Press() {
  std::lock_guard g(mutex_);
  grab_ = hover_;
  if (grab_) ui::HostPointerButton(grab_, ToClientLocked(grab_, mouse_), ui::MouseButton::Left, true);
}

void HeadlessHost::Release() {
  std::lock_guard g(mutex_);
  const HWND target = grab_;
  if (!target) return;
  ui::HostPointerButton(target, ToClientLocked(target, mouse_), ui::MouseButton::Left, false);
  // The implicit grab ends: a pointer now over another window has left the grabbing one (the
  // grabbing window is still the hovered one, as moves under a grab do not cross).
  grab_ = nullptr;
  CrossLocked(WindowAtLocked(mouse_));
}

void HeadlessHost::Key(UINT virtualKey, bool down) {
  std::lock_guard g(mutex_);
  if (active_) ui::HostKey(active_, virtualKey, down);
}

void HeadlessHost::RequestClose(HWND hwnd) {
  std::lock_guard g(mutex_);
  if (windows_.contains(hwnd)) ui::HostCloseRequest(hwnd);
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
