// The start-up takes the user's locale: byte text from the system (SSIDs, adapter texts) is read in
// the locale's codeset, through iconv where that is not UTF-8. A process of its own, as the
// start-up changes the process's locale.
#include "app/start_up.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/base/codepage.h"
#include "platform/inet/internet.h"

TEST(StartUp, ReadsByteTextInTheUsersLocale) {
  // The HTTP client, which the start-up loads on a thread of its own, is loaded first: the test
  // then never ends during that load, and the libraries it loads never see the test's locale
  // folder (glibc keeps the folder's name for good in each locale they make while it is set).
  ASSERT_TRUE(platform::inet::InitializeInternet());
  // A Latin-1 locale of the test's own, where the byte E9 is "é" and no UTF-8 at all; the machine's
  // locales do not matter.
  char dir[] = "/tmp/velmor-locale-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string make = std::string("localedef -i C -f ISO-8859-1 ") + dir + "/C.ISO-8859-1 >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << "localedef (package locales) is needed";
  setenv("LOCPATH", dir, 1);
  setenv("LC_ALL", "C.ISO-8859-1", 1);
  // Without a display the start-up ends where it would open the window, after the locale.
  unsetenv("DISPLAY");
  EXPECT_NE(RunVelmorManager("start_up_test", NetworkBackends{}), 0);
  EXPECT_EQ(platform::AnsiToWide("caf\xE9 \xFF"), u"caf\u00e9 \u00ff");
  EXPECT_EQ(platform::WideToAnsi(u"caf\u00e9\u8a2d"), "caf\xE9?") << "a character the codeset lacks";
  std::system((std::string("rm -rf ") + dir).c_str());
}
