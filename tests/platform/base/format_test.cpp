#include "platform/base/format.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/base/types.h"

using platform::Format;

// The conversions no other test sees in the program's own output.
TEST(Format, TheProgramsConversionsExpandExactlyAndUntrustedTextIsNeverAFormat) {
  EXPECT_EQ(Format(u"MediumType: %d\n", DWORD{9}), u"MediumType: 9\n");
  EXPECT_EQ(Format("\\\\.\\%s", "eth0"), "\\\\.\\eth0");
  // An SSID byte goes through %c as one character, whatever the byte.
  EXPECT_EQ(Format("%c", static_cast<unsigned char>(0xE3)), "\xE3");
  // Untrusted text (an SSID, a router's header) comes out as it stands, directives and all, and a
  // fixed buffer cuts it and stays terminated.
  EXPECT_EQ(Format(u"%s", u"%s%n%d"), u"%s%n%d");
  char small[8];
  EXPECT_EQ(sprintf_s(small, "%s", "0123456789"), -1);
  EXPECT_STREQ(small, "0123456");
}
