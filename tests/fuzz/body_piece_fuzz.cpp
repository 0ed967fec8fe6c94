// Arbitrary bodies through the HTTP body splitter, arriving in chunks. The first two bytes give the
// reader's piece size, the third the chunk size; the rest is the body. The pieces put back together
// are the body without its CR bytes, none is longer than asked, and LF only ever ends one.
#include <string>
#include <utility>

#include "platform/inet/transfer.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t maxBytes = (std::size_t{data[0]} << 8 | data[1]) % 2100;
  const std::size_t chunk = std::size_t{data[2]} + 1;
  const std::string_view body = FuzzText(data + 3, size - 3);
  std::string arrived, joined, piece, expected(body);
  std::erase(expected, '\r');
  std::size_t pos = 0;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    // A piece waits for its LF or its size unless the body has ended.
    if (!platform::inet::TakePiece(arrived, pos, maxBytes, piece) && arrived.size() < body.size()) {
      arrived.append(body.substr(arrived.size(), chunk));
      continue;
    }
    FUZZ_CHECK(pos <= arrived.size() && piece.size() <= maxBytes && piece.find('\r') == std::string::npos);
    FUZZ_CHECK(piece.find('\n') >= piece.size() - 1);  // none, or the last byte (always so when empty)
    if (piece.empty()) break;  // the body has ended (or the reader asked for nothing)
    joined += std::exchange(piece, std::string());
  }
  FUZZ_CHECK(maxBytes == 0 || joined == expected);
  return 0;
}
