// The one reader for netlink answers that this layer takes apart itself.
//
// Every length is checked before the bytes it covers are read: a message header against the
// datagram, an attribute header against the message, a payload against the type the caller
// expects. Anything that does not add up makes the answer malformed; the reader never reads
// past the bytes it was given and never trusts a length it has not checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::net::netlink {

using Bytes = std::span<const std::uint8_t>;

// One message of a datagram.
struct Message {
  std::uint16_t type = 0;
  std::uint16_t flags = 0;
  std::uint32_t sequence = 0;
  std::uint32_t port = 0;
  Bytes payload;  // the bytes after the 16-byte header, up to the message's length
};

// Splits a datagram into its messages. False when a header is cut short, when a length is smaller
// than the header or runs past the datagram, or when bytes remain that cannot form a message.
bool SplitMessages(Bytes datagram, std::vector<Message>* messages);

class AttributeReader {
 public:
  // Takes a run of attributes apart. False when an attribute header is cut short, when a length
  // is below the header's size or runs past the run, or when bytes remain that cannot form an
  // attribute. Padding missing after the last attribute is forgiven.
  bool Parse(Bytes bytes);

  // Typed reads. Each returns false when the attribute is present but malformed for its type (or
  // present more than once) and leaves *value empty when the attribute is absent.
  bool ReadU8(std::uint16_t type, std::optional<std::uint8_t>* value) const;
  bool ReadU32(std::uint16_t type, std::optional<std::uint32_t>* value) const;
  bool ReadU64(std::uint16_t type, std::optional<std::uint64_t>* value) const;
  // A zero-terminated text of at most maxLength bytes before the zero, with no zero inside.
  bool ReadString(std::uint16_t type, std::size_t maxLength, std::optional<std::string>* value) const;
  // Raw bytes, at most maxLength of them.
  bool ReadBinary(std::uint16_t type, std::size_t maxLength, std::optional<Bytes>* value) const;

 private:
  struct Attribute {
    std::uint16_t type;
    Bytes payload;
  };
  // Absent: true with *payload empty; present once: true with it; present twice: false.
  bool Find(std::uint16_t type, std::optional<Bytes>* payload) const;
  template <class T>
  bool ReadFixed(std::uint16_t type, std::optional<T>* value) const;

  std::vector<Attribute> attributes_;
};

}  // namespace platform::net::netlink
