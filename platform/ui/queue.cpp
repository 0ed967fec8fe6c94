// Messages between threads, the message loop and timers.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/base/errors.h"
#include "platform/base/service.h"
#include "platform/ui/internal.h"

namespace platform::ui::detail {

void PostLocked(ThreadQueue& q, const MSG& msg) {
  q.posted.push_back(msg);
  q.Wake();
}

void ProcessIncoming(const std::shared_ptr<SentRecord>& rec) {
  bool live = false;
  {
    std::lock_guard g(Lock());
    live = FindLive(rec->hwnd) != nullptr;
  }
  LRESULT result = 0;
  if (live) result = rec->call ? (*rec->call)() : CallProc(rec->hwnd, rec->message, rec->wParam, rec->lParam);
  std::lock_guard g(Lock());
  if (!rec->done) {
    rec->done = true;
    rec->result = result;
  }
  rec->sender->cv.notify_all();
}

void ReleaseSendersLocked(ThreadQueue& q, const std::set<HWND>& gone) {
  for (auto it = q.incoming.begin(); it != q.incoming.end();) {
    if (gone.contains((*it)->hwnd)) {
      (*it)->done = true;
      (*it)->result = 0;
      (*it)->sender->cv.notify_all();
      it = q.incoming.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace platform::ui::detail

using namespace platform::ui::detail;

namespace {

// Runs where a loop is about to block with nothing left to do (SetAboutToBlockHook).
constinit platform::Service<const std::function<void()>> g_aboutToBlock;

// Queues `rec` on `target` and waits for its answer. Sends go to the program's one window thread,
// which never sends to another thread, so a sender need not serve sends to itself meanwhile.
LRESULT SendAndWait(std::unique_lock<std::mutex>& lk, ThreadQueue& target, const std::shared_ptr<SentRecord>& rec) {
  if (!target.alive) return 0;
  target.incoming.push_back(rec);
  target.Wake();
  rec->sender->cv.wait(lk, [&] { return rec->done; });
  return rec->result;
}

// Follows the clock in force, so that a test clock moved forward wakes every loop.
void EnsureClockSubscription() {
  static auto* mutex = new std::mutex;
  static auto* subscribed = new std::weak_ptr<platform::kernel::Clock>;
  static std::uint64_t id = 0;
  auto clock = platform::kernel::CurrentClock();
  std::lock_guard g(*mutex);
  auto current = subscribed->lock();
  if (current == clock) return;
  if (current) current->Unsubscribe(id);
  id = clock->Subscribe([] {
    ForEachQueue([](ThreadQueue& q) { q.Wake(); });
  });
  *subscribed = clock;
}

void PumpHost(platform::host::Host& host) {
  if (host.HasPendingEvents()) return host.DispatchEvents();
  pollfd p{host.EventFd(), POLLIN, 0};
  if (p.fd >= 0 && ::poll(&p, 1, 0) > 0) host.DispatchEvents();
}

bool Matches(HWND filter, UINT min, UINT max, const MSG& m) {
  if (filter && m.hwnd != filter) {
    auto f = FindLive(filter);
    auto w = FindLive(m.hwnd);
    if (!f || !w || !IsAncestor(*f, *w)) return false;
  }
  return (min == 0 && max == 0) || (m.message >= min && m.message <= max);
}

bool TakeFrom(std::deque<MSG>& queue, HWND filter, UINT min, UINT max, UINT remove, MSG* out) {
  for (auto it = queue.begin(); it != queue.end();) {
    if (it->hwnd && !FindLive(it->hwnd)) {
      it = queue.erase(it);
      continue;
    }
    if (Matches(filter, min, max, *it)) {
      *out = *it;
      if (remove & PM_REMOVE) queue.erase(it);
      return true;
    }
    ++it;
  }
  return false;
}

// The due timer that fires first, over every window of the queue.
struct DueTimer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  Timer* timer = nullptr;
};

DueTimer EarliestTimer(ThreadQueue& q) {
  DueTimer best;
  std::function<void(Window&)> visit = [&](Window& w) {
    for (auto& [id, t] : w.timers) {
      if (!best.timer || t.due < best.timer->due) best = DueTimer{w.handle, id, &t};
    }
    for (auto& c : w.children) visit(*c);
  };
  for (auto& t : q.tops) visit(*t);
  return best;
}

POINT CursorScreen(ThreadQueue& q) {
  POINT p = q.pointer;
  if (auto t = FindLive(q.pointerTop)) {
    p.x += t->rect.left;
    p.y += t->rect.top;
  }
  return p;
}

bool StillWatched(ThreadQueue& q, const FdWatch& watch) {
  std::lock_guard g(Lock());
  return std::ranges::any_of(q.watches, [&](const FdWatch& w) {
    return w.fd == watch.fd && w.owner == watch.owner && w.onReadable == watch.onReadable;
  }) && FindLive(watch.owner) != nullptr;
}

// The heart of GetMessageW and PeekMessageW. Order: sent messages (served here, never
// returned), posted messages, input (turned into messages one event at a time), paint, timers,
// quit.
bool Retrieve(MSG* out, HWND filter, UINT min, UINT max, UINT remove, bool block) {
  auto q = CurrentQueue();
  auto clock = platform::kernel::CurrentClock();
  for (;;) {
    EnsureClockSubscription();
    auto host = QueueHost();
    if (host) PumpHost(*host);
    std::unique_lock lk(Lock());
    if (!q->incoming.empty()) {
      auto rec = q->incoming.front();
      q->incoming.pop_front();
      lk.unlock();
      ProcessIncoming(rec);
      continue;
    }
    if (TakeFrom(q->posted, filter, min, max, remove, out)) return true;
    if (TakeFrom(q->ready, filter, min, max, remove, out)) return true;
    if (!q->input.empty()) {
      const InputEvent ev = q->input.front();
      q->input.pop_front();
      lk.unlock();
      ConvertInput(*q, ev);
      continue;
    }
    const platform::kernel::Millis now = clock->Now();
    if (HWND p = FindPaintWindowLocked(*q)) {
      MSG m{p, WM_PAINT, 0, 0, static_cast<DWORD>(now.count()), CursorScreen(*q)};
      if (Matches(filter, min, max, m)) {
        *out = m;
        return true;
      }
    }
    if (std::ranges::any_of(q->tops, [](const auto& t) { return !t->top->dirty.empty(); })) {
      lk.unlock();
      FlushPresents(*q);
      lk.lock();
    }
    DueTimer due = EarliestTimer(*q);
    if (due.timer && due.timer->due <= now) {
      MSG m{due.hwnd, WM_TIMER, due.id, reinterpret_cast<LPARAM>(due.timer->proc), static_cast<DWORD>(now.count()),
            CursorScreen(*q)};
      if (Matches(filter, min, max, m)) {
        if (remove & PM_REMOVE) due.timer->due = now + platform::kernel::Millis(due.timer->elapse);
        *out = m;
        return true;
      }
    }
    if (q->quit) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, static_cast<DWORD>(now.count()), POINT{}};
      if (remove & PM_REMOVE) q->quit = false;
      return true;
    }
    if (!q->incoming.empty() || !q->input.empty() || !q->posted.empty() || !q->ready.empty()) continue;
    if (!block) return false;

    int timeout = -1;
    if (due.timer) {
      const auto wait = (due.timer->due - now).count();
      timeout = wait <= 0 ? 0 : static_cast<int>(std::min<long long>(wait, INT_MAX));
    }
    // Watches of windows destroyed since the last wait go here; the rest are polled with the
    // wake fd and the host's fd.
    std::erase_if(q->watches, [](const FdWatch& w) { return !FindLive(w.owner); });
    std::vector<pollfd> fds{{q->wakeFd, POLLIN, 0}, {host ? host->EventFd() : -1, POLLIN, 0}};
    std::vector<FdWatch> watches = q->watches;
    for (const FdWatch& w : watches) fds.push_back(pollfd{w.fd, POLLIN, 0});
    lk.unlock();
    if (host && host->HasPendingEvents()) continue;
    // For the hook, a descriptor that is already readable is work still to do: the loop is
    // about to block only once a look finds none.
    const auto hook = g_aboutToBlock.Get();
    int ready = hook ? ::poll(fds.data(), fds.size(), 0) : 0;
    if (ready == 0) {
      platform::gdi::ReleaseFontFaces();
      if (hook) (*hook)();
      ready = ::poll(fds.data(), fds.size(), timeout);
    }
    if (ready > 0) {
      if (fds[0].revents & POLLIN) {
        std::uint64_t drained;
        while (::read(q->wakeFd, &drained, sizeof drained) > 0) {
        }
      }
      if ((fds[1].revents & POLLIN) && host) host->DispatchEvents();
      for (std::size_t i = 0; i < watches.size(); ++i) {
        if (!(fds[i + 2].revents & (POLLIN | POLLERR | POLLHUP))) continue;
        // An earlier callback of this round may have ended this watch.
        if (StillWatched(*q, watches[i])) (*watches[i].onReadable)();
      }
    }
  }
}

// Hands `rec` to the thread that owns its window and waits for the result; on that very thread
// `here` runs at once instead. A window that is gone gives 0.
LRESULT Deliver(const std::shared_ptr<SentRecord>& rec, const std::function<LRESULT()>& here) {
  auto me = CurrentQueue();
  std::unique_lock lk(Lock());
  auto w = FindLiveOrFail(rec->hwnd);
  if (!w) return 0;
  if (IsOwnThread(*w)) {
    lk.unlock();
    return here();
  }
  rec->sender = me;
  return SendAndWait(lk, *w->queue, rec);
}

}  // namespace

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto rec = std::make_shared<SentRecord>(SentRecord{hwnd, message, wParam, lParam});
  return Deliver(rec, [=] { return CallProc(hwnd, message, wParam, lParam); });
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  if (!w || !w->queue->alive) return platform::FailWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  PostLocked(*w->queue, MSG{hwnd, message, wParam, lParam, 0, POINT{}});
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  auto q = CurrentQueue();
  std::lock_guard g(Lock());
  q->quit = true;
  q->quitCode = exitCode;
  q->Wake();
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  Retrieve(msg, hwnd, filterMin, filterMax, PM_REMOVE, true);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  return msg != nullptr && Retrieve(msg, hwnd, filterMin, filterMax, removeMsg, false) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* /*msg*/) {
  // No program window reads characters (WM_CHAR): key messages are all it needs.
  return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    if (msg->hwnd && !IsWindow(msg->hwnd)) return 0;
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd) return 0;
  {
    std::lock_guard g(Lock());
    auto w = FindLiveOrFail(msg->hwnd, true);
    if (!w) return 0;
  }
  return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (!hwnd) {
    // Thread timers are not needed by anything here.
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const platform::kernel::Millis now = platform::kernel::CurrentClock()->Now();
  std::lock_guard g(Lock());
  auto w = FindLiveOrFail(hwnd);
  if (!w) return 0;
  elapse = std::clamp<UINT>(elapse, 10u, 0x7FFFFFFFu);
  Timer& t = w->timers[id];
  t.elapse = elapse;
  t.due = now + platform::kernel::Millis(elapse);
  t.proc = proc;
  w->queue->Wake();
  return id != 0 ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  if (!w || w->timers.erase(id) == 0) return platform::FailWith(ERROR_INVALID_TIMER_HANDLE, FALSE);
  return TRUE;
}

namespace platform::ui {

LRESULT CallOnWindowThread(HWND hwnd, const std::function<LRESULT()>& call) {
  auto rec = std::make_shared<SentRecord>(SentRecord{hwnd, 0, 0, 0, &call});
  return Deliver(rec, call);
}

void SetAboutToBlockHook(std::function<void()> hook) {
  g_aboutToBlock.Set(hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr);
}

BOOL WatchFd(HWND owner, int fd, std::function<void()> onReadable) {
  if (fd < 0 || !onReadable) return FALSE;
  std::lock_guard g(Lock());
  auto w = FindLiveOrFail(owner);
  if (!w) return FALSE;
  w->queue->watches.push_back(FdWatch{owner, fd, std::make_shared<const std::function<void()>>(std::move(onReadable))});
  return TRUE;
}

BOOL UnwatchFd(HWND owner, int fd) {
  std::lock_guard g(Lock());
  auto w = Find(owner);
  if (!w) return FALSE;
  auto& watches = w->queue->watches;
  const auto removed = std::erase_if(watches, [&](const FdWatch& x) { return x.owner == owner && x.fd == fd; });
  return removed != 0 ? TRUE : FALSE;
}

}  // namespace platform::ui
