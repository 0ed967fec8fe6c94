#include "platform/kernel/debug_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/codepage.h"

namespace {

// Points stderr at a pipe for the test's lifetime and reads back what arrived.
class StderrPipe {
 public:
  StderrPipe() {
    EXPECT_EQ(pipe2(fds_, O_CLOEXEC), 0);
    fcntl(fds_[0], F_SETPIPE_SZ, 1 << 20);
    saved_ = dup(STDERR_FILENO);
    dup2(fds_[1], STDERR_FILENO);
  }
  ~StderrPipe() { Restore(); }
  std::string Drain() {
    Restore();
    close(fds_[1]);
    std::string all;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds_[0], buf, sizeof buf)) > 0) all.append(buf, static_cast<std::size_t>(n));
    close(fds_[0]);
    return all;
  }

 private:
  void Restore() {
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
      saved_ = -1;
    }
  }
  int fds_[2];
  int saved_ = -1;
};

}  // namespace

TEST(DebugOutput, WritesUtf8ToStderrAsItStands) {
  StderrPipe pipe;
  OutputDebugStringW(u"Debug Message ON!");
  OutputDebugStringW(u"\u8a2d\u5b9a\n");
  EXPECT_EQ(pipe.Drain(), "Debug Message ON!\xE8\xA8\xAD\xE5\xAE\x9A\n");
}

TEST(DebugOutput, ConcurrentTextsNeverInterleave) {
  StderrPipe pipe;
  std::vector<std::thread> threads;
  for (char c = 'a'; c < 'a' + 8; ++c) {
    threads.emplace_back([c] {
      const std::u16string text = u"<" + std::u16string(2000, static_cast<char16_t>(c)) + u">";
      for (int i = 0; i < 20; ++i) OutputDebugStringW(text.c_str());
    });
  }
  for (auto& t : threads) t.join();
  const std::string all = pipe.Drain();
  ASSERT_EQ(all.size(), 8u * 20u * 2002u);
  for (std::size_t pos = 0; pos < all.size(); pos += 2002) {
    ASSERT_EQ(all[pos], '<');
    ASSERT_EQ(all[pos + 2001], '>');
    EXPECT_EQ(all.find_first_not_of(all[pos + 1], pos + 1), pos + 2001) << "a text was split at " << pos;
  }
}

// A pass prints on every run, so neither a reader that has gone (SIGPIPE) nor a full pipe that
// nobody reads may stop it: the text is lost instead. Run in a child process, which exits 0 when
// the write came back and left the shared pipe as it was.
void WriteIntoABadPipe(bool readerGone, int fd) {
  alarm(10);  // a writer that waits for the reader never comes back by itself
  std::fflush(nullptr);  // nothing of the test's own may be left to write into the full pipe
  int p[2];
  if (pipe(p) != 0) _exit(2);
  if (readerGone) {
    close(p[0]);
  } else {
    const std::array<char, 4096> block{};
    fcntl(p[1], F_SETFL, O_NONBLOCK);
    while (write(p[1], block.data(), block.size()) > 0) {
    }
    fcntl(p[1], F_SETFL, 0);  // as a shell hands it over
  }
  dup2(p[1], fd);
  if (fd == STDOUT_FILENO) {
    platform::kernel::WriteStandardOutput("  InterfaceGUID[0]: wlan0\n");
  } else {
    OutputDebugStringW(u"+ConnectionCheckThread");
  }
  _exit((fcntl(fd, F_GETFL) & O_NONBLOCK) != 0 ? 1 : 0);
}

TEST(DebugOutput, AReaderThatIsGoneOrNeverReadsCostsTheTextAndNothingElse) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const bool readerGone : {true, false}) {
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      EXPECT_EXIT(WriteIntoABadPipe(readerGone, fd), testing::ExitedWithCode(0), "")
          << (readerGone ? "reader gone, " : "pipe full, ") << (fd == STDOUT_FILENO ? "stdout" : "stderr");
    }
  }
}
