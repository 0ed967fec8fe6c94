// Painting: update regions, the paint order, device contexts on framebuffers, presenting.
//
// A window's update region is kept as its bounding rectangle. A parent without
// WS_CLIPCHILDREN paints over its children, so invalidating a parent invalidates the children
// under the same area, as does its paint (its rectangle may have grown past what was
// invalidated), and the paint order is always parent first, then its children from the bottom
// of the z-order to the top.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/base/errors.h"
#include "platform/ui/internal.h"

namespace platform::ui::detail {
namespace {

constexpr std::size_t kMaxDirtyRects = 16;

// A minimised window shows only what it paints itself (its icon): its children are not drawn
// over it. Their pending updates wait; restoring invalidates the whole window anyway.
bool ShowsChildren(const Window& w) { return !(w.IsTop() && w.top->iconic); }

bool FindPaintIn(Window& w, HWND* found) {
  if (!(w.style & WS_VISIBLE)) return false;
  if (w.hasUpdate) {
    *found = w.handle;
    return true;
  }
  if (!ShowsChildren(w)) return false;
  for (auto it = w.children.rbegin(); it != w.children.rend(); ++it) {
    if (FindPaintIn(**it, found)) return true;
  }
  return false;
}

// A parent without WS_CLIPCHILDREN paints over its children: those under `r` (the parent's
// client coordinates) need a paint of their own after it.
void InvalidateChildrenUnderLocked(Window& w, const RECT& r, bool erase) {
  if (w.style & WS_CLIPCHILDREN) return;
  for (auto& c : w.children) {
    const RECT part = Intersect(r, c->rect);
    if (IsEmpty(part)) continue;
    const RECT local = Offset(part, -c->rect.left, -c->rect.top);
    InvalidateLocked(*c, &local, erase, true);
  }
}

}  // namespace

void InvalidateLocked(Window& w, const RECT* rect, bool erase, bool children) {
  if (w.destroyed || !VisibleLocked(w)) return;
  const RECT client{0, 0, w.Width(), w.Height()};
  const RECT r = rect ? Intersect(*rect, client) : client;
  if (IsEmpty(r)) return;
  w.update = w.hasUpdate ? Union(w.update, r) : r;
  w.hasUpdate = true;
  if (erase) w.erase = true;
  if (children) InvalidateChildrenUnderLocked(w, r, erase);
  w.queue->Wake();
}

void MarkDirtyLocked(Window& top, const RECT& area) {
  TopLevel& t = *top.top;
  const int n = t.surface->scale;
  const RECT r = Intersect(RECT{area.left * n, area.top * n, area.right * n, area.bottom * n}, RECT{0, 0, t.surface->width, t.surface->height});
  if (IsEmpty(r)) return;
  for (const RECT& d : t.dirty) {
    if (Intersect(d, r) == r) return;
  }
  t.dirty.push_back(r);
  if (t.dirty.size() > kMaxDirtyRects) {
    RECT all{};
    for (const RECT& d : t.dirty) all = Union(all, d);
    t.dirty.assign(1, all);
  }
}

void ResizeSurfaceLocked(Window& top, SIZE size) {
  TopLevel& t = *top.top;
  if (t.paintDepth > 0) {
    // A device context draws on the surface it was made for; swap it only once they are closed.
    t.pendingSize = size;
    return;
  }
  const int n = t.surface->scale;
  const int w = std::max<LONG>(size.cx, 1) * n;
  const int h = std::max<LONG>(size.cy, 1) * n;
  if (w == t.surface->width && h == t.surface->height) return;
  auto next = std::make_shared<gdi::Surface>(w, h, n);
  const int cw = std::min(w, t.surface->width);
  const int ch = std::min(h, t.surface->height);
  for (int y = 0; y < ch; ++y) {
    std::memcpy(&next->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(w)],
                &t.surface->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(t.surface->width)],
                static_cast<std::size_t>(cw) * sizeof(std::uint32_t));
  }
  t.surface = std::move(next);
  t.dirty.assign(1, RECT{0, 0, w, h});
}

