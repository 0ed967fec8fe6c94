// ShellExecuteW through the real spawn: what reaches xdg-open, that the call does not wait for it,
// and what the user is told when it cannot start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/shell/shell.h"

namespace {

// A folder of the test's own is the whole of PATH.
class ShellExecute : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmor-shell-XXXXXX";
    dir_ = mkdtemp(pattern);
    path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", path_.c_str(), 1);
    std::filesystem::remove_all(dir_);
  }
  static INT_PTR Open(LPCWSTR verb, LPCWSTR file) {
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, verb, file, nullptr, nullptr, 1));
  }
  std::string dir_, path_;
};

}  // namespace

TEST_F(ShellExecute, SaysWhyTheBrowserCannotStart) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(Open(u"", u"http://a"), SE_ERR_FNF);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string(program_invocation_short_name) +
                ": cannot open http://a in the browser: xdg-open is not on PATH (it comes with xdg-utils)\n");
}

// The text reaches xdg-open as one argument, never through a shell; the call returns while the
// child runs (it waits on a fifo).
TEST_F(ShellExecute, HandsTheTextToXdgOpenWithoutAShellOrAWait) {
  std::ofstream(dir_ + "/xdg-open") << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"${0%/*}/args\"\n"
                                       "read line < \"${0%/*}/go\"\n";
  chmod((dir_ + "/xdg-open").c_str(), 0700);
  ASSERT_EQ(mkfifo((dir_ + "/go").c_str(), 0600), 0);
  ASSERT_GT(Open(u"open", u"http://127.0.0.1/a b;$(id) `id` \"q\" 'q' \u8a2d"), 32);
  const int go = open((dir_ + "/go").c_str(), O_WRONLY);
  ASSERT_EQ(write(go, "x\n", 2), 2);
  close(go);
  std::string text;
  std::getline(std::ifstream(dir_ + "/args"), text);
  EXPECT_EQ(text, "1|http://127.0.0.1/a b;$(id) `id` \"q\" 'q' \xE8\xA8\xAD");
}
