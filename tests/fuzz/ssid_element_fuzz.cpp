// Arbitrary bytes as a BSS's information elements: an SSID that comes back is the data of a whole
// SSID element inside the input, and at most 32 bytes.
#include "platform/net/ssid_element.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const auto ssid = platform::net::FindSsidElement({data, size})) {
    const std::size_t offset = static_cast<std::size_t>(ssid->data() - data);
    FUZZ_CHECK(ssid->size() <= 32 && offset >= 2 && offset <= size && ssid->size() <= size - offset);
    FUZZ_CHECK(data[offset - 2] == 0 && data[offset - 1] == ssid->size());
  }
  return 0;
}
