// ShellExecuteW: what it launches, how, and that the child does not linger.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/shell/shell.h"

namespace velmor::test {
namespace {

INT_PTR Code(HINSTANCE h) { return reinterpret_cast<INT_PTR>(h); }

class Recorded {
 public:
  explicit Recorded(int answer = 0) {
    platform::shell::SetLauncher([this, answer](const std::vector<std::string>& argv) {
      std::lock_guard g(mutex_);
      seen_.push_back(argv);
      return answer;
    });
  }
  ~Recorded() { platform::shell::SetLauncher(nullptr); }
  std::vector<std::vector<std::string>> Seen() {
    std::lock_guard g(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::vector<std::string>> seen_;
};

TEST(ShellExecute, HandsTheTextToXdgOpenAsOneArgumentWithoutAShell) {
  Recorded launches;
  const char16_t* texts[] = {u"http://192.168.8.1", u"http://x/;touch /tmp/pwned $(id) `id` \"q\" 'q'",
                             u"\u8a2d\u5b9a"};
  for (const char16_t* t : texts) EXPECT_GT(Code(ShellExecuteW(nullptr, u"open", t, nullptr, nullptr, 1)), 32);
  EXPECT_GT(Code(ShellExecuteW(nullptr, nullptr, u"http://a", u"ignored", u"/tmp", 1)), 32);
  EXPECT_GT(Code(ShellExecuteW(nullptr, u"", u"http://b", nullptr, nullptr, 1)), 32) << "the empty verb is the default";
  const auto seen = launches.Seen();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0], (std::vector<std::string>{"xdg-open", "http://192.168.8.1"}));
  EXPECT_EQ(seen[1], (std::vector<std::string>{"xdg-open", "http://x/;touch /tmp/pwned $(id) `id` \"q\" 'q'"}));
  EXPECT_EQ(seen[2], (std::vector<std::string>{"xdg-open", "\xe8\xa8\xad\xe5\xae\x9a"}));
  EXPECT_EQ(seen[3], (std::vector<std::string>{"xdg-open", "http://a"}));
  EXPECT_EQ(seen[4], (std::vector<std::string>{"xdg-open", "http://b"}));
}

TEST(ShellExecute, RefusesWhatItCannotOpenAndReportsALauncherThatCannotStart) {
  {
    Recorded launches;
    EXPECT_EQ(Code(ShellExecuteW(nullptr, u"open", u"", nullptr, nullptr, 1)), SE_ERR_FNF);
    EXPECT_EQ(Code(ShellExecuteW(nullptr, u"open", nullptr, nullptr, nullptr, 1)), SE_ERR_FNF);
    EXPECT_EQ(Code(ShellExecuteW(nullptr, u"print", u"http://a", nullptr, nullptr, 1)), SE_ERR_NOASSOC);
    EXPECT_TRUE(launches.Seen().empty());
  }
  // And through the real spawn: no xdg-open on PATH at all, which the user is told.
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", "/nonexistent-velmor-dir", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Code(ShellExecuteW(nullptr, u"open", u"http://a", nullptr, nullptr, 1)), SE_ERR_FNF);
  const std::string said = testing::internal::GetCapturedStderr();
  setenv("PATH", oldPath.c_str(), 1);
  EXPECT_NE(said.find("cannot open http://a in the browser: xdg-open is not on PATH"), std::string::npos) << said;
}

// A directory on PATH with a fake xdg-open.
class FakeXdgOpen {
 public:
  explicit FakeXdgOpen(const std::string& script) {
    char pattern[] = "/tmp/velmor-shell-XXXXXX";
    dir_ = mkdtemp(pattern);
    const std::string path = dir_ + "/xdg-open";
    std::ofstream(path) << "#!/bin/sh\n" << script;
    chmod(path.c_str(), 0700);
    oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir_ + ":" + oldPath_).c_str(), 1);
  }
  ~FakeXdgOpen() {
    setenv("PATH", oldPath_.c_str(), 1);
    std::filesystem::remove_all(dir_);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::string oldPath_;
};

// Waits (real time, bounded) until the process is gone, reaped by its parent.
bool Reaped(pid_t pid) {
  const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return errno == ESRCH;
  pollfd p{fd, POLLIN, 0};
  const bool exited = poll(&p, 1, 5000) == 1;
  close(fd);
  if (!exited) return false;
  // Exited; the reaper collects it in the background.
  for (int i = 0; i < 5000; ++i) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST(ShellSpawn, RunsTheProgramWithoutBlockingAndReapsIt) {
  FakeXdgOpen fake("printf '%s|%s|%s' \"$$\" \"$#\" \"$1\" > \"$(dirname \"$0\")/args\"\n"
                   "read line < \"$(dirname \"$0\")/go\"\n");
  const std::string go = fake.dir() + "/go";
  ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
  ASSERT_GT(Code(ShellExecuteW(nullptr, u"open", u"http://127.0.0.1/a b", nullptr, nullptr, 1)), 32);
  // The child now waits on the fifo: the call returned while it runs.
  const int writer = open(go.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "x\n", 2), 2);
  close(writer);
  std::ifstream args(fake.dir() + "/args");
  pid_t pid = 0;
  char bar = 0;
  std::string text;
  args >> pid >> bar;
  std::getline(args, text);
  EXPECT_EQ(text, "1|http://127.0.0.1/a b");
  EXPECT_TRUE(Reaped(pid));
}

}  // namespace
}  // namespace velmor::test
