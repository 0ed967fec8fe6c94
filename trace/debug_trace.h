// The debug trace: printf-style lines on the debugger output while the switch is on.
#pragma once

#include <atomic>
#include <string>

#include "platform/base/format.h"
#include "platform/kernel/debug_output.h"

// Off at start; the hidden key sequence in the main window flips it. Read on every thread.
extern std::atomic<bool> g_bDebugMessage;

// Formats and writes one trace text, exactly as formatted, in one OutputDebugStringW call.
// While the switch is off it only tests the switch.
template <class... Args>
void DebugMessage(platform::WFormatString<Args...> format, const Args&... args) {
  if (!g_bDebugMessage.load(std::memory_order_relaxed)) return;
  const std::u16string text = platform::Format<Args...>(format, args...);
  OutputDebugStringW(text.c_str());
}
