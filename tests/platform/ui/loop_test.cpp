// The message loop: timers on the platform clock, waking, message order and the host's events.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

using std::chrono::milliseconds;

std::vector<WPARAM> TimerIds(const Recorder& rec) {
  std::vector<WPARAM> ids;
  for (const Seen& s : rec.Of(WM_TIMER)) ids.push_back(s.wParam);
  return ids;
}

TEST(Timers, FireOncePerDueTimeOnTheDrivenClock) {
  HeadlessDesktop desk;
  Recorder rec;
  HWND w = MakeWindow(&rec, RECT{0, 0, 10, 10}, nullptr, 0);
  ASSERT_EQ(SetTimer(w, 100, 1000, nullptr), 100u);
  ASSERT_EQ(SetTimer(w, 200, 300, nullptr), 200u);
  desk.Advance(milliseconds(299), w);
  EXPECT_TRUE(TimerIds(rec).empty());
  desk.Advance(milliseconds(1), w);
  EXPECT_EQ(TimerIds(rec), (std::vector<WPARAM>{200}));
  // A late loop gets one message per timer, earliest due first, not one for every missed period.
  desk.Advance(milliseconds(1000), w);
  EXPECT_EQ(TimerIds(rec), (std::vector<WPARAM>{200, 200, 100}));
  DestroyWindow(w);
}

TEST(Timers, SettingAnArmedIdRestartsItsCountdownAndKillStopsIt) {
  HeadlessDesktop desk;
  Recorder rec;
  HWND w = MakeWindow(&rec, RECT{0, 0, 10, 10}, nullptr, 0);
  SetTimer(w, 1, 100, nullptr);
  desk.Advance(milliseconds(60), w);
  SetTimer(w, 1, 100, nullptr);
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

TEST(Timers, AdvancingTheClockWakesALoopAsleepInItsWait) {
  HeadlessDesktop desk;
  Recorder rec;
  LoopThread loop(&rec);
  SetTimer(loop.hwnd(), 5, 10'000, nullptr);
  ASSERT_TRUE(platform::ui::WaitUntilIdle(loop.hwnd()));
  desk.Advance(milliseconds(10'000), loop.hwnd());
  ASSERT_EQ(rec.Count(WM_TIMER), 1u);
  EXPECT_EQ(rec.Of(WM_TIMER)[0].thread, loop.id());
}

TEST(MessageLoop, AnIdleLoopSleepsInsteadOfSpinning) {
  HeadlessDesktop desk;
  Recorder rec;
  std::atomic<pthread_t> handle{};
  std::promise<HWND> made;
  std::thread t([&] {
    handle = pthread_self();
    HWND w = MakeWindow(&rec, RECT{0, 0, 10, 10}, nullptr, 0);
    SetTimer(w, 1, 60'000, nullptr);
    made.set_value(w);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  });
  HWND w = made.get_future().get();
  ASSERT_TRUE(platform::ui::WaitUntilIdle(w));
  clockid_t cpu;
  ASSERT_EQ(pthread_getcpuclockid(handle.load(), &cpu), 0);
  timespec before{}, after{};
  clock_gettime(cpu, &before);
  std::this_thread::sleep_for(milliseconds(200));  // real time passes; the loop must not use it
  clock_gettime(cpu, &after);
  const auto used = (after.tv_sec - before.tv_sec) * 1'000'000'000L + (after.tv_nsec - before.tv_nsec);
  EXPECT_LT(used, 10'000'000L) << "the idle loop used " << used << " ns of CPU in 200 ms";
  platform::ui::CallOnWindowThread(w, [w]() -> LRESULT {
    DestroyWindow(w);
    PostQuitMessage(0);
    return 0;
  });
  t.join();
}

TEST(MessageLoop, SentBeforePostedBeforeInputBeforePaintBeforeTimers) {
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
  // The sent message arrives while this thread does not pump; wait for it to be queued.
  while (true) {
    MSG peek;
    if (!seen.empty()) break;
    PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE);
  }
  desk.Settle(w);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_APP, WM_USER, WM_MOUSEMOVE, WM_PAINT, WM_TIMER}));
  DestroyWindow(w);
}

TEST(MessageLoop, QuitEndsGetMessage) {
  HeadlessDesktop desk;
  PostQuitMessage(3);
  MSG msg;
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
}

// A host whose events arrive on a descriptor, or wait already read in its own queue.
class FdHost final : public platform::host::Host {
 public:
  FdHost() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~FdHost() override { close(fd_); }
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
  int EventFd() override { return fd_; }
  bool HasPendingEvents() override { return queued_ > 0; }
  void DispatchEvents() override {
    std::uint64_t n;
    while (read(fd_, &n, sizeof n) > 0) queued_ += static_cast<int>(n);
    for (; queued_ > 0; --queued_) platform::ui::HostPointerMove(target, POINT{1, 1});
  }
  void Arrive() {
    const std::uint64_t one = 1;
    ASSERT_EQ(write(fd_, &one, sizeof one), 8);
  }
  std::atomic<int> queued_{0};
  HWND target = nullptr;

 private:
  int fd_;
};

TEST(MessageLoop, ServesTheHostsDescriptorAndTheEventsItAlreadyRead) {
  auto clock = std::make_shared<platform::kernel::ManualClock>();
  platform::kernel::SetClock(clock);
  auto host = std::make_shared<FdHost>();
  platform::host::Install(host);
  Recorder rec;
  HWND w = MakeWindow(&rec, RECT{0, 0, 10, 10});
  host->target = w;
  host->Arrive();
  ASSERT_TRUE(platform::ui::WaitUntilIdle(w));
  EXPECT_EQ(rec.Count(WM_MOUSEMOVE), 1u);
  host->queued_ = 1;  // read off the descriptor earlier: polling it would never show this one
  ASSERT_TRUE(platform::ui::WaitUntilIdle(w));
  EXPECT_EQ(rec.Count(WM_MOUSEMOVE), 2u);
  DestroyWindow(w);
  platform::host::Install(nullptr);
  platform::kernel::SetClock(nullptr);
}

}  // namespace
}  // namespace velmor::test
