// Windows: the table, the tree, creation and destruction, fields, text and geometry.
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "platform/base/errors.h"
#include "platform/ui/internal.h"

namespace platform::ui::detail {
namespace {

ClassMap SystemClasses() {
  const WindowClass system[] = {{u"button", ClassKind::Button, ButtonProc},
                                {u"static", ClassKind::Static, StaticProc},
                                {u"#32770", ClassKind::Dialog, DefDlgProcW}};
  ClassMap classes;
  for (const WindowClass& c : system) classes.emplace(c.name, std::make_shared<const WindowClass>(c));
  return classes;
}

struct Registry {
  std::unordered_map<HWND, std::shared_ptr<Window>> windows;
  std::uintptr_t nextHandle = 0x10000;
  ClassMap classes = SystemClasses();
};

// Leaked on purpose: windows of other threads may still be torn down during static destruction.
Registry& Reg() {
  static auto* r = new Registry;
  return *r;
}

// Every thread's queue, for clock wake-ups.
struct Queues {
  std::mutex mutex;
  std::vector<std::weak_ptr<ThreadQueue>> all;
};
Queues& AllQueues() {
  static auto* queues = new Queues;
  return *queues;
}

std::u16string Lower(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

// Ends every window of a thread that ends without destroying them. No procedure runs: the
// objects behind them may already be gone.
void ThreadExit(const std::shared_ptr<ThreadQueue>& q) {
  std::vector<HWND> tops;
  {
    std::lock_guard g(Lock());
    q->alive = false;
    std::set<HWND> gone;
    std::function<void(Window&)> mark = [&](Window& w) {
      w.destroyed = true;
      gone.insert(w.handle);
      for (auto& c : w.children) mark(*c);
    };
    for (auto& t : q->tops) {
      mark(*t);
      tops.push_back(t->handle);
    }
    for (HWND h : gone) Reg().windows.erase(h);
    q->tops.clear();
    ReleaseSendersLocked(*q, gone);
    for (auto& rec : q->incoming) {
      rec->done = true;
      rec->sender->cv.notify_all();
    }
    q->incoming.clear();
  }
  if (auto host = std::move(q->host)) {
    for (HWND h : tops) host->Destroy(h);
  }
}

struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (queue) ThreadExit(queue);
  }
};
thread_local QueueHolder t_queue;

}  // namespace

std::mutex& Lock() {
  static auto* m = new std::mutex;
  return *m;
}

void ThreadQueue::Wake() {
  if (wakeFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
  }
  cv.notify_all();
}

ThreadQueue::~ThreadQueue() {
  if (wakeFd >= 0) ::close(wakeFd);
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!t_queue.queue) {
    auto q = std::make_shared<ThreadQueue>();
    q->thread = std::this_thread::get_id();
    q->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::lock_guard g(AllQueues().mutex);
    auto& all = AllQueues().all;
    std::erase_if(all, [](const std::weak_ptr<ThreadQueue>& w) { return w.expired(); });
    all.push_back(q);
    t_queue.queue = std::move(q);
  }
  return t_queue.queue;
}

std::shared_ptr<host::Host> QueueHost() {
  const auto& q = t_queue.queue;
  return q && q->host ? q->host : host::Current();
}

void ForEachQueue(const std::function<void(ThreadQueue&)>& fn) {
  std::vector<std::shared_ptr<ThreadQueue>> all;
  {
    std::lock_guard g(AllQueues().mutex);
    for (auto& w : AllQueues().all) {
      if (auto q = w.lock()) all.push_back(std::move(q));
    }
  }
  for (auto& q : all) fn(*q);
}

