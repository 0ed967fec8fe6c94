// net/if.h first: it tells linux/if.h not to define its flags again.
#include <net/if.h>
#include <linux/if.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <netlink/attr.h>
#include <netlink/msg.h>

#include <array>
#include <optional>

#include "platform/net/linux_link_states.h"

namespace platform::net {
namespace {

struct Link {
  int index = 0;
  bool on = false;
  bool up = false;
};

// The link a link message describes, or nothing when it does not say the link's operational
// state: the wireless events that come as link messages carry only the interface's flags, in
// which the carrier of a station between association and key handshake already shows.
std::optional<Link> ParseLink(const nlmsghdr* header) {
  static auto rules = [] {
    std::array<nla_policy, IFLA_MAX + 1> r{};
    r[IFLA_OPERSTATE].type = NLA_U8;
    return r;
  }();
  nlattr* attributes[IFLA_MAX + 1] = {};
  if (nlmsg_parse(const_cast<nlmsghdr*>(header), sizeof(ifinfomsg), attributes, IFLA_MAX, rules.data()) < 0 ||
      attributes[IFLA_OPERSTATE] == nullptr) {
    return std::nullopt;
  }
  const auto* info = static_cast<const ifinfomsg*>(nlmsg_data(header));
  const int operstate = nla_get_u8(attributes[IFLA_OPERSTATE]);
  const bool carrier = (info->ifi_flags & IFF_LOWER_UP) != 0;
  return Link{info->ifi_index, (info->ifi_flags & IFF_UP) != 0,
              operstate == IF_OPER_UP || (operstate == IF_OPER_UNKNOWN && carrier)};
}

}  // namespace

void LinkStates::Learn(const nlmsghdr* header) {
  if (header->nlmsg_type != RTM_NEWLINK) return;
  if (const std::optional<Link> link = ParseLink(header)) up_[link->index] = link->on && link->up;
}

NetworkChange LinkStates::Announced(const nlmsghdr* header) {
  switch (header->nlmsg_type) {
    case RTM_NEWLINK: {
      const std::optional<Link> link = ParseLink(header);
      if (!link) return NetworkChange::kChange;
      const auto known = up_.find(link->index);
      const bool wasUp = known != up_.end() && known->second;
      up_[link->index] = link->on && link->up;
      // A link switched off on purpose is an outcome at once; only a link that loses its
      // connection while it stays on is a loss to wait out.
      if (!link->on) return NetworkChange::kLinkOutcome;
      if (wasUp && !link->up) return NetworkChange::kLinkLoss;
      if (!wasUp && link->up) return NetworkChange::kLinkBack;
      return NetworkChange::kChange;
    }
    case RTM_DELLINK:
      if (nlmsg_datalen(header) >= static_cast<int>(sizeof(ifinfomsg))) {
        up_.erase(static_cast<const ifinfomsg*>(nlmsg_data(header))->ifi_index);
      }
      return NetworkChange::kLinkOutcome;
    case RTM_DELADDR:
    case RTM_DELROUTE:
      return NetworkChange::kLinkOutcome;
    case RTM_NEWADDR:
    case RTM_NEWROUTE:
      return NetworkChange::kChange;
    default:
      return NetworkChange::kNone;
  }
}

}  // namespace platform::net
