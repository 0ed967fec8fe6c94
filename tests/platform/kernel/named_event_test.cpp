#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/kernel/named_mark.h"
#include "platform/kernel/sync.h"

namespace {

// Every test gets a runtime folder of its own, so that a running instance of the program on the
// same machine never meets the test's names.
class NamedEvent : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/velmor-named-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(dir_);
  }

  // A child process that takes the name and reports the last error through a pipe, then waits to
  // be killed.
  pid_t HoldInChild(LPCWSTR name, DWORD* childError) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      CreateEventW(nullptr, FALSE, TRUE, name);
      const DWORD err = GetLastError();
      if (write(fds[1], &err, sizeof err) != sizeof err) _exit(2);
      for (;;) pause();
    }
    close(fds[1]);
    EXPECT_EQ(read(fds[0], childError, sizeof *childError), static_cast<ssize_t>(sizeof *childError));
    close(fds[0]);
    return pid;
  }

  std::string dir_;
};

}  // namespace

TEST_F(NamedEvent, SecondProcessSeesTheNameTakenUntilTheFirstDies) {
  DWORD childError = 0xDEAD;
  const pid_t holder = HoldInChild(u"Velmor_manager", &childError);
  EXPECT_EQ(childError, ERROR_SUCCESS);

  HANDLE second = CreateEventW(nullptr, FALSE, TRUE, u"Velmor_manager");
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(second);

  // SIGKILL runs no clean-up of the holder's: the kernel alone must give the name back.
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  HANDLE third = CreateEventW(nullptr, FALSE, TRUE, u"Velmor_manager");
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  // Within one process a name is one event, as on the real platform.
  HANDLE again = CreateEventW(nullptr, FALSE, FALSE, u"Velmor_manager");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  SetEvent(again);
  EXPECT_EQ(WaitForSingleObject(third, 0), WAIT_OBJECT_0);
  CloseHandle(again);
  CloseHandle(third);
}

TEST_F(NamedEvent, HostileNamesStayInsideTheFolder) {
  HANDLE h = CreateEventW(nullptr, FALSE, FALSE, u"../../escape/\u8a2d\u5b9a");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().parent_path(), std::filesystem::path(dir_));
    ++files;
  }
  EXPECT_EQ(files, 1);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir_).parent_path().parent_path() / "escape"));
  CloseHandle(h);
}

TEST_F(NamedEvent, AnUnsafeRuntimeFolderIsNotUsed) {
  // A folder others can write to could be pre-filled with a link; the mark goes elsewhere.
  chmod(dir_.c_str(), 0777);
  EXPECT_NE(platform::kernel::NamedMarkDirectory(), dir_);
}
