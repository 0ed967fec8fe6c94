#include "platform/base/format.h"

#include <gtest/gtest.h>

#include <string>

using platform::Format;

// The conversions themselves are seen in the program's output by the probe, status and key tests.
// Untrusted text (an SSID, a router's header) comes out as it stands, directives and all, and a
// fixed buffer cuts it and stays terminated.
TEST(Format, UntrustedTextIsNeverAFormatAndAFixedBufferCutsIt) {
  EXPECT_EQ(Format(u"%s", u"%s%n%d"), u"%s%n%d");
  char small[8];
  EXPECT_EQ(sprintf_s(small, "%s", "0123456789"), -1);
  EXPECT_STREQ(small, "0123456");
}
