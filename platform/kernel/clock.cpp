#include "platform/kernel/clock.h"

#include "platform/base/service.h"

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

constinit Service<Clock> g_clock([]() -> std::shared_ptr<Clock> { return std::make_shared<SteadyClock>(); });

}  // namespace

std::shared_ptr<Clock> CurrentClock() { return g_clock.Get(); }

void SetClock(std::shared_ptr<Clock> clock) { g_clock.Set(std::move(clock)); }

}  // namespace platform::kernel
