// The SSID inside the information elements that the kernel keeps for a BSS.
//
// An element is an id byte, a length byte and that many bytes of data; the elements follow each
// other to the end of the run. The SSID element has id 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace platform::net {

// The data of the first SSID element in `elements`, or nothing when there is none, when it is
// longer than an SSID can be (32 bytes), or when the run is malformed: any element, before or
// after the SSID, whose header or data runs past the end. An empty SSID (a hidden network's
// beacon) is an SSID of no bytes.
std::optional<std::span<const std::uint8_t>> FindSsidElement(std::span<const std::uint8_t> elements);

}  // namespace platform::net
