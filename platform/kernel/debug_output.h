// The debugger output: where OutputDebugStringW writes.
#pragma once

#include <functional>
#include <string_view>

#include "platform/base/types.h"

// Writes the text, converted to UTF-8, to standard error in one write, so that texts from
// concurrent callers never interleave. Nothing is added to it.
void OutputDebugStringW(LPCWSTR text);

namespace platform::kernel {

// Receives each OutputDebugStringW text whole. Tests install one to read the trace; an empty
// sink restores standard error.
using DebugOutputSink = std::function<void(std::u16string_view text)>;
void SetDebugOutputSink(DebugOutputSink sink);

}  // namespace platform::kernel
