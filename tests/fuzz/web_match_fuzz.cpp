// Feeds arbitrary router answers to the probe's two tests: the marker in a piece of the body and
// the realm in the head, the head going through the same code-page conversion as the live one.
//
// The piece is placed in a zeroed 2048-byte line buffer exactly as the line reader leaves it (at
// most 2046 bytes, then zeros), so a search that ran past the terminator would be caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/codepage.h"
#include "probe/check_velmor_web.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  char szLine[2048];
  std::memset(szLine, 0, sizeof szLine);
  const std::string_view piece = input.substr(0, 2046);
  std::memcpy(szLine, piece.data(), piece.size());
  const std::string_view untilZero = piece.substr(0, piece.find('\0'));
  const bool marker = untilZero.find("Kavel-7100 ") != std::string_view::npos;
  if ((LineHoldsMarker(szLine) != FALSE) != marker) __builtin_trap();

  const std::u16string strHeaders = platform::AnsiToWide(input);
  const bool realm = strHeaders.find(u"Kavel-7100 Web CU") != std::u16string::npos;
  if ((HeadersHoldRealm(strHeaders) != FALSE) != realm) __builtin_trap();
  // ASCII survives the conversion, so the realm in plain bytes is always seen.
  if (input.find("Kavel-7100 Web CU") != std::string_view::npos && !realm) __builtin_trap();
  return 0;
}