void ApplyPendingResizeLocked(Window& top) {
  TopLevel& t = *top.top;
  if (t.paintDepth == 0 && t.pendingSize) {
    const SIZE s = *t.pendingSize;
    t.pendingSize.reset();
    ResizeSurfaceLocked(top, s);
  }
}

HWND FindPaintWindowLocked(ThreadQueue& q) {
  HWND found = nullptr;
  for (auto& t : q.tops) {
    if (FindPaintIn(*t, &found)) return found;
  }
  return nullptr;
}

void FlushPresents(ThreadQueue& q) {
  struct Job {
    HWND hwnd;
    std::shared_ptr<const gdi::Surface> surface;
    std::vector<RECT> rects;
  };
  std::vector<Job> jobs;
  {
    std::lock_guard g(Lock());
    for (auto& t : q.tops) {
      HWND pending = nullptr;
      if (t->top->dirty.empty() || t->top->paintDepth > 0 || FindPaintIn(*t, &pending)) continue;
      jobs.push_back(Job{t->handle, t->top->surface, std::move(t->top->dirty)});
      t->top->dirty.clear();
    }
  }
  auto host = QueueHost();
  if (!host) return;
  for (auto& j : jobs) host->Present(j.hwnd, j.surface, j.rects);
}

void FlushPresent(HWND hwnd) {
  std::shared_ptr<const gdi::Surface> surface;
  std::vector<RECT> rects;
  HWND top = nullptr;
  {
    std::lock_guard g(Lock());
    auto w = FindLive(hwnd);
    if (!w) return;
    Window* t = TopOf(w.get());
    if (t->top->dirty.empty() || t->top->paintDepth > 0) return;
    top = t->handle;
    surface = t->top->surface;
    rects = std::move(t->top->dirty);
    t->top->dirty.clear();
  }
  if (auto host = QueueHost()) host->Present(top, surface, rects);
}

void UpdateNow(HWND hwnd, bool children) {
  std::vector<HWND> order;
  {
    std::lock_guard g(Lock());
    auto w = FindLive(hwnd);
    if (!w) return;
    std::function<void(Window&)> visit = [&](Window& x) {
      if (!(x.style & WS_VISIBLE)) return;
      order.push_back(x.handle);
      if (!children || !ShowsChildren(x)) return;
      for (auto it = x.children.rbegin(); it != x.children.rend(); ++it) visit(**it);
    };
    if (VisibleLocked(*w)) visit(*w);
  }
  for (HWND h : order) {
    bool needs = false;
    {
      std::lock_guard g(Lock());
      auto w = FindLive(h);
      needs = w && w->hasUpdate && VisibleLocked(*w);
    }
    if (needs) CallProc(h, WM_PAINT, 0, 0);
  }
  FlushPresent(hwnd);
}

}  // namespace platform::ui::detail

using namespace platform::ui::detail;

namespace {

bool ChildrenByDefault(const Window& w) { return !(w.style & WS_CLIPCHILDREN); }

// Device contexts of GetDC, and the top-level window each draws on.
std::unordered_map<HDC, HWND>& WindowDcs() {
  static auto* m = new std::unordered_map<HDC, HWND>;
  return *m;
}

void StoreTop(PAINTSTRUCT* ps, HWND top) { std::memcpy(ps->rgbReserved, &top, sizeof top); }
HWND LoadTop(const PAINTSTRUCT* ps) {
  HWND top;
  std::memcpy(&top, ps->rgbReserved, sizeof top);
  return top;
}

void CloseDcLocked(HWND top) {
  auto t = FindLive(top);
  if (!t || !t->top) return;
  if (t->top->paintDepth > 0) --t->top->paintDepth;
  ApplyPendingResizeLocked(*t);
}

}  // namespace

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  std::lock_guard g(Lock());
  auto w = FindLiveOrFail(hwnd);
  if (!w) return FALSE;
  InvalidateLocked(*w, rect, erase != FALSE, ChildrenByDefault(*w));
  return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN /*region*/, UINT flags) {
  bool children = false;
  {
    std::lock_guard g(Lock());
    auto w = FindLiveOrFail(hwnd);
    if (!w) return FALSE;
    children = (flags & RDW_ALLCHILDREN) ? true : (flags & RDW_NOCHILDREN) ? false : ChildrenByDefault(*w);
    if (flags & RDW_INVALIDATE) InvalidateLocked(*w, rect, (flags & RDW_ERASE) != 0, children);
  }
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
    platform::ui::CallOnWindowThread(hwnd, [hwnd, children]() -> LRESULT {
      UpdateNow(hwnd, children);
      return TRUE;
    });
  }
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) return FALSE;
  platform::ui::CallOnWindowThread(hwnd, [hwnd]() -> LRESULT {
    UpdateNow(hwnd, true);
    return TRUE;
  });
  return TRUE;
}

