// ShellExecuteW through the real spawn: what reaches xdg-open, that the call does not wait for it,
// that the child does not linger, and what the user is told when it cannot start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/shell/shell.h"

namespace {

INT_PTR Open(LPCWSTR verb, LPCWSTR file) {
  return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, verb, file, nullptr, nullptr, 1));
}

// A folder of the test's own at the front of PATH, or as the whole of it.
class PathFolder {
 public:
  explicit PathFolder(bool alone) {
    char pattern[] = "/tmp/velmor-shell-XXXXXX";
    dir = mkdtemp(pattern);
    old_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (alone ? dir : dir + ":" + old_).c_str(), 1);
  }
  ~PathFolder() {
    setenv("PATH", old_.c_str(), 1);
    std::filesystem::remove_all(dir);
  }
  std::string dir;

 private:
  std::string old_;
};

}  // namespace

TEST(ShellExecute, SaysWhyTheBrowserCannotStartAndRefusesWhatItCannotOpen) {
  PathFolder empty(true);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Open(u"", u"http://a"), SE_ERR_FNF);
  EXPECT_EQ(Open(u"print", u"http://b"), SE_ERR_NOASSOC);
  EXPECT_EQ(Open(u"open", u""), SE_ERR_FNF);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string(program_invocation_short_name) +
                ": cannot open http://a in the browser: xdg-open is not on PATH (it comes with xdg-utils)\n");
}

// The text reaches xdg-open as one argument, never through a shell; the call returns while the
// child runs, and the child is reaped once it ends.
TEST(ShellExecute, HandsTheTextToXdgOpenWithoutAShellOrAWaitAndReapsIt) {
  PathFolder fake(false);
  std::ofstream(fake.dir + "/xdg-open") << "#!/bin/sh\nprintf '%s|%s|%s' \"$$\" \"$#\" \"$1\" > \"$(dirname \"$0\")/args\"\n"
                                           "read line < \"$(dirname \"$0\")/go\"\n";
  chmod((fake.dir + "/xdg-open").c_str(), 0700);
  const std::string go = fake.dir + "/go";
  ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
  ASSERT_GT(Open(u"open", u"http://127.0.0.1/a b;$(id) `id` \"q\" 'q' \u8a2d"), 32);
  // The child now waits on the fifo: the call returned while it runs.
  const int writer = open(go.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "x\n", 2), 2);
  close(writer);
  std::ifstream args(fake.dir + "/args");
  pid_t pid = 0;
  char bar = 0;
  std::string text;
  args >> pid >> bar;
  std::getline(args, text);
  EXPECT_EQ(text, "1|http://127.0.0.1/a b;$(id) `id` \"q\" 'q' \xE8\xA8\xAD");
  // A child that nobody reaps stays a zombie, which signal 0 still reaches.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (kill(pid, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_NE(kill(pid, 0), 0);
}
