// The message loop: timers on the platform clock, waking, message order, the host's events and
// watched descriptors.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "platform/ui/internal.h"
#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

using std::chrono::milliseconds;

TEST(Timers, FireOncePerDueTimeRestartWhenSetAgainAndStopWhenKilled) {
  HeadlessDesktop desk;
  Recorder rec;
  HWND w = MakeWindow(&rec, RECT{0, 0, 10, 10}, nullptr, 0);
  auto ids = [&] {
    std::vector<WPARAM> out;
    for (const Seen& s : rec.Of(WM_TIMER)) out.push_back(s.wParam);
    return out;
  };
  ASSERT_EQ(SetTimer(w, 100, 1000, nullptr), 100u);
  ASSERT_EQ(SetTimer(w, 200, 300, nullptr), 200u);
  desk.Advance(milliseconds(299), w);
  EXPECT_TRUE(ids().empty());
  desk.Advance(milliseconds(1), w);
  EXPECT_EQ(ids(), (std::vector<WPARAM>{200}));
  // A late loop gets one message per timer, earliest due first, not one for every missed period.
  desk.Advance(milliseconds(1000), w);
  EXPECT_EQ(ids(), (std::vector<WPARAM>{200, 200, 100}));
  KillTimer(w, 100);
  KillTimer(w, 200);

  rec.Clear();
  SetTimer(w, 1, 100, nullptr);
  desk.Advance(milliseconds(60), w);
  SetTimer(w, 1, 100, nullptr);  // restarts the countdown
  desk.Advance(milliseconds(60), w);
  EXPECT_EQ(rec.Count(WM_TIMER), 0u);
  desk.Advance(milliseconds(40), w);
  EXPECT_EQ(rec.Count(WM_TIMER), 1u);
  EXPECT_TRUE(KillTimer(w, 1));
  desk.Advance(milliseconds(500), w);
  EXPECT_EQ(rec.Count(WM_TIMER), 1u);
  EXPECT_FALSE(KillTimer(w, 1));
  DestroyWindow(w);
}

TEST(MessageLoop, AnIdleLoopWithATimerArmedSleepsUntilTheClockIsAdvanced) {
  HeadlessDesktop desk;
  Recorder rec;
  LoopThread loop(&rec);
  const auto thread = static_cast<pthread_t>(
      platform::ui::CallOnWindowThread(loop.hwnd(), [] { return static_cast<LRESULT>(pthread_self()); }));
  SetTimer(loop.hwnd(), 5, 10'000, nullptr);
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  clockid_t cpu;
  ASSERT_EQ(pthread_getcpuclockid(thread, &cpu), 0);
  timespec before{}, after{};
  clock_gettime(cpu, &before);
  std::this_thread::sleep_for(milliseconds(200));  // real time passes; the loop must not use it
  clock_gettime(cpu, &after);
  const auto used = (after.tv_sec - before.tv_sec) * 1'000'000'000L + (after.tv_nsec - before.tv_nsec);
  EXPECT_LT(used, 10'000'000L) << "the idle loop used " << used << " ns of CPU in 200 ms";
  EXPECT_EQ(rec.Count(WM_TIMER), 0u);
  desk.Advance(milliseconds(10'000), loop.hwnd());
  ASSERT_EQ(rec.Count(WM_TIMER), 1u);
  EXPECT_EQ(rec.Of(WM_TIMER)[0].thread, loop.id());
}

TEST(MessageLoop, SentBeforePostedBeforeInputBeforePaintBeforeTimersAndQuitEndsIt) {
  HeadlessDesktop desk;
  std::vector<UINT> seen;
  Recorder rec([&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_APP || m == WM_USER || m == WM_MOUSEMOVE || m == WM_PAINT || m == WM_TIMER) seen.push_back(m);
    return std::nullopt;
  });
  HWND w = MakeWindow(&rec, RECT{0, 0, 50, 50});
  desk.Settle(w);
  desk.Host().MoveMouseTo(w, POINT{60, 60});  // outside: no movement for it yet
  seen.clear();
  SetTimer(w, 1, 10, nullptr);
  desk.Clock().Advance(milliseconds(10));
  InvalidateRect(w, nullptr, FALSE);
  desk.Host().MoveMouseTo(w, POINT{5, 5});
  PostMessageW(w, WM_USER, 0, 0);
  std::thread([w] { SendMessageW(w, WM_APP, 0, 0); }).detach();
  {
    // The sent message arrives while this thread does not pump; wait for it to be queued.
    using namespace platform::ui::detail;
    std::unique_lock lock(Lock());
    auto q = FindLive(w)->queue;
    q->cv.wait(lock, [&q] { return !q->incoming.empty(); });
  }
  desk.Settle(w);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_APP, WM_USER, WM_MOUSEMOVE, WM_PAINT, WM_TIMER}));
  DestroyWindow(w);

  PostQuitMessage(3);
  MSG msg;
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
}

