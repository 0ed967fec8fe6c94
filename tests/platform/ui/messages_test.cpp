// Messages between threads, the message loop and its order, timers on the platform clock, and
// the descriptors a loop watches. The host's own descriptor and the events it already read are
// served in the X11 host's tests and end to end.
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <latch>

#include "platform/base/errors.h"
#include "platform/ui/internal.h"
#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"
#include "tests/support/window_rest.h"

namespace velmor::test {
namespace {

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
  ASSERT_TRUE(velmor::test::WaitUntilIdle(owner.hwnd()));
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
  // Three periods pass: a late loop gets one message per timer, not one per missed period.
  SetTimer(w, 1, 10, nullptr);
  desk.Clock().Advance(std::chrono::milliseconds(30));
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

// The loop reads a watched fd (the program's network changes) until it is unwatched or its window
// goes.
TEST(FdWatch, EndsWhenUnwatchedOrWithItsWindow) {
  HeadlessDesktop desk;
  Recorder rec;
  LoopThread loop(&rec);
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  int reads = 0;
  const auto reader = [&] {
    std::uint64_t n;
    if (read(fd, &n, sizeof n) > 0) ++reads;
  };
  const auto signal = [&] {
    const std::uint64_t one = 1;
    EXPECT_EQ(write(fd, &one, sizeof one), 8);
    EXPECT_TRUE(velmor::test::WaitUntilIdle(loop.hwnd()));
  };
  const auto onLoop = [&](const std::function<LRESULT()>& call) { return platform::ui::CallOnWindowThread(loop.hwnd(), call); };
  ASSERT_TRUE(onLoop([&]() -> LRESULT { return platform::ui::WatchFd(loop.hwnd(), fd, reader); }));
  signal();
  EXPECT_EQ(reads, 1);
  ASSERT_TRUE(onLoop([&]() -> LRESULT { return platform::ui::UnwatchFd(loop.hwnd(), fd); }));
  signal();
  EXPECT_EQ(reads, 1);
  std::uint64_t n;
  ASSERT_EQ(read(fd, &n, sizeof n), 8);
  onLoop([&]() -> LRESULT {
    HWND extra = MakeWindow(nullptr, RECT{0, 0, 5, 5}, nullptr, 0);
    platform::ui::WatchFd(extra, fd, reader);
    return DestroyWindow(extra);
  });
  signal();
  EXPECT_EQ(reads, 1);
  close(fd);
}

}  // namespace
}  // namespace velmor::test
