// The debug trace: printf-style lines on the debugger output while the switch is on.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

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

// Text from outside the program (an adapter's texts, an SSID, a router's answer) as the trace
// carries it: every control character (U+0000 to U+001F, U+007F, U+0080 to U+009F) is written as
// the visible escape "\xNN", and every bidirectional control (U+202A to U+202E, U+2066 to U+2069)
// as "\uNNNN", so that a terminal showing the trace never acts on it nor reorders the line. A byte
// that is no text in the locale (kept by the ANSI code page) shows as "\xNN" too. Everything else
// stays as it is.
std::u16string EscapeControls(std::u16string_view text);
// The same for an HTTP head, whose CR LF line ends and tabs are its layout and stay; a CR or LF
// on its own is escaped like any other control character.
std::u16string EscapeControlsInHead(std::u16string_view head);
