#include "platform/base/format.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/base/types.h"

using platform::Format;

// Each conversion the program's formats use, once.
TEST(Format, TheProgramsConversionsExpandExactlyAndUntrustedTextIsNeverAFormat) {
  EXPECT_EQ(Format(u"MediumType: %d\n", DWORD{9}), u"MediumType: 9\n");
  EXPECT_EQ(Format(u"%d", 0xFFFFFFFFu), u"-1");  // as printf reads a DWORD
  EXPECT_EQ(Format(u"WlanOpenHandle failed with error: %u\n", DWORD{1062}),
            u"WlanOpenHandle failed with error: 1062\n");
  EXPECT_EQ(Format("\\\\.\\%s", "eth0"), "\\\\.\\eth0");
  EXPECT_EQ(Format(u"SSID: %s", u"\u30ab\u30d9\u30eb"), u"SSID: \u30ab\u30d9\u30eb");
  EXPECT_EQ(Format("  InterfaceGUID[%d]: %ws\n", 1, u"wlan0"), "  InterfaceGUID[1]: wlan0\n");
  // A virtual-key code and an SSID byte both go through %c as one character; a wide format holds
  // the byte's value as one UTF-16 unit, whatever the byte.
  EXPECT_EQ(Format(u"%c", 81u), u"Q");
  EXPECT_EQ(Format("%c", static_cast<unsigned char>(0xE3)), "\xE3");
  EXPECT_EQ(Format(u"%c", static_cast<unsigned char>(0xE3)), std::u16string(1, char16_t{0xE3}));
  // Untrusted text (an SSID, a router's header) comes out as it stands, directives and all, and a
  // fixed buffer cuts it and stays terminated.
  EXPECT_EQ(Format(u"%s", u"%s%n%d"), u"%s%n%d");
  EXPECT_EQ(Format("%s", "%s%n"), "%s%n");
  char small[8];
  EXPECT_EQ(sprintf_s(small, "%s", "0123456789"), -1);
  EXPECT_STREQ(small, "0123456");
  char16_t line[16];
  EXPECT_EQ(swprintf_s(line, u"SSID: %s", u"abc"), 9);
  EXPECT_EQ(std::u16string(line), u"SSID: abc");
}
