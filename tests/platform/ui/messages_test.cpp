// Messages between threads, the message loop and its order, timers on the platform clock, and
// the descriptors a loop watches.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <latch>

#include "platform/base/errors.h"
#include "platform/ui/internal.h"
#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

using std::chrono::milliseconds;
constexpr UINT kAsk = WM_APP + 1, kBlock = WM_APP + 2, kQueued = WM_APP + 3;

// Waits until `count` sent messages wait in the queue of `hwnd`'s thread.
void WaitForPendingSends(HWND hwnd, std::size_t count) {
  using namespace platform::ui::detail;
  std::unique_lock lk(Lock());
  auto q = FindLive(hwnd)->queue;
  q->cv.wait(lk, [&] { return q->incoming.size() >= count; });
}

// A handler that blocks in kBlock until the test lets it go; kAsk answers wParam * 2.
struct Blocker {
  std::promise<void> started;
  std::latch release{1};
  Recorder rec{[this](HWND hwnd, UINT m, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
    if (m == kAsk) return static_cast<LRESULT>(w * 2);
    if (m != kBlock) return std::nullopt;
    started.set_value();
    release.wait();
    if (l) DestroyWindow(hwnd);
    return 1;
  }};
};

TEST(CrossThread, ASendWaitsForTheOwnersAnswerPostsNeverWaitAndKeepTheirOrder) {
  Blocker b;
  LoopThread owner(&b.rec);
  auto blocked = std::async(std::launch::async, [&] { return SendMessageW(owner.hwnd(), kBlock, 0, 0); });
  b.started.get_future().wait();
  for (WPARAM i = 0; i < 3; ++i) EXPECT_TRUE(PostMessageW(owner.hwnd(), kQueued, i, 0));
  auto answer = std::async(std::launch::async, [&] { return SendMessageW(owner.hwnd(), kAsk, 21, 0); });
  WaitForPendingSends(owner.hwnd(), 1);
  b.release.count_down();
  EXPECT_EQ(blocked.get(), 1);
  EXPECT_EQ(answer.get(), 42);
  ASSERT_TRUE(platform::ui::WaitUntilIdle(owner.hwnd()));
  auto queued = b.rec.Of(kQueued);
  ASSERT_EQ(queued.size(), 3u);
  for (WPARAM i = 0; i < 3; ++i) EXPECT_EQ(queued[i].wParam, i);
  EXPECT_EQ(b.rec.Of(kAsk).at(0).thread, owner.id());

  // A worker's change of window state runs on the owner before the call returns.
  EXPECT_FALSE(EnableWindow(owner.hwnd(), FALSE));
  EXPECT_EQ(b.rec.Of(WM_ENABLE).at(0).thread, owner.id());
  EXPECT_FALSE(IsWindowEnabled(owner.hwnd()));
}

