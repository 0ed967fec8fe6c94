#include "platform/base/format.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/base/types.h"

using platform::Format;
using platform::FormatArg;
using platform::VFormat;

namespace {

FormatArg Arg(FormatArg::Kind kind, long long i, std::string_view narrow = {}) {
  FormatArg a;
  a.kind = kind;
  a.i = i;
  a.narrow = narrow;
  return a;
}
FormatArg Int(long long v) { return Arg(FormatArg::Kind::Signed, v); }
FormatArg Text(std::string_view s) { return Arg(FormatArg::Kind::Narrow, 0, s); }

}  // namespace

TEST(Format, ProgramFormatsExpandExactly) {
  EXPECT_EQ(Format(u"QueryStatus code: %d", 200), u"QueryStatus code: 200");
  EXPECT_EQ(Format(u"MediumType: %d\n", DWORD{9}), u"MediumType: 9\n");
  EXPECT_EQ(Format(u"WlanOpenHandle failed with error: %u\n", DWORD{1062}),
            u"WlanOpenHandle failed with error: 1062\n");
  EXPECT_EQ(Format("\\\\.\\%s", "eth0"), "\\\\.\\eth0");
  EXPECT_EQ(Format("%s/%s", "192.168.0.1", "admin/pcapp.asp"), "192.168.0.1/admin/pcapp.asp");
  EXPECT_EQ(Format(u"SSID: %s", u"\u30ab\u30d9\u30eb"), u"SSID: \u30ab\u30d9\u30eb");
  EXPECT_EQ(Format(u"+%s", std::u16string(u"ConnectionCheckWaitThread")), u"+ConnectionCheckWaitThread");
  EXPECT_EQ(Format(u"  InterfaceGUID[%d]: %ws\n", 1, u"wlan0"), u"  InterfaceGUID[1]: wlan0\n");
  EXPECT_EQ(Format(u"100%%"), u"100%");
  EXPECT_EQ(Format(u"%hs", "abc"), u"abc");
  EXPECT_EQ(Format("%ls", u"abc"), "abc");
}

// A virtual-key code and an SSID byte both go through %c as one character.
TEST(Format, CharacterConversions) {
  EXPECT_EQ(Format(u"%c", 'Q'), u"Q");
  EXPECT_EQ(Format(u"%c", 81u), u"Q");
  EXPECT_EQ(Format("%c", static_cast<unsigned char>(0xE3)), "\xE3");
  // A wide format holds the byte's value as one UTF-16 unit, whatever the byte.
  EXPECT_EQ(Format(u"%c", static_cast<unsigned char>(0xE3)), std::u16string(1, char16_t{0xE3}));
}

TEST(Format, IntegersFollowPrintfReinterpretation) {
  EXPECT_EQ(Format(u"%d", 0xFFFFFFFFu), u"-1");
  EXPECT_EQ(Format(u"%u", -1), u"4294967295");
  EXPECT_EQ(Format(u"%d", -2147483647 - 1), u"-2147483648");
  EXPECT_EQ(Format("%05d|%-4d|%x|%X", -42, 7, 255u, 255u), "-0042|7   |ff|FF");
  EXPECT_EQ(Format("[%.3s][%5s]", "abcdef", "ab"), "[abc][   ab]");
}

TEST(Format, TextArgumentsAreNeverFormats) {
  // Untrusted text with directives in it comes out as it stands.
  EXPECT_EQ(Format(u"%s", u"%s%n%d"), u"%s%n%d");
  EXPECT_EQ(Format("%s", "%s%n"), "%s%n");
  const char* null = nullptr;
  EXPECT_EQ(Format("%s", null), "(null)");
}

TEST(Format, RunTimeFormatsNeverReadPastTheirArguments) {
  struct Case {
    std::string format;
    std::vector<FormatArg> args;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"%d %d %d", {Int(1)}, "1 %d %d"},
      {"%s", {}, "%s"},
      {"%q and %n and %", {Int(5)}, "%q and %n and %"},
      {"%5", {Int(5)}, "%5"},
      {"%d", {Text("x")}, "%d"},            // wrong kind: copied, the argument is used up
      {"%s|%d", {Int(3), Int(4)}, "%s|4"},  // a number for %s is never taken as a pointer
      {"%hs|%ls", {Text("ab"), Text("cd")}, "ab|%ls"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VFormat(c.format, c.args), c.expected) << c.format;
  }
}

TEST(Format, FixedBuffersCutAndTerminateAndLongResultsAreWhole) {
  char small[8];
  EXPECT_EQ(sprintf_s(small, "%s", "0123456789"), -1);
  EXPECT_STREQ(small, "0123456");
  char16_t line[128];
  EXPECT_EQ(swprintf_s(line, u"SSID: %s", u"abc"), 9);
  EXPECT_EQ(std::u16string(line), u"SSID: abc");
  EXPECT_EQ(Format(u"<%s>", std::u16string(10000, u'x')).size(), 10002u);
}
