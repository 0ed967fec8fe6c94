// Waiting for a window thread to come to rest, through the message loop's about-to-block hook.
#pragma once

#include <chrono>

#include "platform/ui/ui.h"

namespace velmor::test {

// Waits, for at most `timeout`, until the thread that owns `hwnd` has nothing left to do (no
// message, paint or due timer) and its loop is back in its wait; on that thread itself, serves
// what is waiting instead. False on time-out or for a window that is gone.
bool WaitUntilIdle(HWND hwnd, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace velmor::test
