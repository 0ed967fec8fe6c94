#include "tests/support/fake_net/fake_changes.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>

namespace velmor::test {
namespace {

class FakeMonitor final : public platform::net::ChangeMonitor {
 public:
  FakeMonitor(int fd, std::function<void()> onClose) : fd_(fd), onClose_(std::move(onClose)) {}
  ~FakeMonitor() override {
    onClose_();
    ::close(fd_);
  }
  int Fd() const override { return fd_; }
  bool Drain() override {
    std::uint64_t count = 0;
    return ::read(fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
  }

 private:
  int fd_;
  std::function<void()> onClose_;
};

}  // namespace

std::unique_ptr<platform::net::ChangeMonitor> FakeChangeSource::Open() {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return nullptr;
  {
    std::lock_guard g(shared_->mutex);
    shared_->fds.push_back(fd);
  }
  std::weak_ptr<Shared> weak = shared_;
  return std::make_unique<FakeMonitor>(fd, [weak, fd] {
    if (auto shared = weak.lock()) {
      std::lock_guard g(shared->mutex);
      std::erase(shared->fds, fd);
    }
  });
}

void FakeChangeSource::Announce() {
  std::lock_guard g(shared_->mutex);
  for (int fd : shared_->fds) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
  }
}

int FakeChangeSource::OpenMonitors() const {
  std::lock_guard g(shared_->mutex);
  return static_cast<int>(shared_->fds.size());
}

}  // namespace velmor::test
