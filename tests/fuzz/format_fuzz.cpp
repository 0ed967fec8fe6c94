// Feeds arbitrary formats and arguments to the run-time formatter, byte and wide.
//
// The input is: one byte giving the number of arguments (up to 8), then per argument one kind
// byte and eight value bytes, then the format. String arguments take their text from the format's
// own bytes, so that texts with directives in them ("%s%n") are arguments too. A format that the
// formatter cannot expand must come out as written, never read past the arguments.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/format.h"

namespace {

constexpr std::size_t kArgBytes = 9;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t count = data[0] % 9;
  if (size < 1 + count * kArgBytes) return 0;
  const std::string_view format(reinterpret_cast<const char*>(data + 1 + count * kArgBytes),
                                size - 1 - count * kArgBytes);
  std::u16string wideFormat;
  for (std::size_t i = 0; i + 1 < format.size(); i += 2) {
    wideFormat.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(format[i]) |
                                               static_cast<std::uint8_t>(format[i + 1]) << 8));
  }

  std::vector<platform::FormatArg> args(count);
  for (std::size_t n = 0; n < count; ++n) {
    const std::uint8_t* p = data + 1 + n * kArgBytes;
    std::uint64_t value = 0;
    std::memcpy(&value, p + 1, sizeof value);
    platform::FormatArg& a = args[n];
    const int bitsChoice[] = {8, 16, 32, 64};
    a.bits = bitsChoice[(p[0] >> 3) & 3];
    switch (p[0] % 6) {
      case 0:
        a.kind = platform::FormatArg::Kind::Signed;
        a.i = static_cast<long long>(value);
        a.u = value;
        break;
      case 1:
        a.kind = platform::FormatArg::Kind::Unsigned;
        a.i = static_cast<long long>(value);
        a.u = value;
        break;
      case 2:
        a.kind = platform::FormatArg::Kind::Char;
        a.u = value;
        break;
      case 3:
        a.kind = platform::FormatArg::Kind::Narrow;
        a.narrow = format.substr(value % (format.size() + 1), value >> 32 & 0xFF);
        break;
      case 4:
        a.kind = platform::FormatArg::Kind::Wide;
        a.wide = std::u16string_view(wideFormat).substr(value % (wideFormat.size() + 1), value >> 32 & 0xFF);
        break;
      case 5:
        a.kind = (p[0] & 0x40) ? platform::FormatArg::Kind::Wide : platform::FormatArg::Kind::Narrow;
        a.null = true;
        break;
    }
  }

  const std::string narrow = platform::VFormat(format, args);
  const std::u16string wide = platform::VFormat(std::u16string_view(wideFormat), args);
  // Without a conversion the format is the text, whatever the arguments.
  if (format.find('%') == std::string_view::npos && narrow != format) __builtin_trap();
  if (wideFormat.find(u'%') == std::u16string::npos && wide != wideFormat) __builtin_trap();
  return 0;
}
