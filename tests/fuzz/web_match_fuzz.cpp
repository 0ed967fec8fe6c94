// Arbitrary router answers through the probe's marker search in a body piece, the code page the
// head takes, and the realm search in the head. The piece lies in a zeroed 2048-byte line buffer as
// the line reader leaves it (at most 2046 bytes), so a search past the terminator is caught.
#include <cstring>

#include "platform/base/codepage.h"
#include "probe/check_velmor_web.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = FuzzText(data, size);
  char szLine[2048] = {};
  const std::string_view piece = input.substr(0, 2046);
  std::memcpy(szLine, piece.data(), piece.size());
  const bool marker = piece.substr(0, piece.find('\0')).find("Kavel-7100 ") != std::string_view::npos;
  FUZZ_CHECK((LineHoldsMarker(szLine) != FALSE) == marker);

  // The code page keeps every byte, and ASCII as it is, so the realm in plain bytes is always seen.
  const std::u16string strHeaders = platform::AnsiToWide(input);
  FUZZ_CHECK(platform::WideToAnsi(strHeaders) == input);
  const bool realm = strHeaders.find(u"Kavel-7100 Web CU") != std::u16string::npos;
  FUZZ_CHECK((HeadersHoldRealm(strHeaders) != FALSE) == realm);
  FUZZ_CHECK(realm || input.find("Kavel-7100 Web CU") == std::string_view::npos);
  return 0;
}
