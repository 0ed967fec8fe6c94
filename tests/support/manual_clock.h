// A clock that moves only when a test moves it. Installed with platform::kernel::SetClock, it
// puts every wait and window timer of the platform on test time: Advance wakes every waiter
// whose deadline has come, so a test never sleeps through a time-out.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/kernel/clock.h"

namespace velmor::test {

using platform::kernel::Millis;

class ManualClock final : public platform::kernel::Clock {
 public:
  Millis Now() const override { return Millis(now_.load()); }
  bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Millis deadline,
                 const std::function<bool()>& ready) override;
  std::uint64_t Subscribe(std::function<void()> listener) override;
  void Unsubscribe(std::uint64_t id) override {
    std::lock_guard g(listenersMutex_);
    listeners_.erase(id);
  }

  void Advance(Millis by);
  // Waits (real time, at most `timeout`) until at least `count` threads wait on this clock. A
  // waiter's deadline is fixed before it counts, so the test can then advance against it.
  bool WaitForWaiters(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Runs `hook` on each thread whose wait ends with what it waited for, before the wait returns
  // (with the waiter's mutex released), so that a test can hold a thread at that moment.
  void OnWaitMet(std::function<void()> hook) {
    std::lock_guard g(waitersMutex_);
    onWaitMet_ = std::move(hook);
  }

 private:
  struct Waiter {
    std::condition_variable* cv;
    std::mutex* mutex;
  };
  std::atomic<std::int64_t> now_{1'000'000};
  std::atomic<std::uint64_t> nextId_{1};
  // Lock order: waitersMutex_, then a waiter's own mutex. A waiter never holds its own mutex while
  // it takes waitersMutex_, and Advance notifies under waitersMutex_, so a waiter cannot return
  // (and free its condition variable) while it is being notified.
  mutable std::mutex waitersMutex_;
  mutable std::condition_variable waitersCv_;  // a waiter came
  std::map<std::uint64_t, Waiter> waiters_;
  std::function<void()> onWaitMet_;  // under waitersMutex_
  // Listeners run under their own mutex, so that none runs once Unsubscribe has returned.
  std::mutex listenersMutex_;
  std::map<std::uint64_t, std::function<void()>> listeners_;
};

}  // namespace velmor::test