std::shared_ptr<Window> Find(HWND hwnd) {
  auto& windows = Reg().windows;
  auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> FindLive(HWND hwnd) {
  auto w = Find(hwnd);
  return (w && !w->destroyed) ? w : nullptr;
}

std::shared_ptr<Window> FindLiveOrFail(HWND hwnd, bool ownThread) {
  auto w = FindLive(hwnd);
  if (w && (!ownThread || IsOwnThread(*w))) return w;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return nullptr;
}

Window* TopOf(Window* w) {
  while (w && w->parent) w = w->parent;
  return w;
}

bool IsOwnThread(const Window& w) { return w.queue->thread == std::this_thread::get_id(); }

bool VisibleLocked(const Window& w) {
  for (const Window* p = &w; p; p = p->parent) {
    if (!(p->style & WS_VISIBLE)) return false;
  }
  return true;
}

bool EnabledLocked(const Window& w) { return !(w.style & WS_DISABLED); }

POINT ClientOriginInTop(const Window& w) {
  POINT o{0, 0};
  for (const Window* p = &w; p && p->parent; p = p->parent) {
    o.x += p->rect.left;
    o.y += p->rect.top;
  }
  return o;
}

POINT ScreenOrigin(const Window& w) {
  const POINT o = ClientOriginInTop(w);
  const Window* top = TopOf(const_cast<Window*>(&w));
  return POINT{o.x + top->rect.left, o.y + top->rect.top};
}

RECT VisibleRectInTop(const Window& w) {
  const POINT o = ClientOriginInTop(w);
  RECT r{o.x, o.y, o.x + w.Width(), o.y + w.Height()};
  for (const Window* p = w.parent; p; p = p->parent) {
    const POINT po = ClientOriginInTop(*p);
    r = Intersect(r, RECT{po.x, po.y, po.x + p->Width(), po.y + p->Height()});
  }
  return r;
}

bool IsAncestor(const Window& ancestor, const Window& w) {
  for (const Window* p = w.parent; p; p = p->parent) {
    if (p == &ancestor) return true;
  }
  return false;
}

ClassMap& ClassesLocked() { return Reg().classes; }

std::shared_ptr<const WindowClass> FindClass(std::u16string_view name) {
  auto it = Reg().classes.find(Lower(name));
  return it == Reg().classes.end() ? nullptr : it->second;
}

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Window> keep;
  WNDPROC proc = nullptr;
  {
    std::lock_guard g(Lock());
    keep = Find(hwnd);
    if (!keep || keep->destroyed) return 0;
    proc = keep->proc;
  }
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

}  // namespace platform::ui::detail

using namespace platform::ui::detail;

namespace {

// What `read` makes of the live window `hwnd` (under Lock()), or `gone` for a window that is not.
template <class T, class Read>
T ReadLive(HWND hwnd, T gone, Read read) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  return w ? read(*w) : gone;
}

std::shared_ptr<Window> Live(HWND hwnd) {
  std::lock_guard g(Lock());
  return FindLive(hwnd);
}

// Runs a state change on the window's own thread; the result of `body` is the call's result.
LRESULT OnOwner(HWND hwnd, const std::function<LRESULT()>& body) {
  return platform::ui::CallOnWindowThread(hwnd, body);
}

void DestroyTree(const std::shared_ptr<Window>& w, std::set<HWND>& gone) {
  CallProc(w->handle, WM_DESTROY, 0, 0);
  std::vector<std::shared_ptr<Window>> children;
  {
    std::lock_guard g(Lock());
    children = w->children;
    for (auto& c : children) c->destroying = true;
  }
  for (auto& c : children) DestroyTree(c, gone);
  CallProc(w->handle, WM_NCDESTROY, 0, 0);
  std::lock_guard g(Lock());
  w->destroyed = true;
  w->timers.clear();
  w->hasUpdate = false;
  gone.insert(w->handle);
  if (w->parent) {
    std::erase(w->parent->children, w);
  } else {
    std::erase(w->queue->tops, w);
  }
  w->children.clear();
  Reg().windows.erase(w->handle);
}

