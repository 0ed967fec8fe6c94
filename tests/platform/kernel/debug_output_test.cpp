#include "platform/kernel/debug_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace {

enum class Reader { Reads, Gone, NeverReads };

// A pass prints on every run, so neither a reader that has gone (SIGPIPE) nor a full pipe that
// nobody reads may stop it: the text is lost instead. In a child process, which exits 0 when the
// write came back, left the shared pipe as it was, and gave a reader the UTF-8 text alone.
void WriteIntoAPipe(Reader reader, int fd) {
  alarm(10);  // a writer that waits for the reader never comes back by itself
  std::fflush(nullptr);  // nothing of the test's own may be left to write into the full pipe
  int p[2];
  if (pipe(p) != 0) _exit(2);
  if (reader == Reader::Gone) close(p[0]);
  if (reader == Reader::NeverReads) {
    const std::array<char, 4096> block{};
    fcntl(p[1], F_SETFL, O_NONBLOCK);
    while (write(p[1], block.data(), block.size()) > 0) continue;
    fcntl(p[1], F_SETFL, 0);  // as a shell hands it over
  }
  dup2(p[1], fd);
  const char* utf8 = "\xE8\xA8\xAD\xE5\xAE\x9A\n";
  fd == STDOUT_FILENO ? platform::kernel::WriteStandardOutput(utf8) : OutputDebugStringW(u"\u8a2d\u5b9a\n");
  if ((fcntl(fd, F_GETFL) & O_NONBLOCK) != 0) _exit(1);
  char got[16] = {};
  if (reader == Reader::Reads && (read(p[0], got, sizeof got) != 7 || std::strcmp(got, utf8) != 0)) _exit(3);
  _exit(0);
}

}  // namespace

TEST(DebugOutput, AReaderThatIsGoneOrNeverReadsCostsTheTextAndNothingElse) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const Reader reader : {Reader::Reads, Reader::Gone, Reader::NeverReads}) {
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      EXPECT_EXIT(WriteIntoAPipe(reader, fd), testing::ExitedWithCode(0), "")
          << "reader " << static_cast<int>(reader) << (fd == STDOUT_FILENO ? ", stdout" : ", stderr");
    }
  }
}