// A DC over the window's part of its top-level framebuffer, clipped to `area(w)` (client
// coordinates, asked under the lock) and to what the window's ancestors let show, holding a paint
// of `*top` open. Null, with the error set, for a window that is gone or another thread's.
HDC OpenWindowDc(HWND hwnd, const std::function<RECT(Window&)>& area, HWND* top) {
  std::shared_ptr<platform::gdi::Surface> surface;
  POINT origin{};
  RECT clip{};
  {
    std::lock_guard g(Lock());
    auto w = FindLiveOrFail(hwnd, true);
    if (!w) return nullptr;
    Window* t = TopOf(w.get());
    const RECT drawn = area(*w);
    origin = ClientOriginInTop(*w);
    clip = VisibleLocked(*w) ? Intersect(VisibleRectInTop(*w), Offset(drawn, origin.x, origin.y)) : RECT{};
    surface = t->top->surface;
    ++t->top->paintDepth;
    MarkDirtyLocked(*t, clip);
    *top = t->handle;
  }
  HDC dc = platform::gdi::CreateSurfaceDC(surface, origin, clip);
  if (!dc) {
    std::lock_guard g(Lock());
    CloseDcLocked(*top);
  }
  return dc;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!ps) return nullptr;
  *ps = PAINTSTRUCT{};
  bool erase = false;
  HWND top = nullptr;
  HDC dc = OpenWindowDc(hwnd, [&](Window& w) {
    const RECT update = w.hasUpdate ? w.update : RECT{};
    erase = w.erase && w.hasUpdate;
    w.hasUpdate = false;
    w.erase = false;
    w.update = RECT{};
    // The update rectangle may have grown over children that no invalidation touched (two
    // small updates far apart); painting over them, the parent owes them a paint of their own.
    InvalidateChildrenUnderLocked(w, update, erase);
    ps->rcPaint = update;
    return update;
  }, &top);
  if (!dc) return nullptr;
  StoreTop(ps, top);
  ps->hdc = dc;
  ps->fErase = erase ? TRUE : FALSE;
  if (erase) ps->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  return dc;
}

BOOL EndPaint(HWND /*hwnd*/, const PAINTSTRUCT* ps) {
  if (!ps || !ps->hdc) return FALSE;
  DeleteDC(ps->hdc);
  std::lock_guard g(Lock());
  CloseDcLocked(LoadTop(ps));
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  HWND top = nullptr;
  HDC dc = OpenWindowDc(hwnd, [](Window& w) { return RECT{0, 0, w.Width(), w.Height()}; }, &top);
  if (!dc) return nullptr;
  std::lock_guard g(Lock());
  WindowDcs()[dc] = top;
  return dc;
}

int ReleaseDC(HWND /*hwnd*/, HDC hdc) {
  HWND top = nullptr;
  {
    std::lock_guard g(Lock());
    auto it = WindowDcs().find(hdc);
    if (it == WindowDcs().end()) return 0;
    top = it->second;
    WindowDcs().erase(it);
  }
  DeleteDC(hdc);
  std::lock_guard g(Lock());
  CloseDcLocked(top);
  return 1;
}
