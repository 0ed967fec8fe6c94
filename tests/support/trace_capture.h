// What the program writes to the debugger output while the object lives: each text one entry (UTF-8).
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/kernel/debug_output.h"

namespace velmor::test {

class TraceCapture {
 public:
  TraceCapture() {
    platform::kernel::SetDebugOutputSink([this](std::u16string_view text) {
      std::lock_guard g(mutex_);
      lines_.push_back(platform::Utf16ToUtf8(text));
    });
  }
  ~TraceCapture() { platform::kernel::SetDebugOutputSink(nullptr); }

  std::vector<std::string> Lines() const {
    std::lock_guard g(mutex_);
    return lines_;
  }
  int Count(const std::string& line) const { return static_cast<int>(std::ranges::count(Lines(), line)); }
  void Clear() {
    std::lock_guard g(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace velmor::test
