#include "platform/kernel/clock.h"

namespace platform::kernel {
namespace {

// The program's clock. Its time moves by itself, so it never calls a listener.
class SteadyClock final : public Clock {
 public:
  Millis Now() const override {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
  }
  bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Millis deadline,
                 const std::function<bool()>& ready) override {
    return cv.wait_until(lock, std::chrono::steady_clock::time_point(deadline), ready);
  }
  std::uint64_t Subscribe(std::function<void()> /*listener*/) override { return 0; }
  void Unsubscribe(std::uint64_t /*id*/) override {}
};

std::mutex g_clockMutex;
std::shared_ptr<Clock>& ClockSlot() {
  static auto* slot = new std::shared_ptr<Clock>(std::make_shared<SteadyClock>());
  return *slot;
}

}  // namespace

std::shared_ptr<Clock> CurrentClock() {
  std::lock_guard g(g_clockMutex);
  return ClockSlot();
}

void SetClock(std::shared_ptr<Clock> clock) {
  std::lock_guard g(g_clockMutex);
  ClockSlot() = clock ? std::move(clock) : std::make_shared<SteadyClock>();
}

}  // namespace platform::kernel
