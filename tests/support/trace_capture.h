// Collects what the program writes to the debugger output, for tests to read.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/kernel/debug_output.h"

namespace velmor::test {

// Installs itself as the debug output sink for its lifetime. Each text is kept as one entry,
// exactly as written (UTF-8).
class TraceCapture {
 public:
  TraceCapture() {
    platform::kernel::SetDebugOutputSink([this](std::u16string_view text) {
      std::lock_guard g(mutex_);
      lines_.push_back(platform::Utf16ToUtf8(text));
    });
  }
  ~TraceCapture() { platform::kernel::SetDebugOutputSink(nullptr); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::string> Lines() const {
    std::lock_guard g(mutex_);
    return lines_;
  }
  std::size_t Count(const std::string& line) const {
    std::lock_guard g(mutex_);
    return static_cast<std::size_t>(std::count(lines_.begin(), lines_.end(), line));
  }
  void Clear() {
    std::lock_guard g(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace velmor::test
