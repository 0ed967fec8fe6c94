// Feeds arbitrary bytes to the nl80211 answer reader as the kernel's datagrams.
//
// The input is split into datagrams at each 0xFF 0xFE 0xFD 0xFC marker, so that answers spread
// over several receives are reached too; each run reads them as a dump and as a single answer.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/net/nl80211_answer.h"

namespace {

constexpr std::uint16_t kFamily = 34;
constexpr std::uint32_t kSequence = 1;
constexpr std::string_view kSplit("\xFF\xFE\xFD\xFC", 4);

void ReadAll(std::span<const std::uint8_t> input, bool dump) {
  platform::net::Nl80211InterfaceAnswer answer(kFamily, kSequence, dump);
  const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(kSplit, start);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    answer.Feed(input.subspan(start, stop - start));
    if (end == std::string_view::npos) break;
    start = end + kSplit.size();
  }
  // Whatever the input, what comes out keeps the promises the callers rely on.
  for (const platform::net::Nl80211Interface& interface : answer.interfaces()) {
    if (interface.name.size() > 15 || interface.name.find('\0') != std::string::npos) __builtin_trap();
    if (interface.ssid && interface.ssid->size() > 32) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  ReadAll(input, true);
  ReadAll(input, false);
  return 0;
}