bool IsTopLevelStyle(DWORD style) { return (style & WS_CHILD) == 0; }

}  // namespace

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (!className || IS_INTRESOURCE(className)) return platform::FailWith(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
  auto q = CurrentQueue();
  auto w = std::make_shared<Window>();
  const bool top = IsTopLevelStyle(style);
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = height = 0;
  width = std::max(width, 0);
  height = std::max(height, 0);
  {
    std::lock_guard g(Lock());
    auto cls = FindClass(className);
    if (!cls) return platform::FailWith(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
    std::shared_ptr<Window> p;
    if (!top) {
      p = FindLiveOrFail(parent, true);
      if (!p) return nullptr;
    }
    Registry& r = Reg();
    w->handle = reinterpret_cast<HWND>(r.nextHandle);
    r.nextHandle += 4;
    w->queue = q;
    w->cls = cls;
    w->proc = cls->proc;
    // A top-level window is shown only once it is made; a child may be visible at once.
    w->style = top ? (style & ~WS_VISIBLE) : style;
    w->rect = RECT{x, y, x + width, y + height};
    w->id = top ? 0 : static_cast<LONG_PTR>(reinterpret_cast<std::uintptr_t>(menu));
    if (cls->kind == ClassKind::Dialog) w->dialog = std::make_unique<Dialog>();
    if (top) {
      w->top = std::make_unique<TopLevel>();
      w->top->surface = std::make_shared<platform::gdi::Surface>(std::max(width, 1), std::max(height, 1));
      q->tops.push_back(w);
    } else {
      w->parent = p.get();
      p->children.push_back(w);  // new children go to the bottom: template order is z-order
    }
    r.windows.emplace(w->handle, w);
  }
  const HWND hwnd = w->handle;
  if (top) {
    if (!q->host) q->host = QueueHost();
    if (const auto& host = q->host) {
      platform::host::TopLevelInfo info;
      info.rect = RECT{x, y, x + std::max(width, 1), y + std::max(height, 1)};
      info.style = style;
      info.title = windowName ? std::u16string_view(windowName) : std::u16string_view();
      if (const int scale = host->Create(hwnd, info); scale > 1) {
        // Nothing has drawn on the window yet: its framebuffer starts afresh at the host's scale.
        std::lock_guard g(Lock());
        w->top->surface = std::make_shared<platform::gdi::Surface>(std::max(width, 1) * scale, std::max(height, 1) * scale, scale);
      }
    }
  }
  std::function<void(HWND)> hook;
  {
    std::lock_guard g(Lock());
    hook = std::move(q->createHook);
    q->createHook = nullptr;
  }
  if (hook) hook(hwnd);

  CREATESTRUCTW cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style), windowName, className, exStyle};
  if (!CallProc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
      CallProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  if (top) {
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  } else {
    std::lock_guard g(Lock());
    if (auto live = FindLive(hwnd)) InvalidateLocked(*live, nullptr, true, true);
  }
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  std::shared_ptr<Window> w;
  bool wasVisibleChild = false, lastTop = false;
  RECT oldArea{};
  {
    std::lock_guard g(Lock());
    w = FindLiveOrFail(hwnd);
    if (!w) return FALSE;
    if (!IsOwnThread(*w)) return platform::FailWith(ERROR_ACCESS_DENIED, FALSE);
    if (w->destroying) return TRUE;
    w->destroying = true;
    wasVisibleChild = w->parent && VisibleLocked(*w);
    oldArea = w->rect;
  }
  if (w->IsTop()) ShowWindow(hwnd, SW_HIDE);
  std::set<HWND> gone;
  Window* parent = w->parent;
  std::shared_ptr<Window> parentKeep;
  if (parent) {
    std::lock_guard g(Lock());
    parentKeep = FindLive(parent->handle);
  }
  DestroyTree(w, gone);
  HFONT dialogFont = nullptr;
  {
    std::lock_guard g(Lock());
    ThreadQueue& q = *w->queue;
    ReleaseSendersLocked(q, gone);
    ForgetWindowInputLocked(q, gone);
    std::erase_if(q.posted, [&gone](const MSG& m) { return gone.contains(m.hwnd); });
    std::erase_if(q.ready, [&gone](const MSG& m) { return gone.contains(m.hwnd); });
    if (w->dialog) {
      dialogFont = w->dialog->font;
      w->dialog->font = nullptr;
    }
    if (wasVisibleChild && parentKeep && !parentKeep->destroyed) InvalidateLocked(*parentKeep, &oldArea, true, true);
    EvaluateTrackingLocked(q);
    lastTop = w->IsTop() && q.tops.empty();
  }
  if (dialogFont) DeleteObject(dialogFont);
  if (w->IsTop()) {
    auto host = lastTop ? std::move(w->queue->host) : w->queue->host;
    if (host) host->Destroy(hwnd);
  }
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  std::lock_guard g(Lock());
  return FindLive(hwnd) ? TRUE : FALSE;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  std::lock_guard g(Lock());
  auto p = FindLive(parent);
  auto w = FindLive(hwnd);
  return (p && w && IsAncestor(*p, *w)) ? TRUE : FALSE;
}

