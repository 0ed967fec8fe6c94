#include "platform/kernel/sync.h"

#include <condition_variable>
#include <string>
#include <mutex>
#include <thread>

#include "platform/kernel/clock.h"
#include "platform/kernel/named_mark.h"

namespace platform::kernel {
namespace {

// Anything a wait can be made on: it is signalled or not, and a successful wait may consume
// the signal (auto-reset events).
class Waitable : public KernelObject {
 public:
  std::mutex mutex;
  std::condition_variable cv;
  virtual bool SignalledLocked() const = 0;
  virtual void ConsumeLocked() {}
};

class Event final : public Waitable {
 public:
  Event(bool manualReset, bool initial) : manual_(manualReset), signalled_(initial) {}
  bool SignalledLocked() const override { return signalled_; }
  void ConsumeLocked() override {
    if (!manual_) signalled_ = false;
  }
  void Set() {
    std::lock_guard g(mutex);
    signalled_ = true;
    cv.notify_all();
  }
  void Reset() {
    std::lock_guard g(mutex);
    signalled_ = false;
  }

  // The single-instance mark that came with a name, held as long as the event lives.
  std::shared_ptr<NamedMark> mark;

 private:
  const bool manual_;
  bool signalled_;
};

class Thread final : public Waitable {
 public:
  bool SignalledLocked() const override { return ended_; }
  void End() {
    std::lock_guard g(mutex);
    ended_ = true;
    cv.notify_all();
  }
  std::stop_source stop;

 private:
  bool ended_ = false;
};

struct Registry {
  std::mutex mutex;
  std::condition_variable cv;
  std::size_t running = 0;
};

Registry& Threads() {
  static auto* r = new Registry;  // outlives static destruction: workers may still be ending
  return *r;
}

thread_local std::stop_token t_stopToken;

// Marks a platform thread as ended once its thread-local state is gone too (a message queue and its
// descriptor among it): set first thing on the thread, it is destroyed after everything the thread
// made later, so that a thread counted as ended holds nothing any more.
struct ThreadEnd {
  std::shared_ptr<Thread> thread;
  ~ThreadEnd() {
    if (!thread) return;
    thread->End();
    Registry& r = Threads();
    std::lock_guard g(r.mutex);
    --r.running;
    r.cv.notify_all();
  }
};
thread_local ThreadEnd t_end;

}  // namespace

HANDLE StartThread(std::function<DWORD()> body) {
  auto thread = std::make_shared<Thread>();
  {
    std::lock_guard g(Threads().mutex);
    ++Threads().running;
  }
  try {
    std::thread([thread, body = std::move(body)]() mutable {
      t_end.thread = thread;
      t_stopToken = thread->stop.get_token();
      body();
      body = nullptr;  // release what the body captured before the thread counts as ended
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard g(Threads().mutex);
    --Threads().running;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return InsertHandle(thread);
}

std::stop_token CurrentStopToken() { return t_stopToken; }

bool WaitForAllThreads(std::chrono::milliseconds timeout) {
  Registry& r = Threads();
  std::unique_lock lock(r.mutex);
  return r.cv.wait_for(lock, timeout, [&r] { return r.running == 0; });
}

std::size_t RunningThreadCount() {
  std::lock_guard g(Threads().mutex);
  return Threads().running;
}

namespace {

HANDLE CreateNamedEvent(std::u16string_view name, bool manualReset, bool initialState) {
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<NamedMark> mark = NamedMark::Acquire(name, &error);
  if (!mark && error != ERROR_ALREADY_EXISTS) return platform::FailWith(error, nullptr);
  // Held by another process, or by another open of this one: like the real platform, the caller
  // still gets an event, and learns from the last error that the name was taken.
  auto event = std::make_shared<Event>(manualReset, initialState);
  event->mark = std::move(mark);
  HANDLE handle = InsertHandle(event);
  SetLastError(error);
  return handle;
}

// SetEvent and ResetEvent: `change` on the event; FALSE with ERROR_INVALID_HANDLE for anything else.
BOOL ChangeEvent(HANDLE handle, void (Event::*change)()) {
  auto e = LookupHandleAs<Event>(handle);
  if (!e) return platform::FailWith(ERROR_INVALID_HANDLE, FALSE);
  ((*e).*change)();
  return TRUE;
}

}  // namespace

}  // namespace platform::kernel

using platform::kernel::LookupHandleAs;

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES /*attributes*/, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  if (name == nullptr) {
    SetLastError(ERROR_SUCCESS);
    return platform::kernel::InsertHandle(std::make_shared<platform::kernel::Event>(manualReset, initialState));
  }
  return platform::kernel::CreateNamedEvent(name, manualReset, initialState);
}

BOOL SetEvent(HANDLE event) { return platform::kernel::ChangeEvent(event, &platform::kernel::Event::Set); }

BOOL ResetEvent(HANDLE event) { return platform::kernel::ChangeEvent(event, &platform::kernel::Event::Reset); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto w = LookupHandleAs<platform::kernel::Waitable>(handle);
  if (!w) return platform::FailWith(ERROR_INVALID_HANDLE, WAIT_FAILED);
  const std::shared_ptr<platform::kernel::Clock> clock = platform::kernel::CurrentClock();
  const std::stop_token stop = platform::kernel::CurrentStopToken();
  // Registered before the lock is taken: a stop requested earlier runs the callback right here.
  std::stop_callback wake(stop, [&w] {
    std::lock_guard g(w->mutex);
    w->cv.notify_all();
  });
  std::unique_lock lock(w->mutex);
  const auto ready = [&] { return w->SignalledLocked() || stop.stop_requested(); };
  if (milliseconds == INFINITE) {
    w->cv.wait(lock, ready);
  } else {
    const auto deadline = clock->Now() + platform::kernel::Millis(milliseconds);
    clock->WaitUntil(w->cv, lock, deadline, ready);
  }
  if (w->SignalledLocked()) {
    w->ConsumeLocked();
    return WAIT_OBJECT_0;
  }
  if (stop.stop_requested()) return platform::FailWith(ERROR_OPERATION_ABORTED, WAIT_FAILED);
  return WAIT_TIMEOUT;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*attributes*/, SIZE_T /*stackSize*/, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD /*creationFlags*/, LPDWORD threadId) {
  if (threadId) *threadId = 0;
  return platform::kernel::StartThread([start, parameter] { return start(parameter); });
}

BOOL TerminateThread(HANDLE thread, DWORD /*exitCode*/) {
  auto t = LookupHandleAs<platform::kernel::Thread>(thread);
  if (!t) return platform::FailWith(ERROR_INVALID_HANDLE, FALSE);
  t->stop.request_stop();
  return TRUE;
}