TEST(CrossThread, DestroyingTheWindowReleasesWaitingSendersAndSendsToAGoneWindowFailAtOnce) {
  Blocker b;
  HWND gone = nullptr;
  {
    LoopThread owner(&b.rec);
    gone = owner.hwnd();
    auto blocked = std::async(std::launch::async, [&] { return SendMessageW(gone, kBlock, 0, 1); });
    b.started.get_future().wait();
    auto first = std::async(std::launch::async, [&] { return SendMessageW(gone, kAsk, 1, 0); });
    auto second = std::async(std::launch::async, [&] { return SendMessageW(gone, kAsk, 2, 0); });
    WaitForPendingSends(gone, 2);
    b.release.count_down();
    EXPECT_EQ(blocked.get(), 1);
    EXPECT_EQ(first.get() + second.get(), 0);
    EXPECT_EQ(b.rec.Count(kAsk), 0u);
  }
  HWND orphan = nullptr;  // its thread ended without destroying it
  std::thread([&] { orphan = MakeWindow(nullptr, RECT{0, 0, 5, 5}, nullptr, 0); }).join();
  for (HWND w : {gone, orphan}) {
    SetLastError(0);
    EXPECT_EQ(SendMessageW(w, kAsk, 1, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(PostMessageW(w, kAsk, 1, 0));
  }
}

// A's handler asks B, whose handler asks A again while A waits for B's answer.
TEST(CrossThread, TwoWindowThreadsMaySendToEachOther) {
  HWND a = nullptr, b = nullptr;
  Recorder recA([&](HWND, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m == kBlock) return SendMessageW(b, kAsk, w, 0);
    return m == kAsk ? std::optional<LRESULT>(w + 1) : std::nullopt;
  });
  Recorder recB([&](HWND, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    return m == kAsk ? std::optional<LRESULT>(SendMessageW(a, kAsk, w * 10, 0)) : std::nullopt;
  });
  LoopThread threadA(&recA), threadB(&recB);
  a = threadA.hwnd();
  b = threadB.hwnd();
  EXPECT_EQ(SendMessageW(a, kBlock, 4, 0), 41);
}

TEST(MessageLoop, SentBeforePostedBeforeInputBeforePaintBeforeTimersAndQuitEndsIt) {
  HeadlessDesktop desk;
  std::vector<UINT> seen;
  Recorder rec([&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == kAsk || m == kQueued || m == WM_MOUSEMOVE || m == WM_PAINT || m == WM_TIMER) seen.push_back(m);
    return std::nullopt;
  });
  HWND w = MakeWindow(&rec, RECT{0, 0, 50, 50});
  desk.Settle(w);
  seen.clear();
  SetTimer(w, 1, 10, nullptr);
  desk.Clock().Advance(milliseconds(10));
  InvalidateRect(w, nullptr, FALSE);
  desk.Host().MoveMouseTo(w, POINT{5, 5});
  PostMessageW(w, kQueued, 0, 0);
  std::thread([w] { SendMessageW(w, kAsk, 0, 0); }).detach();
  WaitForPendingSends(w, 1);
  desk.Settle(w);
  EXPECT_EQ(seen, (std::vector<UINT>{kAsk, kQueued, WM_MOUSEMOVE, WM_PAINT, WM_TIMER}));
  DestroyWindow(w);
  PostQuitMessage(3);
  MSG msg;
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 3u);
}