HWND GetParent(HWND hwnd) {
  return ReadLive<HWND>(hwnd, nullptr, [](Window& w) { return w.parent ? w.parent->handle : nullptr; });
}

HWND GetAncestorRoot(HWND hwnd) { return ReadLive<HWND>(hwnd, nullptr, [](Window& w) { return TopOf(&w)->handle; }); }

HWND GetDlgItem(HWND dialog, int id) {
  std::lock_guard g(Lock());
  auto w = FindLive(dialog);
  if (!w) return nullptr;
  for (auto& c : w->children) {
    if (c->id == id && !c->destroyed) return c->handle;
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  if (!w || index != GWLP_WNDPROC) return platform::FailWith(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE, 0);
  return reinterpret_cast<LONG_PTR>(w->proc);
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  if (!w || index != GWLP_WNDPROC) return platform::FailWith(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE, 0);
  return reinterpret_cast<LONG_PTR>(std::exchange(w->proc, reinterpret_cast<WNDPROC>(value)));
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
  if (!IsWindow(hwnd)) return platform::FailWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount) {
  if (!buffer || maxCount <= 0) return 0;
  buffer[0] = 0;
  auto w = Live(hwnd);
  if (!w) return platform::FailWith(ERROR_INVALID_WINDOW_HANDLE, 0);
  if (IsOwnThread(*w)) {
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
  }
  // Like the real platform, another thread's window answers from its stored text, unasked.
  std::lock_guard g(Lock());
  const std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(maxCount - 1));
  std::copy_n(w->text.data(), n, buffer);
  buffer[n] = 0;
  return static_cast<int>(n);
}

int GetWindowTextLengthW(HWND hwnd) {
  auto w = Live(hwnd);
  if (!w) return 0;
  if (IsOwnThread(*w)) return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
  std::lock_guard g(Lock());
  return static_cast<int>(w->text.size());
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  std::lock_guard g(Lock());
  auto w = FindLiveOrFail(hwnd);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->Width(), w->Height()};
  return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous = nullptr;
  if (!platform::gdi::SwapCursor(cursor, &previous)) return nullptr;
  if (previous != cursor) {
    if (auto host = QueueHost()) host->ShowCursor(cursor);
  }
  return previous;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      const auto host = QueueHost();
      const SIZE screen = host ? host->ScreenSize() : SIZE{1024, 768};
      return index == SM_CXSCREEN ? screen.cx : screen.cy;
    }
    case SM_CXICON:
    case SM_CYICON:
      return platform::gdi::kIconSize;
    default:
      return 0;
  }
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  std::lock_guard g(Lock());
  auto w = FindLiveOrFail(hwnd);
  if (!w || !rect) return FALSE;
  const POINT o = ScreenOrigin(*w);
  *rect = RECT{o.x, o.y, o.x + w->Width(), o.y + w->Height()};
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  if (!w || !point) return FALSE;
  const POINT o = ScreenOrigin(*w);
  point->x -= o.x;
  point->y -= o.y;
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND /*insertAfter*/, int x, int y, int cx, int cy, UINT flags) {
  return static_cast<BOOL>(OnOwner(hwnd, [=]() -> LRESULT {
    bool moved = false, sized = false;
    RECT newRect{};
    bool top = false;
    {
      std::lock_guard g(Lock());
      auto w = FindLive(hwnd);
      if (!w) return FALSE;
      top = w->IsTop();
      const RECT old = w->rect;
      newRect = old;
      if (!(flags & SWP_NOMOVE)) newRect = Offset(newRect, x - old.left, y - old.top);
      if (!(flags & SWP_NOSIZE)) {
        newRect.right = newRect.left + std::max(cx, 0);
        newRect.bottom = newRect.top + std::max(cy, 0);
      }
      moved = newRect.left != old.left || newRect.top != old.top;
      sized = (newRect.right - newRect.left) != w->Width() || (newRect.bottom - newRect.top) != w->Height();
      if (moved || sized) {
        const bool redraw = !(flags & SWP_NOREDRAW) && VisibleLocked(*w);
        if (w->parent && redraw) InvalidateLocked(*w->parent, &old, true, true);
        w->rect = newRect;
        if (top) {
          if (sized) {
            // Only what the new size uncovers needs painting: the framebuffer keeps the rest.
            const LONG ow = old.right - old.left, oh = old.bottom - old.top;
            ResizeSurfaceLocked(*w, SIZE{newRect.right - newRect.left, newRect.bottom - newRect.top});
            if (redraw) {
              const RECT right{ow, 0, w->Width(), w->Height()};
              const RECT bottom{0, oh, w->Width(), w->Height()};
              if (!IsEmpty(right)) InvalidateLocked(*w, &right, true, true);
              if (!IsEmpty(bottom)) InvalidateLocked(*w, &bottom, true, true);
            }
          }
        } else if (redraw) {
          InvalidateLocked(*w, nullptr, true, true);
        }
      }
      EvaluateTrackingLocked(*w->queue);
    }
    if (top && (moved || sized)) {
      if (auto host = QueueHost()) {
        RECT hostRect = newRect;
        hostRect.right = std::max(hostRect.right, hostRect.left + 1);
        hostRect.bottom = std::max(hostRect.bottom, hostRect.top + 1);
        host->SetBounds(hwnd, hostRect);
      }
    }
    if (moved) CallProc(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(newRect.left), static_cast<WORD>(newRect.top)));
    if (sized) {
      CallProc(hwnd, WM_SIZE, SIZE_RESTORED,
               MAKELPARAM(static_cast<WORD>(newRect.right - newRect.left), static_cast<WORD>(newRect.bottom - newRect.top)));
    }
    if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOWNA);
    if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
    return TRUE;
  }));
}

