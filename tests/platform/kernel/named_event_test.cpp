#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/kernel/sync.h"

namespace {

// The test gets a runtime folder of its own, so that a running instance of the program on the
// same machine never meets its names.
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
  std::string dir_;
};

// A child process that takes the name and reports the last error through a pipe, then waits to
// be killed.
pid_t HoldInChild(LPCWSTR name, DWORD* childError) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
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

}  // namespace

// One process at a time holds a name, in the first private folder that can hold its mark (not a
// read-only folder, another user's folder or a link in its place), until it ends however it ends;
// a second process finds the mark there. Where it can be made nowhere, the user is told once.
TEST_F(NamedEvent, AMarkThatCannotBeMadeInOnePlaceIsMadeInTheNext) {
  // A name that would leave the folder if it were not escaped.
  const std::string id = "velmor-test-" + std::to_string(getpid());
  const std::u16string name = u"../" + std::u16string(id.begin(), id.end());
  const std::string file = "%2E.%2F" + id + ".event";
  const std::string tmp = "/tmp/velmor-" + std::to_string(geteuid());
  const std::string cache = dir_ + "/cache/velmor-manager";
  const struct {
    const char* what;
    std::vector<std::string> blocked;  // a folder in the mark's place
    bool runtimeOpenToOthers;
    std::string where;
  } cases[] = {
      {"runtime folder", {}, false, dir_},
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
    // SIGKILL runs no clean-up of the holder's: the kernel alone must give the name back.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    HANDLE third = CreateEventW(nullptr, FALSE, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(third);
  }
  std::filesystem::remove_all(tmp + "/" + file);
}
