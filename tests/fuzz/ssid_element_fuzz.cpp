// Feeds arbitrary bytes to the SSID element walk as a BSS's information elements. An SSID that
// comes back must be the data of a whole SSID element inside the input, and at most 32 bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/net/ssid_element.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> elements(data, size);
  if (const auto ssid = platform::net::FindSsidElement(elements)) {
    if (ssid->size() > 32) __builtin_trap();
    const std::size_t offset = static_cast<std::size_t>(ssid->data() - data);
    if (offset < 2 || offset > size || ssid->size() > size - offset) __builtin_trap();
    if (data[offset - 2] != 0 || data[offset - 1] != ssid->size()) __builtin_trap();
  }
  return 0;
}