// An eventfd whose reads are recorded with the thread the loop calls the reader on.
class Counter {
 public:
  Counter() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Counter() { ::close(fd_); }
  int fd() const { return fd_; }
  void Signal() {
    const std::uint64_t one = 1;
    ASSERT_EQ(::write(fd_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
  }
  std::function<void()> Reader() {
    return [this] {
      std::uint64_t value;
      if (::read(fd_, &value, sizeof value) <= 0) return;
      std::lock_guard g(mutex_);
      readers_.push_back(std::this_thread::get_id());
    };
  }
  std::vector<std::thread::id> Readers() const {
    std::lock_guard g(mutex_);
    return readers_;
  }

 private:
  int fd_;
  mutable std::mutex mutex_;
  std::vector<std::thread::id> readers_;
};

// A host whose events arrive on a descriptor, or wait already read in its own queue.
class FdHost final : public platform::host::Host {
 public:
  void Create(HWND, const platform::host::TopLevelInfo&) override {}
  void Destroy(HWND) override {}
  void Show(HWND, bool) override {}
  void SetBounds(HWND, const RECT&) override {}
  void Iconify(HWND) override {}
  void Restore(HWND) override {}
  void SetTitle(HWND, std::u16string_view) override {}
  void SetIcon(HWND, HICON, HICON) override {}
  void Present(HWND, const std::shared_ptr<const platform::gdi::Surface>&, std::span<const RECT>) override {}
  void BeginMove(HWND, POINT) override {}
  SIZE ScreenSize() override { return SIZE{800, 600}; }
  int EventFd() override { return events.fd(); }
  bool HasPendingEvents() override { return queued_ > 0; }
  void DispatchEvents() override {
    std::uint64_t n;
    while (read(events.fd(), &n, sizeof n) > 0) queued_ += static_cast<int>(n);
    for (; queued_ > 0; --queued_) platform::ui::HostPointerMove(target, POINT{1, 1});
  }
  Counter events;  // its Signal() is an event arriving
  std::atomic<int> queued_{0};
  HWND target = nullptr;
};

TEST(MessageLoop, ServesTheHostsDescriptorAndTheEventsItAlreadyRead) {
  auto clock = std::make_shared<velmor::test::ManualClock>();
  platform::kernel::SetClock(clock);
  auto host = std::make_shared<FdHost>();
  platform::host::Install(host);
  Recorder rec;
  HWND w = MakeWindow(&rec, RECT{0, 0, 10, 10});
  host->target = w;
  host->events.Signal();
  ASSERT_TRUE(platform::ui::WaitUntilIdle(w));
  EXPECT_EQ(rec.Count(WM_MOUSEMOVE), 1u);
  host->queued_ = 1;  // read off the descriptor earlier: polling it would never show this one
  ASSERT_TRUE(platform::ui::WaitUntilIdle(w));
  EXPECT_EQ(rec.Count(WM_MOUSEMOVE), 2u);
  DestroyWindow(w);
  platform::host::Install(nullptr);
  platform::kernel::SetClock(nullptr);
}

TEST(FdWatch, ASleepingLoopRunsTheCallbackOnItsOwnThreadUntilUnwatchedOrItsWindowGoes) {
  HeadlessDesktop desk;
  Recorder rec;
  LoopThread loop(&rec);
  Counter counter;
  // Watched from another thread while the loop sleeps: the loop must pick the fd up at once.
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  ASSERT_TRUE(platform::ui::WatchFd(loop.hwnd(), counter.fd(), counter.Reader()));
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  for (std::size_t i = 1; i <= 2; ++i) {
    counter.Signal();
    ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
    EXPECT_EQ(counter.Readers().size(), i);
  }
  EXPECT_EQ(counter.Readers(), (std::vector<std::thread::id>{loop.id(), loop.id()}));
  EXPECT_FALSE(platform::ui::WatchFd(loop.hwnd(), counter.fd(), counter.Reader())) << "one watch per window and fd";
  ASSERT_TRUE(platform::ui::CallOnWindowThread(loop.hwnd(), [&]() -> LRESULT {
    return platform::ui::UnwatchFd(loop.hwnd(), counter.fd());
  }));
  counter.Signal();
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  EXPECT_EQ(counter.Readers().size(), 2u);
  EXPECT_FALSE(platform::ui::UnwatchFd(loop.hwnd(), counter.fd()));
  // Nothing is sent or posted for a readable fd: the messages seen are the test's own.
  EXPECT_EQ(rec.Count(WM_TIMER), 0u);

  // A watch ends with its window, and needs a live window and a real fd.
  HWND extra = reinterpret_cast<HWND>(platform::ui::CallOnWindowThread(loop.hwnd(), [] {
    return reinterpret_cast<LRESULT>(MakeWindow(nullptr, RECT{0, 0, 5, 5}, nullptr, 0));
  }));
  Counter other;  // the first one is left readable
  ASSERT_TRUE(platform::ui::WatchFd(extra, other.fd(), other.Reader()));
  platform::ui::CallOnWindowThread(loop.hwnd(), [&]() -> LRESULT { return DestroyWindow(extra); });
  other.Signal();
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  EXPECT_TRUE(other.Readers().empty());
  EXPECT_FALSE(platform::ui::WatchFd(extra, other.fd(), other.Reader()));
  EXPECT_FALSE(platform::ui::WatchFd(loop.hwnd(), -1, other.Reader()));
}

}  // namespace
}  // namespace velmor::test
