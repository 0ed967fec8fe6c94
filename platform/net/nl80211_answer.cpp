#include "platform/net/nl80211_answer.h"

#include <linux/genetlink.h>
#include <linux/netlink.h>
#include <linux/nl80211.h>
#include <net/if.h>

#include <cstring>

namespace platform::net {
namespace {

constexpr std::size_t kSsidMax = 32;
// The kernel's error numbers stay below this.
constexpr int kMaxErrno = 4095;

// The int that NLMSG_ERROR and NLMSG_DONE carry first: 0 or a negated errno.
bool LoadStatus(netlink::Bytes payload, int* value) {
  if (payload.size() < sizeof(int)) return false;
  std::memcpy(value, payload.data(), sizeof(int));
  return *value <= 0 && *value >= -kMaxErrno;
}

}  // namespace

bool ParseNl80211Interface(netlink::Bytes genlPayload, Nl80211Interface* out) {
  *out = Nl80211Interface{};
  if (genlPayload.size() < GENL_HDRLEN) return false;
  if (genlPayload[0] != NL80211_CMD_NEW_INTERFACE) return false;

  netlink::AttributeReader reader;
  if (!reader.Parse(genlPayload.subspan(GENL_HDRLEN))) return false;
  std::optional<std::string> name;
  std::optional<netlink::Bytes> ssid;
  if (!reader.ReadU32(NL80211_ATTR_IFINDEX, &out->ifindex) ||
      !reader.ReadString(NL80211_ATTR_IFNAME, IFNAMSIZ - 1, &name) ||
      !reader.ReadU32(NL80211_ATTR_IFTYPE, &out->iftype) || !reader.ReadU32(NL80211_ATTR_WIPHY, &out->wiphy) ||
      !reader.ReadBinary(NL80211_ATTR_SSID, kSsidMax, &ssid)) {
    return false;
  }
  if (name) out->name = std::move(*name);
  if (ssid) out->ssid.emplace(ssid->begin(), ssid->end());
  return true;
}

Nl80211InterfaceAnswer::Status Nl80211InterfaceAnswer::Feed(netlink::Bytes datagram) {
  if (status_ != Status::More) return status_;
  std::vector<netlink::Message> messages;
  if (!netlink::SplitMessages(datagram, &messages)) return status_ = Status::Malformed;
  for (const netlink::Message& message : messages) {
    if (message.sequence != sequence_) continue;
    status_ = Read(message);
    if (status_ != Status::More) break;
  }
  return status_;
}

Nl80211InterfaceAnswer::Status Nl80211InterfaceAnswer::Read(const netlink::Message& message) {
  int code = 0;
  switch (message.type) {
    case NLMSG_NOOP:
      return Status::More;
    case NLMSG_ERROR:
      if (!LoadStatus(message.payload, &code)) return Status::Malformed;
      if (code == 0) return Status::Done;  // an acknowledgement
      kernelError_ = -code;
      return Status::KernelError;
    case NLMSG_DONE:
      if (!dump_ || !LoadStatus(message.payload, &code)) return Status::Malformed;
      if (code == 0) return Status::Done;
      kernelError_ = -code;
      return Status::KernelError;
    case NLMSG_OVERRUN:
      return Status::Malformed;
    default:
      break;
  }
  if (message.type != family_) return Status::Malformed;
  Nl80211Interface interface;
  if (!ParseNl80211Interface(message.payload, &interface)) return Status::Malformed;
  interfaces_.push_back(std::move(interface));
  if ((message.flags & NLM_F_DUMP_INTR) != 0) interrupted_ = true;
  return dump_ ? Status::More : Status::Done;
}

}  // namespace platform::net
