// A clock that moves only when a test moves it.
//
// Installed with platform::kernel::SetClock, it makes every wait and window timer of the
// platform run on test time: Advance wakes every waiter whose deadline has come, so a test never
// sleeps through a time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/kernel/clock.h"

namespace velmor::test {

using platform::kernel::Millis;

class ManualClock final : public platform::kernel::Clock {
 public:
  explicit ManualClock(Millis start = Millis(1'000'000));
  Millis Now() const override;
  bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Millis deadline,
                 const std::function<bool()>& ready) override;
  std::uint64_t Subscribe(std::function<void()> listener) override;
  void Unsubscribe(std::uint64_t id) override;

  // Moves time forward and wakes every waiter and listener.
  void Advance(Millis by);
  // How many threads wait on this clock now. A waiter's deadline is fixed before it counts, so a
  // test that sees its waiter here can advance the clock against that deadline.
  std::size_t WaiterCount() const;
  // Waits (real time, at most `timeout`) until at least `count` threads wait on this clock.
  bool WaitForWaiters(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace velmor::test
