#include "tests/support/manual_clock.h"

#include <atomic>
#include <map>
#include <thread>

namespace velmor::test {

struct ManualClock::Impl {
  std::atomic<std::int64_t> now{0};
  // Lock order: waitersMutex, then a waiter's own mutex. A waiter never holds its own mutex while
  // it takes waitersMutex, and Advance notifies every waiter under waitersMutex, so a waiter
  // cannot return (and free its condition variable) while it is being notified.
  std::mutex waitersMutex;
  std::atomic<std::uint64_t> nextId{1};
  struct Waiter {
    std::condition_variable* cv;
    std::mutex* mutex;
  };
  std::map<std::uint64_t, Waiter> waiters;
  // Listeners run under their own mutex, so that after Unsubscribe returns none is running.
  std::mutex listenersMutex;
  std::map<std::uint64_t, std::function<void()>> listeners;
};

ManualClock::ManualClock(Millis start) : impl_(std::make_shared<Impl>()) { impl_->now = start.count(); }

Millis ManualClock::Now() const { return Millis(impl_->now.load()); }

bool ManualClock::WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Millis deadline,
                            const std::function<bool()>& ready) {
  std::uint64_t id;
  lock.unlock();
  {
    std::lock_guard g(impl_->waitersMutex);
    id = impl_->nextId++;
    impl_->waiters.emplace(id, Impl::Waiter{&cv, lock.mutex()});
  }
  lock.lock();
  bool result;
  for (;;) {
    result = ready();
    if (result || Now() >= deadline) break;
    cv.wait(lock);
  }
  lock.unlock();
  {
    std::lock_guard g(impl_->waitersMutex);
    impl_->waiters.erase(id);
  }
  lock.lock();
  return result;
}

std::uint64_t ManualClock::Subscribe(std::function<void()> listener) {
  std::lock_guard g(impl_->listenersMutex);
  const std::uint64_t id = impl_->nextId++;
  impl_->listeners.emplace(id, std::move(listener));
  return id;
}

void ManualClock::Unsubscribe(std::uint64_t id) {
  std::lock_guard g(impl_->listenersMutex);
  impl_->listeners.erase(id);
}

void ManualClock::Advance(Millis by) {
  impl_->now += by.count();
  {
    std::lock_guard g(impl_->waitersMutex);
    for (auto& [id, w] : impl_->waiters) {
      std::lock_guard wg(*w.mutex);
      w.cv->notify_all();
    }
  }
  std::lock_guard g(impl_->listenersMutex);
  for (auto& [id, listener] : impl_->listeners) listener();
}

std::size_t ManualClock::WaiterCount() const {
  std::lock_guard g(impl_->waitersMutex);
  return impl_->waiters.size();
}

bool ManualClock::WaitForWaiters(std::size_t count, std::chrono::milliseconds timeout) const {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (WaiterCount() < count) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace velmor::test
