// A change-monitor source whose announcements the test makes.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/net/change_monitor.h"

namespace velmor::test {

class FakeChangeSource final : public platform::net::ChangeMonitorSource {
 public:
  std::unique_ptr<platform::net::ChangeMonitor> Open() override;

  // Every open monitor becomes readable and reports a change when drained.
  void Announce();
  // Monitors opened and not yet destroyed.
  int OpenMonitors() const;

 private:
  struct Shared {
    mutable std::mutex mutex;
    std::vector<int> fds;
  };
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace velmor::test
