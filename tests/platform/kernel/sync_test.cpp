#include "platform/kernel/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/kernel/clock.h"
#include "tests/support/manual_clock.h"

using platform::kernel::Millis;

namespace {

// Waits on a platform thread; the result lands in `result`, or the last error for a wait that
// failed once the thread was asked to stop.
HANDLE WaitOn(HANDLE h, DWORD ms, std::atomic<DWORD>& result) {
  return platform::kernel::StartThread([h, ms, &result] {
    const DWORD r = WaitForSingleObject(h, ms);
    result = r == WAIT_FAILED && platform::kernel::CurrentStopToken().stop_requested() ? GetLastError() : r;
    return DWORD{0};
  });
}

}  // namespace

// A settings launch waits up to five seconds of the platform clock for the pass's manual-reset
// event; the window's close stops the workers (their waits end, their HTTP calls see the stop
// token) and closes handles, which from then on only ever fail.
TEST(Sync, EventsWaitsAndStopsAsTheDetectionPassAndTheWindowUseThem) {
  auto clock = std::make_shared<velmor::test::ManualClock>();
  platform::kernel::SetClock(clock);
  const std::size_t before = platform::kernel::OpenHandleCount();
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> timedOut{0xDEAD}, woken{0xDEAD}, stopped{0xDEAD};
  HANDLE threads[] = {WaitOn(never, 5000, timedOut), WaitOn(e, 5000, woken), WaitOn(never, INFINITE, stopped)};
  ASSERT_TRUE(clock->WaitForWaiters(2));
  clock->Advance(Millis(4999));
  SetEvent(e);
  EXPECT_EQ(WaitForSingleObject(threads[1], INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(woken.load(), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0) << "a manual-reset event stays set";
  ResetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(threads[0], 0), WAIT_TIMEOUT) << "still waiting at 4999 ms";
  clock->Advance(Millis(1));
  TerminateThread(threads[2], 0);
  EXPECT_TRUE(platform::kernel::WaitForAllThreads(std::chrono::seconds(10)));
  EXPECT_EQ(timedOut.load(), WAIT_TIMEOUT);
  EXPECT_EQ(stopped.load(), ERROR_OPERATION_ABORTED);
  for (HANDLE h : {threads[0], threads[1], threads[2], never, e}) EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(platform::kernel::OpenHandleCount(), before);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(e));
  platform::kernel::SetClock(nullptr);
}
