// Waiting for a window thread to come to rest, through the message loop's about-to-block hook.
#pragma once

#include <chrono>

#include "platform/ui/ui.h"

namespace velmor::test {

// Waits, for at most `timeout` of real time, until the thread that owns `hwnd` has nothing left
// to do: no sent, posted or input message, no paint and no due timer, with its loop back in its
// wait. On that thread itself, serves what is waiting instead. Returns false on time-out or for a
// window that is gone.
bool WaitUntilIdle(HWND hwnd, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace velmor::test
