// The start-up takes the user's locale, byte text from the system read in its codeset; a process of
// its own, as the start-up changes the process's locale.
#include "app/start_up.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/base/codepage.h"
#include "platform/inet/internet.h"

TEST(StartUp, ReadsByteTextInTheUsersLocale) {
  // The HTTP client is loaded first: the test never ends during the start-up's load of it, and its
  // libraries never see the test's locale folder (glibc keeps that name in each locale they make).
  ASSERT_TRUE(platform::inet::InitializeInternet());
  // A Latin-1 locale of the test's own (E9 is "é"), whatever locales the machine has.
  char dir[] = "/tmp/velmor-locale-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string make = std::string("localedef -i C -f ISO-8859-1 ") + dir + "/C.ISO-8859-1 >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << "localedef (package locales) is needed";
  setenv("LOCPATH", dir, 1);
  setenv("LC_ALL", "C.ISO-8859-1", 1);
  // Without a display the start-up ends where it would open the window, after the locale.
  unsetenv("DISPLAY");
  EXPECT_NE(RunVelmorManager(NetworkBackends{}), 0);
  EXPECT_EQ(platform::AnsiToWide("caf\xE9 \xFF"), u"caf\u00e9 \u00ff");
  std::system((std::string("rm -rf ") + dir).c_str());
}

// A standard error that is a full pipe nobody reads costs the no-display message, never the end
// (in a child process, which exits 0 when the start-up came back).
TEST(StartUp, EndsWithoutAWindowThoughStandardErrorIsAFullPipeThatNobodyReads) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto start = [] {
    alarm(10);  // a writer that waits for the reader never comes back by itself
    int p[2];
    if (pipe2(p, O_NONBLOCK) != 0) _exit(2);
    while (write(p[1], "x", 1) > 0) continue;
    fcntl(p[1], F_SETFL, 0);  // as a shell hands it over
    dup2(p[1], STDERR_FILENO);
    unsetenv("DISPLAY");
    _exit(RunVelmorManager(NetworkBackends{}) == 1 ? 0 : 3);
  };
  EXPECT_EXIT(start(), testing::ExitedWithCode(0), "");
}
