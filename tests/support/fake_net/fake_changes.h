// A change-monitor source whose announcements the test makes.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <memory>

#include "platform/net/change_monitor.h"

namespace velmor::test {

class FakeChangeSource final : public platform::net::ChangeMonitorSource {
 public:
  // The monitors become readable; the first to drain reports the change (one dialog opens one).
  void Announce() { eventfd_write(fd_, 1); }

  std::unique_ptr<platform::net::ChangeMonitor> Open() override { return std::make_unique<Monitor>(fd_); }
  ~FakeChangeSource() override { close(fd_); }

 private:
  // The monitors share the source's descriptor, which outlives them: a monitor lives in the
  // dialog, the source in the test.
  class Monitor final : public platform::net::ChangeMonitor {
   public:
    explicit Monitor(int fd) : fd_(fd) {}
    int Fd() const override { return fd_; }
    bool Drain() override {
      eventfd_t count = 0;
      return eventfd_read(fd_, &count) == 0 && count > 0;
    }

   private:
    int fd_;
  };
  int fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

}  // namespace velmor::test
