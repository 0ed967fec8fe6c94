#include "tests/support/manual_clock.h"

namespace velmor::test {

bool ManualClock::WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Millis deadline,
                            const std::function<bool()>& ready) {
  const std::uint64_t id = nextId_++;
  lock.unlock();
  {
    std::lock_guard g(waitersMutex_);
    waiters_.emplace(id, Waiter{&cv, lock.mutex()});
    waitersCv_.notify_all();
  }
  lock.lock();
  bool result = ready();
  while (!result && Now() < deadline) {
    cv.wait(lock);
    result = ready();
  }
  lock.unlock();
  std::function<void()> hook;
  {
    std::lock_guard g(waitersMutex_);
    waiters_.erase(id);
    if (result) hook = onWaitMet_;
  }
  if (hook) hook();
  lock.lock();
  return result;
}

std::uint64_t ManualClock::Subscribe(std::function<void()> listener) {
  std::lock_guard g(listenersMutex_);
  const std::uint64_t id = nextId_++;
  listeners_.emplace(id, std::move(listener));
  return id;
}

void ManualClock::Advance(Millis by) {
  now_ += by.count();
  {
    std::lock_guard g(waitersMutex_);
    for (auto& [id, w] : waiters_) {
      std::lock_guard wg(*w.mutex);
      w.cv->notify_all();
    }
  }
  std::lock_guard g(listenersMutex_);
  for (auto& [id, listener] : listeners_) listener();
}

bool ManualClock::WaitForWaiters(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(waitersMutex_);
  return waitersCv_.wait_for(lock, timeout, [&] { return waiters_.size() >= count; });
}

}  // namespace velmor::test
