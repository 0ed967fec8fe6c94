// The debugger output, where OutputDebugStringW writes, and the process's other lines on standard
// output and standard error.
//
// A text goes out whole, in one write, while the reader has room for it; texts of concurrent
// callers never interleave. A reader that is slow, gone or never there loses text, but never holds
// up the writer (a detection pass prints on every run) and never ends the process (SIGPIPE is
// ignored from the first write on).
#pragma once

#include <functional>
#include <string_view>

#include "platform/base/types.h"

// Writes the text, converted to UTF-8, to standard error. Nothing is added to it.
void OutputDebugStringW(LPCWSTR text);

namespace platform::kernel {

// Receives each OutputDebugStringW text whole. Tests install one to read the trace; an empty
// sink restores standard error.
using DebugOutputSink = std::function<void(std::u16string_view text)>;
void SetDebugOutputSink(DebugOutputSink sink);

void WriteStandardOutput(std::string_view utf8);

// Tells whoever started the program, on standard error, about a failure they can put right:
// "program: text\n".
void TellUser(std::string_view text);

}  // namespace platform::kernel
