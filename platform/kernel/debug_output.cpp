#include "platform/kernel/debug_output.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>

#include "platform/base/codepage.h"

namespace platform::kernel {
namespace {

std::mutex g_sinkMutex;

std::shared_ptr<DebugOutputSink>& SinkSlot() {
  static auto* slot = new std::shared_ptr<DebugOutputSink>();
  return *slot;
}

void WriteToStderr(std::u16string_view text) {
  const std::string utf8 = Utf16ToUtf8(text);
  // One write per text. stderr is a pipe or a terminal, where a write of this size is not split
  // by the kernel unless a signal interrupts it; finish a short write rather than lose the rest.
  std::size_t done = 0;
  while (done < utf8.size()) {
    const ssize_t n = write(STDERR_FILENO, utf8.data() + done, utf8.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void SetDebugOutputSink(DebugOutputSink sink) {
  std::lock_guard g(g_sinkMutex);
  SinkSlot() = sink ? std::make_shared<DebugOutputSink>(std::move(sink)) : nullptr;
}

}  // namespace platform::kernel

void OutputDebugStringW(LPCWSTR text) {
  if (text == nullptr) return;
  std::shared_ptr<platform::kernel::DebugOutputSink> sink;
  {
    std::lock_guard g(platform::kernel::g_sinkMutex);
    sink = platform::kernel::SinkSlot();
  }
  const std::u16string_view view(text, platform::WideLength(text));
  if (sink) {
    (*sink)(view);
  } else {
    platform::kernel::WriteToStderr(view);
  }
}
