#include "platform/net/netlink_reader.h"

#include <linux/netlink.h>

#include <algorithm>
#include <cstring>

namespace platform::net::netlink {
namespace {

constexpr std::size_t kMessageHeader = NLMSG_HDRLEN;
constexpr std::size_t kAttributeHeader = NLA_HDRLEN;
static_assert(kMessageHeader == 16 && kAttributeHeader == 4);

constexpr std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// Netlink speaks the host's byte order.
template <class T>
T Load(Bytes bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

}  // namespace

bool SplitMessages(Bytes datagram, std::vector<Message>* messages) {
  messages->clear();
  std::size_t offset = 0;
  while (offset < datagram.size()) {
    const std::size_t remaining = datagram.size() - offset;
    if (remaining < kMessageHeader) return false;
    const Bytes rest = datagram.subspan(offset);
    const std::size_t length = Load<std::uint32_t>(rest, 0);
    if (length < kMessageHeader || length > remaining) return false;
    Message message;
    message.type = Load<std::uint16_t>(rest, 4);
    message.flags = Load<std::uint16_t>(rest, 6);
    message.sequence = Load<std::uint32_t>(rest, 8);
    message.port = Load<std::uint32_t>(rest, 12);
    message.payload = rest.subspan(kMessageHeader, length - kMessageHeader);
    messages->push_back(message);
    offset += std::min(Align4(length), remaining);
  }
  return true;
}

bool AttributeReader::Parse(Bytes bytes) {
  attributes_.clear();
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::size_t remaining = bytes.size() - offset;
    if (remaining < kAttributeHeader) return false;
    const Bytes rest = bytes.subspan(offset);
    const std::size_t length = Load<std::uint16_t>(rest, 0);
    if (length < kAttributeHeader || length > remaining) return false;
    // The top two bits of the type say nested / network byte order; they are not part of it.
    const std::uint16_t type = Load<std::uint16_t>(rest, 2) & NLA_TYPE_MASK;
    attributes_.push_back(Attribute{type, rest.subspan(kAttributeHeader, length - kAttributeHeader)});
    offset += std::min(Align4(length), remaining);
  }
  return true;
}

bool AttributeReader::Find(std::uint16_t type, std::optional<Bytes>* payload) const {
  payload->reset();
  for (const Attribute& attribute : attributes_) {
    if (attribute.type != type) continue;
    if (payload->has_value()) {
      payload->reset();
      return false;
    }
    *payload = attribute.payload;
  }
  return true;
}

template <class T>
bool AttributeReader::ReadFixed(std::uint16_t type, std::optional<T>* value) const {
  value->reset();
  std::optional<Bytes> payload;
  if (!Find(type, &payload)) return false;
  if (!payload) return true;
  if (payload->size() != sizeof(T)) return false;
  *value = Load<T>(*payload, 0);
  return true;
}

bool AttributeReader::ReadU8(std::uint16_t type, std::optional<std::uint8_t>* value) const {
  return ReadFixed(type, value);
}

bool AttributeReader::ReadU32(std::uint16_t type, std::optional<std::uint32_t>* value) const {
  return ReadFixed(type, value);
}

bool AttributeReader::ReadU64(std::uint16_t type, std::optional<std::uint64_t>* value) const {
  return ReadFixed(type, value);
}

bool AttributeReader::ReadString(std::uint16_t type, std::size_t maxLength, std::optional<std::string>* value) const {
  value->reset();
  std::optional<Bytes> payload;
  if (!Find(type, &payload)) return false;
  if (!payload) return true;
  if (payload->empty() || payload->back() != 0) return false;
  const Bytes text = payload->first(payload->size() - 1);
  if (text.size() > maxLength || std::find(text.begin(), text.end(), 0) != text.end()) return false;
  *value = std::string(text.begin(), text.end());
  return true;
}

bool AttributeReader::ReadBinary(std::uint16_t type, std::size_t maxLength, std::optional<Bytes>* value) const {
  value->reset();
  std::optional<Bytes> payload;
  if (!Find(type, &payload)) return false;
  if (!payload) return true;
  if (payload->size() > maxLength) return false;
  *value = *payload;
  return true;
}

}  // namespace platform::net::netlink