TEST(Timers, FireOncePerDueTimeEarliestFirstRestartWhenSetAgainAndStopWhenKilled) {
  HeadlessDesktop desk;
  Recorder rec;
  HWND w = MakeWindow(&rec, RECT{0, 0, 10, 10}, nullptr, 0);
  const auto ids = [&] {
    std::vector<WPARAM> out;
    for (const Seen& s : rec.Of(WM_TIMER)) out.push_back(s.wParam);
    return out;
  };
  SetTimer(w, 100, 1000, nullptr);
  SetTimer(w, 200, 300, nullptr);
  desk.Advance(milliseconds(299), w);
  EXPECT_TRUE(ids().empty());
  desk.Advance(milliseconds(1), w);
  // A late loop gets one message per timer, earliest due first, not one per missed period.
  desk.Advance(milliseconds(1000), w);
  EXPECT_EQ(ids(), (std::vector<WPARAM>{200, 200, 100}));
  EXPECT_TRUE(KillTimer(w, 200));
  SetTimer(w, 100, 100, nullptr);  // restarts the countdown with the new period
  desk.Advance(milliseconds(99), w);
  EXPECT_EQ(ids().size(), 3u);
  desk.Advance(milliseconds(1), w);
  EXPECT_EQ(ids().size(), 4u);
  EXPECT_TRUE(KillTimer(w, 100));
  desk.Advance(milliseconds(500), w);
  EXPECT_EQ(ids().size(), 4u);
  EXPECT_FALSE(KillTimer(w, 100));
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
  EXPECT_LT((after.tv_sec - before.tv_sec) * 1'000'000'000L + (after.tv_nsec - before.tv_nsec), 10'000'000L);
  desk.Advance(milliseconds(10'000), loop.hwnd());
  EXPECT_EQ(rec.Count(WM_TIMER), 1u);
}

// A host whose events arrive on a descriptor, or wait already read in its own queue (as X11's do
// once XPending has read them): the loop must serve both.
class FdHost final : public platform::host::HeadlessHost {
 public:
  int EventFd() override { return fd; }
  bool HasPendingEvents() override { return queued > 0; }
  void DispatchEvents() override {
    std::uint64_t n;
    while (read(fd, &n, sizeof n) > 0) queued += static_cast<int>(n);
    for (; queued > 0; --queued) platform::ui::HostPointerMove(target, POINT{1, 1});
  }
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::atomic<int> queued{0};
  HWND target = nullptr;
};

TEST(MessageLoop, ServesTheHostsDescriptorAndTheEventsItAlreadyRead) {
  platform::kernel::SetClock(std::make_shared<ManualClock>());
  auto host = std::make_shared<FdHost>();
  platform::host::Install(host);
  Recorder rec;
  host->target = MakeWindow(&rec, RECT{0, 0, 10, 10});
  const std::uint64_t one = 1;
  ASSERT_EQ(write(host->fd, &one, sizeof one), 8);
  ASSERT_TRUE(platform::ui::WaitUntilIdle(host->target));
  EXPECT_EQ(rec.Count(WM_MOUSEMOVE), 1u);
  host->queued = 1;  // read off the descriptor earlier: polling it would never show this one
  ASSERT_TRUE(platform::ui::WaitUntilIdle(host->target));
  EXPECT_EQ(rec.Count(WM_MOUSEMOVE), 2u);
  DestroyWindow(host->target);
  platform::host::Install(nullptr);
  platform::kernel::SetClock(nullptr);
  close(host->fd);
}

TEST(FdWatch, TheOwnersLoopReadsAWatchedFdUntilUnwatchedOrTheWindowGoes) {
  HeadlessDesktop desk;
  Recorder rec;
  LoopThread loop(&rec);
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::vector<std::thread::id> readers;
  const auto reader = [&] {
    std::uint64_t n;
    if (read(fd, &n, sizeof n) > 0) readers.push_back(std::this_thread::get_id());
  };
  const auto signal = [&] {
    const std::uint64_t one = 1;
    EXPECT_EQ(write(fd, &one, sizeof one), 8);
    EXPECT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  };
  // Watched from another thread while the loop sleeps: the loop must pick the fd up at once.
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  ASSERT_TRUE(platform::ui::WatchFd(loop.hwnd(), fd, reader));
  EXPECT_FALSE(platform::ui::WatchFd(loop.hwnd(), fd, reader)) << "one watch per window and fd";
  signal();
  EXPECT_EQ(readers, std::vector<std::thread::id>{loop.id()});
  ASSERT_TRUE(platform::ui::CallOnWindowThread(loop.hwnd(), [&]() -> LRESULT { return platform::ui::UnwatchFd(loop.hwnd(), fd); }));
  signal();
  EXPECT_EQ(readers.size(), 1u);
  // A watch ends with its window.
  std::uint64_t n;
  ASSERT_EQ(read(fd, &n, sizeof n), 8);
  HWND extra = reinterpret_cast<HWND>(platform::ui::CallOnWindowThread(
      loop.hwnd(), [] { return reinterpret_cast<LRESULT>(MakeWindow(nullptr, RECT{0, 0, 5, 5}, nullptr, 0)); }));
  ASSERT_TRUE(platform::ui::WatchFd(extra, fd, reader));
  platform::ui::CallOnWindowThread(loop.hwnd(), [&]() -> LRESULT { return DestroyWindow(extra); });
  signal();
  EXPECT_EQ(readers.size(), 1u);
  EXPECT_FALSE(platform::ui::WatchFd(extra, fd, reader));
  close(fd);
}

}  // namespace
}  // namespace velmor::test
