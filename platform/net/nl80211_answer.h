// nl80211's answers about wireless interfaces (NL80211_CMD_GET_INTERFACE), read from the raw
// datagrams the kernel sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/netlink_reader.h"

namespace platform::net {

// One NL80211_CMD_NEW_INTERFACE message. The kernel names a netdev-less interface (a P2P device)
// by neither index nor name. The SSID is there only while a station is associated.
struct Nl80211Interface {
  std::optional<std::uint32_t> ifindex;
  std::string name;
  std::optional<std::uint32_t> iftype;
  std::optional<std::uint32_t> wiphy;
  std::optional<std::vector<std::uint8_t>> ssid;
};

// Reads the generic-netlink part of one message: the 4-byte genl header, then the attributes.
// False when it is malformed or not an interface message.
bool ParseNl80211Interface(netlink::Bytes genlPayload, Nl80211Interface* out);

// Collects the answer to one request from the datagrams that arrive for it.
class Nl80211InterfaceAnswer {
 public:
  enum class Status {
    More,         // the answer goes on in a later datagram
    Done,         // complete; interfaces() holds it
    Malformed,    // something in it does not add up
    KernelError,  // the kernel refused the request; kernelError() says why
  };

  // `dump`: the request asked for every interface and the answer ends with NLMSG_DONE; otherwise
  // it is one interface message (or an acknowledgement).
  Nl80211InterfaceAnswer(std::uint16_t family, std::uint32_t sequence, bool dump)
      : family_(family), sequence_(sequence), dump_(dump) {}

  // Reads one datagram. Messages of other requests are passed over. Once the answer is final,
  // further datagrams change nothing.
  Status Feed(netlink::Bytes datagram);

  Status status() const { return status_; }
  int kernelError() const { return kernelError_; }  // a positive errno
  // The kernel marks a dump whose interface list changed while it ran; its content may be torn.
  bool interrupted() const { return interrupted_; }
  const std::vector<Nl80211Interface>& interfaces() const { return interfaces_; }

 private:
  Status Read(const netlink::Message& message);

  std::uint16_t family_;
  std::uint32_t sequence_;
  bool dump_;
  Status status_ = Status::More;
  int kernelError_ = 0;
  bool interrupted_ = false;
  std::vector<Nl80211Interface> interfaces_;
};

}  // namespace platform::net
