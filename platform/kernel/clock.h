// The platform clock: the time base of waits and window timers.
//
// The program runs on the steady clock. Tests install a clock of their own that they move forward
// themselves; every wait that is due then wakes, so tests never sleep through a time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace platform::kernel {

using Millis = std::chrono::milliseconds;

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time since an arbitrary origin.
  virtual Millis Now() const = 0;
  // Blocks on `cv` (whose mutex `lock` holds) until `ready()` is true or Now() reaches
  // `deadline`; returns the last value of `ready()`. Whoever makes `ready()` true notifies `cv`
  // while holding its mutex.
  virtual bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Millis deadline,
                         const std::function<bool()>& ready) = 0;
  // Calls `listener` (on the advancing thread) whenever time jumps. The steady clock never calls
  // it: its time moves by itself. Returns an id for Unsubscribe.
  virtual std::uint64_t Subscribe(std::function<void()> listener) = 0;
  virtual void Unsubscribe(std::uint64_t id) = 0;
};

// The clock in force: the steady clock unless one was set. SetClock is for the start of a process
// or of a test, before threads use it; null restores the steady clock.
std::shared_ptr<Clock> CurrentClock();
void SetClock(std::shared_ptr<Clock> clock);

}  // namespace platform::kernel
