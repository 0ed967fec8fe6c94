#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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
    setenv("XDG_CACHE_HOME", (dir_ + "/cache").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("XDG_CACHE_HOME");
    chmod(dir_.c_str(), 0700);
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

// Where the mark cannot be made (a read-only folder, another user's folder or a link in its
// place), it moves on to the next private folder, and a second process finds it there. Where
// it can be made nowhere, the user is told once.
TEST_F(NamedEvent, AMarkThatCannotBeMadeInOnePlaceIsMadeInTheNext) {
  const std::string file = "velmor-test-" + std::to_string(getpid()) + ".event";
  const std::u16string name(file.begin(), file.end() - 6);
  const std::string tmp = "/tmp/velmor-" + std::to_string(geteuid());
  const std::string cache = dir_ + "/cache/velmor-manager";
  const struct {
    const char* what;
    std::vector<std::string> blocked;  // a folder in the mark's place
    bool runtimeOpenToOthers;
    std::string where;
  } cases[] = {
      {"runtime folder blocked", {dir_}, false, tmp},
      {"/tmp blocked too", {dir_, tmp}, false, cache},
      {"runtime folder open to others", {tmp}, true, cache},
      {"every folder blocked", {dir_, tmp, cache}, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    chmod(dir_.c_str(), c.runtimeOpenToOthers ? 0777 : 0700);
    for (const std::string& folder : {tmp, dir_ + "/cache", cache}) mkdir(folder.c_str(), 0700);
    for (const std::string& folder : {dir_, tmp, cache}) std::filesystem::remove_all(folder + "/" + file);
    for (const std::string& folder : c.blocked) std::filesystem::create_directory(folder + "/" + file);
    if (c.where.empty()) {
      testing::internal::CaptureStderr();
      EXPECT_EQ(CreateEventW(nullptr, FALSE, TRUE, name.c_str()), nullptr);
      EXPECT_EQ(CreateEventW(nullptr, FALSE, TRUE, name.c_str()), nullptr);
      const std::string said = testing::internal::GetCapturedStderr();
      EXPECT_EQ(said.find("second window"), said.rfind("second window")) << said;
      EXPECT_NE(said.find(cache), std::string::npos) << said;
      continue;
    }
    DWORD childError = 0xDEAD;
    const pid_t holder = HoldInChild(name.c_str(), &childError);
    EXPECT_EQ(childError, ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_regular_file(c.where + "/" + file));
    HANDLE second = CreateEventW(nullptr, FALSE, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(second);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
  }
  std::filesystem::remove_all(tmp + "/" + file);
}
