#include "platform/net/ssid_element.h"

#include <cstddef>

namespace platform::net {
namespace {

constexpr std::uint8_t kSsidId = 0;
constexpr std::size_t kSsidMax = 32;
constexpr std::size_t kHeader = 2;

}  // namespace

std::optional<std::span<const std::uint8_t>> FindSsidElement(std::span<const std::uint8_t> elements) {
  std::optional<std::span<const std::uint8_t>> ssid;
  std::size_t offset = 0;
  while (offset < elements.size()) {
    const std::size_t remaining = elements.size() - offset;
    if (remaining < kHeader) return std::nullopt;
    const std::uint8_t id = elements[offset];
    const std::size_t length = elements[offset + 1];
    if (length > remaining - kHeader) return std::nullopt;
    if (id == kSsidId && !ssid) ssid = elements.subspan(offset + kHeader, length);
    offset += kHeader + length;
  }
  if (ssid && ssid->size() > kSsidMax) return std::nullopt;
  return ssid;
}

}  // namespace platform::net
