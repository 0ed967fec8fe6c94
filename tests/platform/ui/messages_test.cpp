// Sending and posting across threads.
#include <gtest/gtest.h>

#include <future>
#include <latch>

#include "platform/base/errors.h"
#include "platform/ui/internal.h"
#include "tests/platform/ui/test_window.h"

namespace velmor::test {
namespace {

constexpr UINT kDouble = WM_APP + 1, kBlock = WM_APP + 2, kQueued = WM_APP + 3;

// Waits until `count` sent messages wait in the queue of `hwnd`'s thread.
void WaitForPendingSends(HWND hwnd, std::size_t count) {
  using namespace platform::ui::detail;
  std::unique_lock lk(Lock());
  auto w = FindLive(hwnd);
  ASSERT_NE(w, nullptr);
  auto q = w->queue;
  q->cv.wait(lk, [&] { return q->incoming.size() >= count; });
}

// While the owner is busy, a send waits for its answer and posts return at once, kept in order.
TEST(CrossThreadSend, WaitsForTheOwnerThreadsAnswerWhilePostsNeverWaitAndKeepTheirOrder) {
  std::promise<void> started;
  std::latch release(1);
  Recorder rec([&](HWND, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m != kBlock) return std::nullopt;
    started.set_value();
    release.wait();
    return static_cast<LRESULT>(w * 2);
  });
  LoopThread owner(&rec);
  auto answer = std::async(std::launch::async, [&] { return SendMessageW(owner.hwnd(), kBlock, 21, 0); });
  started.get_future().wait();
  EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  for (WPARAM i = 0; i < 3; ++i) EXPECT_TRUE(PostMessageW(owner.hwnd(), kQueued, i, 0));
  EXPECT_EQ(rec.Count(kQueued), 0u);
  release.count_down();
  EXPECT_EQ(answer.get(), 42);
  ASSERT_EQ(rec.Count(kBlock), 1u);
  EXPECT_EQ(rec.Of(kBlock)[0].thread, owner.id());
  ASSERT_TRUE(platform::ui::WaitUntilIdle(owner.hwnd()));
  auto queued = rec.Of(kQueued);
  ASSERT_EQ(queued.size(), 3u);
  for (WPARAM i = 0; i < 3; ++i) EXPECT_EQ(queued[i].wParam, i);
}

TEST(CrossThreadSend, DestroyingTheWindowReleasesEveryWaitingSenderWithZero) {
  std::promise<void> started;
  std::latch release(1);
  Recorder rec([&](HWND hwnd, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == kBlock) {
      started.set_value();
      release.wait();
      DestroyWindow(hwnd);
      return 1;
    }
    if (m == kQueued) return 99;
    return std::nullopt;
  });
  LoopThread owner(&rec);
  auto blocker = std::async(std::launch::async, [&] { return SendMessageW(owner.hwnd(), kBlock, 0, 0); });
  started.get_future().wait();
  auto first = std::async(std::launch::async, [&] { return SendMessageW(owner.hwnd(), kQueued, 0, 0); });
  auto second = std::async(std::launch::async, [&] { return SendMessageW(owner.hwnd(), kQueued, 0, 0); });
  WaitForPendingSends(owner.hwnd(), 2);
  release.count_down();
  EXPECT_EQ(blocker.get(), 1);
  EXPECT_EQ(first.get(), 0);
  EXPECT_EQ(second.get(), 0);
  EXPECT_EQ(rec.Count(kQueued), 0u);
}

// Gone by DestroyWindow, or with the thread that made it and never destroyed it.
TEST(CrossThreadSend, ToAWindowThatIsGoneReturnsZeroAtOnce) {
  Recorder rec;
  HWND destroyed = nullptr, orphan = nullptr;
  {
    LoopThread owner(&rec);
    destroyed = owner.hwnd();
  }
  std::thread([&] { orphan = MakeWindow(nullptr, RECT{0, 0, 5, 5}, nullptr, 0); }).join();
  for (HWND gone : {destroyed, orphan}) {
    EXPECT_FALSE(IsWindow(gone));
    SetLastError(0);
    EXPECT_EQ(SendMessageW(gone, kDouble, 1, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(platform::ui::CallOnWindowThread(gone, [] { return LRESULT{5}; }), 0);
    EXPECT_FALSE(PostMessageW(gone, kDouble, 1, 0));
  }
}

// A's handler asks B, whose handler asks A again while A waits for B's answer.
TEST(CrossThreadSend, TwoWindowThreadsMaySendToEachOther) {
  HWND a = nullptr, b = nullptr;
  Recorder recA([&](HWND, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m == kBlock) return SendMessageW(b, kDouble, w, 0);
    if (m == kDouble) return static_cast<LRESULT>(w + 1);
    return std::nullopt;
  });
  Recorder recB([&](HWND, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (m == kDouble) return SendMessageW(a, kDouble, w * 10, 0);
    return std::nullopt;
  });
  LoopThread threadA(&recA), threadB(&recB);
  a = threadA.hwnd();
  b = threadB.hwnd();
  EXPECT_EQ(SendMessageW(a, kBlock, 4, 0), 41);
}

TEST(CrossThreadCalls, StateChangesFromAWorkerRunOnTheOwnerBeforeTheyReturn) {
  Recorder rec;
  LoopThread owner(&rec);
  EXPECT_FALSE(EnableWindow(owner.hwnd(), FALSE));  // was enabled
  ASSERT_EQ(rec.Count(WM_ENABLE), 1u);
  EXPECT_EQ(rec.Of(WM_ENABLE)[0].thread, owner.id());
  EXPECT_FALSE(IsWindowEnabled(owner.hwnd()));
  EXPECT_TRUE(EnableWindow(owner.hwnd(), TRUE));  // was disabled
  EXPECT_TRUE(SetWindowPos(owner.hwnd(), nullptr, 5, 6, 30, 40, SWP_NOZORDER));
  ASSERT_EQ(rec.Count(WM_SIZE), 1u);
  EXPECT_EQ(rec.Of(WM_SIZE)[0].thread, owner.id());
  RECT r;
  GetWindowRect(owner.hwnd(), &r);
  EXPECT_EQ(r, (RECT{5, 6, 35, 46}));
}

}  // namespace
}  // namespace velmor::test
