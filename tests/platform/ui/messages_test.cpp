// Messages between threads, and the message loop's order with timers on the platform clock.
#include <gtest/gtest.h>

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
  SetLastError(0);
  EXPECT_EQ(SendMessageW(gone, kAsk, 1, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(PostMessageW(gone, kAsk, 1, 0));
}

TEST(MessageLoop, SentBeforePostedBeforeInputBeforePaintBeforeTimers) {
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
}

}  // namespace
}  // namespace velmor::test
