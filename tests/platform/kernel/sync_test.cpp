#include "platform/kernel/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

// The window's close stops the workers: a wait ends as soon as its thread is asked to stop, even
// with no time-out and an event nobody sets. Closed handles from then on only ever fail. (The
// five-second wait of a launch and its manual-reset event are the settings-launch tests' own.)
TEST(Sync, AStopEndsAWaitAndClosedHandlesOnlyEverFail) {
  const std::size_t before = platform::kernel::OpenHandleCount();
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> stopped{0xDEAD};
  HANDLE thread = platform::kernel::StartThread([never, &stopped] {
    const DWORD r = WaitForSingleObject(never, INFINITE);
    stopped = r == WAIT_FAILED && platform::kernel::CurrentStopToken().stop_requested() ? GetLastError() : r;
    return DWORD{0};
  });
  TerminateThread(thread, 0);
  EXPECT_TRUE(platform::kernel::WaitForAllThreads(std::chrono::seconds(10)));
  EXPECT_EQ(stopped.load(), ERROR_OPERATION_ABORTED);
  for (HANDLE h : {thread, never}) EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(platform::kernel::OpenHandleCount(), before);
  EXPECT_EQ(WaitForSingleObject(never, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(never));
}
