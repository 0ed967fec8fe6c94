// Feeds arbitrary bodies to the HTTP body splitter as they might arrive from the network.
//
// The first two bytes give the reader's piece size, the third the size of the arrival chunks; the
// rest is the body. Whatever the bytes, the pieces put back together are the body without its CR
// bytes, no piece is longer than asked, and LF only ever ends a piece.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/inet/transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t maxBytes = (std::size_t{data[0]} << 8 | data[1]) % 2100;
  const std::size_t chunk = std::size_t{data[2]} + 1;
  const std::string_view body(reinterpret_cast<const char*>(data + 3), size - 3);

  std::string expected;
  for (const char c : body) {
    if (c != '\r') expected.push_back(c);
  }

  // The buffer grows chunk by chunk, as the connection delivers; a piece waits for its LF or its
  // size unless the body has ended.
  std::string arrived;
  std::size_t pos = 0;
  std::size_t fed = 0;
  std::string joined;
  std::string piece;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    const bool complete = platform::inet::TakePiece(arrived, pos, maxBytes, piece);
    if (!complete && fed < body.size()) {
      const std::size_t n = std::min(chunk, body.size() - fed);
      arrived.append(body.substr(fed, n));
      fed += n;
      continue;
    }
    if (pos > arrived.size()) __builtin_trap();
    if (piece.size() > maxBytes) __builtin_trap();
    const std::size_t lf = piece.find('\n');
    if (lf != std::string::npos && lf + 1 != piece.size()) __builtin_trap();
    if (piece.find('\r') != std::string::npos) __builtin_trap();
    if (piece.empty()) break;  // the body has ended (or the reader asked for nothing)
    joined += piece;
    piece.clear();
  }
  if (maxBytes > 0 && joined != expected) __builtin_trap();
  return 0;
}
