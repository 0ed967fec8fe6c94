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

// One process at a time holds a name, in the first private folder that can hold its mark (not a
// read-only folder or one open to others), until it ends however it ends.
// The runtime folder is the test's own.
TEST(NamedEvent, AMarkThatCannotBeMadeInOnePlaceIsMadeInTheNext) {
  char templ[] = "/tmp/velmor-named-XXXXXX";
  ASSERT_NE(mkdtemp(templ), nullptr);
  const std::string dir = templ;
  setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  // A name that would leave the folder if it were not escaped.
  const std::string id = "velmor-test-" + std::to_string(getpid());
  const std::u16string name = u"../" + std::u16string(id.begin(), id.end());
  const std::string file = "%2E.%2F" + id + ".event";
  const std::string tmp = "/tmp/velmor-" + std::to_string(geteuid());
  const std::string cache = dir + "/cache/velmor-manager";
  const struct {
    std::vector<std::string> blocked;  // a folder in the mark's place
    bool runtimeOpenToOthers;
    std::string where;
  } cases[] = {
      {{}, false, dir},
      {{dir}, false, tmp},
      {{tmp}, true, cache},  // the runtime folder is open to others
      {{dir, tmp, cache}, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    chmod(dir.c_str(), c.runtimeOpenToOthers ? 0777 : 0700);
    for (const std::string& folder : {tmp, dir + "/cache", cache}) mkdir(folder.c_str(), 0700);
    for (const std::string& folder : {dir, tmp, cache}) std::filesystem::remove_all(folder + "/" + file);
    for (const std::string& folder : c.blocked) std::filesystem::create_directory(folder + "/" + file);
    if (c.where.empty()) {
      EXPECT_EQ(CreateEventW(nullptr, FALSE, TRUE, name.c_str()), nullptr);
      continue;
    }
    // A child takes the name and stops; it holds the mark until it is killed.
    const pid_t holder = fork();
    if (holder == 0) {
      CreateEventW(nullptr, FALSE, TRUE, name.c_str());
      raise(SIGSTOP);
      _exit(0);
    }
    waitpid(holder, nullptr, WUNTRACED);
    EXPECT_TRUE(std::filesystem::is_regular_file(c.where + "/" + file));
    HANDLE second = CreateEventW(nullptr, FALSE, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    // SIGKILL runs no clean-up of the holder's: the kernel alone must give the name back.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    HANDLE third = CreateEventW(nullptr, FALSE, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    for (HANDLE h : {second, third}) CloseHandle(h);
  }
  std::filesystem::remove_all(tmp + "/" + file);
  chmod(dir.c_str(), 0700);
  std::filesystem::remove_all(dir);
}
