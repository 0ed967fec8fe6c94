#include "platform/kernel/debug_output.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/service.h"

namespace platform::kernel {
namespace {

constinit Service<DebugOutputSink> g_sink;

// One text at a time, so that the texts of concurrent callers never interleave.
std::mutex g_writeMutex;

// A reader that has gone must cost the text, not the process. A handler someone installed is
// left alone.
void IgnoreBrokenPipes() {
  static const bool done = [] {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

// A description of the same pipe or terminal that is ours alone. O_NONBLOCK on the inherited one
// would reach the shell and every other process that shares it.
int OwnNonBlockingDescription(int fd) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

void WriteAtOnce(int fd, std::string_view text) {
  IgnoreBrokenPipes();
  std::lock_guard g(g_writeMutex);
  struct stat st {};
  if (text.empty() || fstat(fd, &st) != 0) return;
  const bool socket = S_ISSOCK(st.st_mode);
  int own = -1;
  if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
    own = OwnNonBlockingDescription(fd);
    if (own < 0 && errno == ENXIO) return;  // a pipe that nobody reads
  }
  // Without a description of our own (no /proc, a pipe made by another user), a pipe or terminal
  // gets text only while poll finds room, in pieces the kernel writes whole once it has room.
  const bool guarded = own < 0 && !socket && !S_ISREG(st.st_mode);
  while (!text.empty()) {
    ssize_t n = -1;
    if (socket) {
      n = send(fd, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    } else if (!guarded) {
      n = write(own >= 0 ? own : fd, text.data(), text.size());
    } else {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) break;
      n = write(fd, text.data(), std::min<std::size_t>(text.size(), PIPE_BUF));
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  if (own >= 0) close(own);
}

}  // namespace

void SetDebugOutputSink(DebugOutputSink sink) {
  g_sink.Set(sink ? std::make_shared<DebugOutputSink>(std::move(sink)) : nullptr);
}

void WriteStandardOutput(std::string_view utf8) { WriteAtOnce(STDOUT_FILENO, utf8); }

void TellUser(std::string_view text) {
  WriteAtOnce(STDERR_FILENO, std::string(program_invocation_short_name) + ": " + std::string(text) + "\n");
}

}  // namespace platform::kernel

void OutputDebugStringW(LPCWSTR text) {
  if (text == nullptr) return;
  const std::shared_ptr<platform::kernel::DebugOutputSink> sink = platform::kernel::g_sink.Get();
  const std::u16string_view view(text, platform::WideLength(text));
  if (sink) {
    (*sink)(view);
  } else {
    platform::kernel::WriteAtOnce(STDERR_FILENO, platform::Utf16ToUtf8(view));
  }
}
