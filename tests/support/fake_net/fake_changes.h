// A change-monitor source whose announcements the test makes.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include "platform/net/change_monitor.h"

namespace velmor::test {

class FakeChangeSource final : public platform::net::ChangeMonitorSource {
 public:
  // The monitors become readable; the first to drain reports the most telling change announced
  // since the last drain (one dialog opens one).
  void Announce(platform::net::NetworkChange change = platform::net::NetworkChange::kChange) {
    pending_->store(std::max(pending_->load(), change));
    eventfd_write(fd_, 1);
  }

  std::unique_ptr<platform::net::ChangeMonitor> Open() override { return std::make_unique<Monitor>(fd_, pending_); }
  ~FakeChangeSource() override { close(fd_); }

 private:
  // The monitors share the source's descriptor, which outlives them: a monitor lives in the
  // dialog, the source in the test.
  class Monitor final : public platform::net::ChangeMonitor {
   public:
    Monitor(int fd, std::shared_ptr<std::atomic<platform::net::NetworkChange>> pending)
        : fd_(fd), pending_(std::move(pending)) {}
    int Fd() const override { return fd_; }
    platform::net::NetworkChange Drain() override {
      eventfd_t count = 0;
      if (eventfd_read(fd_, &count) != 0 || count == 0) return platform::net::NetworkChange::kNone;
      return pending_->exchange(platform::net::NetworkChange::kNone);
    }

   private:
    int fd_;
    std::shared_ptr<std::atomic<platform::net::NetworkChange>> pending_;
  };
  int fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::shared_ptr<std::atomic<platform::net::NetworkChange>> pending_ =
      std::make_shared<std::atomic<platform::net::NetworkChange>>(platform::net::NetworkChange::kNone);
};

}  // namespace velmor::test