BOOL ShowWindow(HWND hwnd, int command) {
  return static_cast<BOOL>(OnOwner(hwnd, [=]() -> LRESULT {
    bool wasVisible = false, nowVisible = false, top = false;
    bool iconify = false;
    {
      std::lock_guard g(Lock());
      auto w = FindLive(hwnd);
      if (!w) return FALSE;
      top = w->IsTop();
      wasVisible = (w->style & WS_VISIBLE) != 0;
      const bool minimize = command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE;
      nowVisible = command != SW_HIDE;
      if (top && minimize && !w->top->iconic) {
        w->top->iconic = true;
        iconify = true;
      }
      if (wasVisible && !nowVisible && w->parent && VisibleLocked(*w->parent)) {
        InvalidateLocked(*w->parent, &w->rect, true, true);
      }
      w->style = WithBits(w->style, WS_VISIBLE, nowVisible);
      if (nowVisible && (!wasVisible || iconify)) InvalidateLocked(*w, nullptr, true, true);
      EvaluateTrackingLocked(*w->queue);
    }
    if (wasVisible != nowVisible) CallProc(hwnd, WM_SHOWWINDOW, nowVisible ? TRUE : FALSE, 0);
    if (top) {
      if (auto host = QueueHost()) {
        if (wasVisible != nowVisible) host->Show(hwnd, nowVisible);
        if (iconify) host->Iconify(hwnd);
      }
    }
    if (iconify) CallProc(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    return wasVisible ? TRUE : FALSE;
  }));
}

BOOL IsWindowVisible(HWND hwnd) {
  return ReadLive<BOOL>(hwnd, FALSE, [](Window& w) { return VisibleLocked(w) ? TRUE : FALSE; });
}

BOOL IsIconic(HWND hwnd) {
  return ReadLive<BOOL>(hwnd, FALSE, [](Window& w) { return w.top && w.top->iconic ? TRUE : FALSE; });
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  return static_cast<BOOL>(OnOwner(hwnd, [=]() -> LRESULT {
    bool wasDisabled = false;
    {
      std::lock_guard g(Lock());
      auto w = FindLive(hwnd);
      if (!w) return FALSE;
      wasDisabled = (w->style & WS_DISABLED) != 0;
      if (wasDisabled == !enable) return wasDisabled ? TRUE : FALSE;
    }
    // A window being disabled gives up what it holds: the capture (through WM_CANCELMODE's
    // default processing), and the focus. A disabled window must not keep taking the mouse.
    if (!enable) CallProc(hwnd, WM_CANCELMODE, 0, 0);
    bool dropFocus = false;
    {
      std::lock_guard g(Lock());
      auto w = FindLive(hwnd);
      if (!w) return wasDisabled ? TRUE : FALSE;
      w->style = WithBits(w->style, WS_DISABLED, !enable);
      if (!enable) {
        auto focus = FindLive(w->queue->focus);
        dropFocus = focus && (focus == w || IsAncestor(*w, *focus));
      }
    }
    if (dropFocus) SetFocus(nullptr);
    CallProc(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    {
      std::lock_guard g(Lock());
      if (auto w = FindLive(hwnd)) EvaluateTrackingLocked(*w->queue);
    }
    return wasDisabled ? TRUE : FALSE;
  }));
}

BOOL IsWindowEnabled(HWND hwnd) {
  return ReadLive<BOOL>(hwnd, FALSE, [](Window& w) { return EnabledLocked(w) ? TRUE : FALSE; });
}

HWND SetCapture(HWND hwnd) {
  HWND old = nullptr;
  {
    std::lock_guard g(Lock());
    auto w = FindLive(hwnd);
    if (!w || !IsOwnThread(*w)) return nullptr;
    ThreadQueue& q = *w->queue;
    old = q.capture;
    q.capture = hwnd;
  }
  if (old && old != hwnd) CallProc(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture() {
  auto q = CurrentQueue();
  HWND old = nullptr;
  {
    std::lock_guard g(Lock());
    old = q->capture;
    q->capture = nullptr;
    EvaluateTrackingLocked(*q);
    // The window under the pointer hears of it now, not at the pointer's next move: a pointer that
    // left the holder in one jump may have landed on a window that shows a hover look.
    if (FindLive(old)) q->input.push_back(InputEvent{InputKind::Recheck});
  }
  if (old) CallProc(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() {
  auto q = CurrentQueue();
  std::lock_guard g(Lock());
  return FindLive(q->capture) ? q->capture : nullptr;
}

HWND SetFocus(HWND hwnd) {
  auto q = CurrentQueue();
  HWND old = nullptr;
  {
    std::lock_guard g(Lock());
    if (hwnd) {
      auto w = FindLive(hwnd);
      if (!w || !IsOwnThread(*w)) return platform::FailWith(ERROR_ACCESS_DENIED, nullptr);
      Window* top = TopOf(w.get());
      if (top->dialog && top != w.get()) top->dialog->lastFocus = hwnd;
    }
    old = FindLive(q->focus) ? q->focus : nullptr;
    if (old == hwnd) return old;
    q->focus = hwnd;
  }
  if (old) CallProc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) CallProc(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() {
  auto q = CurrentQueue();
  std::lock_guard g(Lock());
  return FindLive(q->focus) ? q->focus : nullptr;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  // The two control classes the program uses are built in; there is nothing to register.
  return (init && init->dwSize == sizeof(INITCOMMONCONTROLSEX)) ? TRUE : FALSE;
}

namespace platform::ui {

void PrepareThread() { detail::CurrentQueue(); }

void HookNextWindowCreate(std::function<void(HWND)> hook) {
  auto q = CurrentQueue();
  std::lock_guard g(Lock());
  q->createHook = std::move(hook);
}

std::shared_ptr<const gdi::Surface> WindowSurface(HWND hwnd) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  if (!w) return nullptr;
  return TopOf(w.get())->top->surface;
}

}  // namespace platform::ui

BOOL PtInRect(const RECT* rect, POINT p) {
  return (rect && p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom) ? TRUE : FALSE;
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  // Rounds half away from zero, as the platform's MulDiv does.
  std::int64_t q = product / denominator;
  const std::int64_t r = product % denominator;
  if (2 * (r < 0 ? -r : r) >= (denominator < 0 ? -denominator : denominator)) q += ((product < 0) != (denominator < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}
