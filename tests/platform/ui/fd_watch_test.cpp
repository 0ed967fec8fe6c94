// Watching a descriptor from a window thread's loop.
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

// An eventfd whose reads are counted from whichever thread the loop calls the reader on.
class Counter {
 public:
  Counter() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Counter() { ::close(fd_); }
  int fd() const { return fd_; }
  void Signal() {
    std::uint64_t one = 1;
    ASSERT_EQ(::write(fd_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
  }
  std::function<void()> Reader() {
    return [this] {
      std::uint64_t value;
      if (::read(fd_, &value, sizeof value) > 0) {
        std::lock_guard g(mutex_);
        ++calls_;
        threads_.push_back(std::this_thread::get_id());
      }
    };
  }
  int calls() const {
    std::lock_guard g(mutex_);
    return calls_;
  }
  std::vector<std::thread::id> threads() const {
    std::lock_guard g(mutex_);
    return threads_;
  }

 private:
  int fd_;
  mutable std::mutex mutex_;
  int calls_ = 0;
  std::vector<std::thread::id> threads_;
};

TEST(FdWatch, ASleepingLoopRunsTheCallbackOnItsOwnThreadUntilUnwatched) {
  HeadlessDesktop desk;
  Recorder rec;
  LoopThread loop(&rec);
  Counter counter;
  // Watched from another thread while the loop sleeps: the loop must pick the fd up at once.
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  ASSERT_TRUE(platform::ui::WatchFd(loop.hwnd(), counter.fd(), counter.Reader()));
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  for (int i = 1; i <= 2; ++i) {
    counter.Signal();
    ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
    EXPECT_EQ(counter.calls(), i);
  }
  EXPECT_EQ(counter.threads(), (std::vector<std::thread::id>{loop.id(), loop.id()}));

  // Only one watch per window and fd.
  EXPECT_FALSE(platform::ui::WatchFd(loop.hwnd(), counter.fd(), counter.Reader()));
  ASSERT_TRUE(platform::ui::CallOnWindowThread(loop.hwnd(), [&]() -> LRESULT {
    return platform::ui::UnwatchFd(loop.hwnd(), counter.fd());
  }));
  counter.Signal();
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  EXPECT_EQ(counter.calls(), 2);
  EXPECT_FALSE(platform::ui::UnwatchFd(loop.hwnd(), counter.fd()));
  // Nothing is sent or posted for a readable fd: the messages seen are the test's own.
  EXPECT_EQ(rec.Count(WM_TIMER), 0u);
}

TEST(FdWatch, TheWatchEndsWithItsWindowAndNeedsALiveOne) {
  HeadlessDesktop desk;
  Recorder rec;
  LoopThread loop(&rec);
  Counter counter;
  HWND extra = nullptr;
  platform::ui::CallOnWindowThread(loop.hwnd(), [&]() -> LRESULT {
    extra = MakeWindow(nullptr, RECT{0, 0, 5, 5}, nullptr, 0);
    return 0;
  });
  ASSERT_TRUE(platform::ui::WatchFd(extra, counter.fd(), counter.Reader()));
  platform::ui::CallOnWindowThread(loop.hwnd(), [&]() -> LRESULT { return DestroyWindow(extra); });
  counter.Signal();
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  EXPECT_EQ(counter.calls(), 0);
  EXPECT_FALSE(platform::ui::WatchFd(extra, counter.fd(), counter.Reader()));
  EXPECT_FALSE(platform::ui::WatchFd(loop.hwnd(), -1, counter.Reader()));
}

}  // namespace
}  // namespace velmor::test
