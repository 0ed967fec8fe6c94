#include "platform/kernel/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/kernel/clock.h"
#include "tests/support/manual_clock.h"

using velmor::test::ManualClock;
using platform::kernel::Millis;

namespace {

class Sync : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = std::make_shared<ManualClock>();
    platform::kernel::SetClock(clock_);
  }
  void TearDown() override {
    platform::kernel::SetClock(nullptr);
    ASSERT_TRUE(platform::kernel::WaitForAllThreads(std::chrono::seconds(5)));
  }
  // Runs `wait` on a platform thread and returns its handle; the result lands in `result`.
  HANDLE WaitOn(HANDLE h, DWORD ms, std::atomic<DWORD>& result) {
    return platform::kernel::StartThread([h, ms, &result] {
      result = WaitForSingleObject(h, ms);
      return DWORD{0};
    });
  }
  std::shared_ptr<ManualClock> clock_;
};

}  // namespace

TEST_F(Sync, AManualResetEventStaysSetUntilResetAndEveryHandleClosesOnce) {
  const std::size_t before = platform::kernel::OpenHandleCount();
  HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  SetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(CloseHandle(manual));
  EXPECT_EQ(platform::kernel::OpenHandleCount(), before);
  for (HANDLE h : {HANDLE{nullptr}, manual, INVALID_HANDLE_VALUE}) {
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_FALSE(CloseHandle(manual));
  EXPECT_FALSE(SetEvent(manual));
}

TEST_F(Sync, SetWakesEveryWaiterOfAManualEventAndTimeOutsFollowThePlatformClock) {
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> r0{0xDEAD}, r1{0xDEAD}, r2{0xDEAD};
  HANDLE w0 = WaitOn(never, 5000, r0);
  HANDLE w1 = WaitOn(e, 5000, r1);
  HANDLE w2 = WaitOn(e, 5000, r2);
  ASSERT_TRUE(clock_->WaitForWaiters(3));
  clock_->Advance(Millis(4999));
  SetEvent(e);
  EXPECT_EQ(WaitForSingleObject(w1, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(w2, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(r1.load(), WAIT_OBJECT_0);
  EXPECT_EQ(r2.load(), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(w0, 0), WAIT_TIMEOUT) << "still waiting at 4999 ms";
  clock_->Advance(Millis(1));
  EXPECT_EQ(WaitForSingleObject(w0, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(r0.load(), WAIT_TIMEOUT);
  for (HANDLE h : {w0, w1, w2, never, e}) CloseHandle(h);
}

// The window's close asks its workers to stop: a wait ends at once, and the worker's own blocking
// calls (HTTP) see the request through its stop token.
TEST_F(Sync, StopRequestEndsAWaitAndIsVisibleToTheThread) {
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> result{0xDEAD};
  std::atomic<DWORD> error{0};
  std::atomic<bool> sawStop{false};
  HANDLE t = platform::kernel::StartThread([&] {
    result = WaitForSingleObject(e, INFINITE);
    error = GetLastError();
    sawStop = platform::kernel::CurrentStopToken().stop_requested();
    return DWORD{0};
  });
  ASSERT_TRUE(TerminateThread(t, 0));
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(result.load(), WAIT_FAILED);
  EXPECT_EQ(error.load(), ERROR_OPERATION_ABORTED);
  EXPECT_TRUE(sawStop.load());
  CloseHandle(t);
  CloseHandle(e);
}
