#include "platform/base/codepage.h"

#include <gtest/gtest.h>

#include <string>

// The ANSI code page (the C locale's ASCII goes the UTF-8 way) keeps each invalid byte, so that
// converting back gives it again (an interface name is any bytes); UTF-8 shows it as U+FFFD.
TEST(CodePage, Utf8DecodesAndInvalidBytesShowAsReplacementAndSurviveTheAnsiRoundTrip) {
  const struct {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xE8\xA8\xAD\xE5\xAE\x9A", u"\u8a2d\u5b9a"},
      {"\xF0\x9F\x93\xB6", u"\U0001F4F6"},    // outside the BMP: a surrogate pair
      {"a\xFF" "b", u"a\uFFFD" "b"},           // a byte that starts nothing
      {"\xE8\xA8", u"\uFFFD\uFFFD"},            // cut short at the end
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& c : cases) {
    if (c.out.find(u'\uFFFD') == std::u16string::npos) {
      EXPECT_EQ(platform::Utf16ToUtf8(c.out), c.in);
    }
    EXPECT_EQ(platform::Utf16ToUtf8(platform::AnsiToWide(c.in)), platform::Utf16ToUtf8(c.out)) << c.in;
    EXPECT_EQ(platform::WideToAnsi(platform::AnsiToWide(c.in)), c.in) << c.in;
  }
  // The program's own call: terminated input, its terminator converted too.
  WCHAR out[8];
  EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "abc", -1, out, 8), 4);
  EXPECT_EQ(std::u16string(out), u"abc");
}
