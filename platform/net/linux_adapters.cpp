#include <arpa/inet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <netlink/attr.h>
#include <netlink/errno.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/socket.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/linux_link.h"
#include "platform/net/netlink.h"

namespace platform::net {
namespace {

DWORD FromNlError(int error) { return error == -NLE_NOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE; }

// The dotted text of an attribute holding an IPv4 address, or nothing for any other attribute.
std::optional<std::string> Ipv4Text(const nlattr* address) {
  if (address == nullptr || nla_len(address) != 4) return std::nullopt;
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, nla_data(address), text, sizeof text) == nullptr) return std::nullopt;
  return std::string(text);
}

std::string MaskText(unsigned prefixLength) {
  const std::uint32_t mask = prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(prefixLength, 32u));
  in_addr value{htonl(mask)};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &value, text, sizeof text);
  return text;
}

// Rules for nlmsg_parse: the listed attributes hold 32 bits. A message where one is shorter is
// skipped, as libnl's own parsers skip it.
template <int Max>
std::array<nla_policy, Max + 1> U32Rules(std::initializer_list<int> attributes) {
  std::array<nla_policy, Max + 1> rules{};
  for (const int attribute : attributes) rules[static_cast<std::size_t>(attribute)].type = NLA_U32;
  return rules;
}

// One dump of `request` for `family`: each message of type `type` goes to `visit` with its
// header and its attributes. Only the fields the list needs are read; libnl's full link,
// address and route objects cost about half of a detection pass.
template <int Max, class Header, class Visit>
int Dump(nl_sock* sk, int request, int family, int type, const nla_policy* rules, Visit visit) {
  if (const int error = RequestDump(sk, request, family); error < 0) return error;
  struct Context {
    int type;
    const nla_policy* rules;
    Visit& visit;
  } context{type, rules, visit};
  const auto valid = [](nl_msg* message, void* arg) -> int {
    auto* c = static_cast<Context*>(arg);
    nlmsghdr* header = nlmsg_hdr(message);
    nlattr* attributes[Max + 1] = {};
    if (header->nlmsg_type == c->type && nlmsg_parse(header, sizeof(Header), attributes, Max, c->rules) == 0) {
      c->visit(*static_cast<const Header*>(nlmsg_data(header)), attributes);
    }
    return NL_OK;
  };
  if (const int error = nl_socket_modify_cb(sk, NL_CB_VALID, NL_CB_CUSTOM, valid, &context); error < 0) return error;
  const int result = nl_recvmsgs_default(sk);
  return result < 0 ? result : 0;
}

std::string Text(const nlattr* attribute) {
  const char* text = static_cast<const char*>(nla_data(attribute));
  return std::string(text, strnlen(text, static_cast<std::size_t>(nla_len(attribute))));
}

struct FirstAddress {
  std::optional<std::string> local;
  unsigned prefixLength = 0;
};

struct DefaultGateway {
  std::uint32_t metric = 0;
  std::string gateway;
};

}  // namespace

DWORD LinuxAdapterSource::List(std::vector<AdapterRecord>* adapters) {
  adapters->clear();
  SocketPtr sk(nl_socket_alloc());
  if (!sk) return ERROR_NOT_ENOUGH_MEMORY;
  if (const int error = nl_connect(sk.get(), NETLINK_ROUTE); error < 0) return FromNlError(error);

  std::vector<AdapterRecord> records;
  std::map<int, std::string> kinds;
  int error = Dump<IFLA_MAX, ifinfomsg>(sk.get(), RTM_GETLINK, AF_UNSPEC, RTM_NEWLINK, nullptr, [&](const ifinfomsg& link, nlattr** tb) {
    if ((link.ifi_flags & IFF_LOOPBACK) != 0 || tb[IFLA_IFNAME] == nullptr) return;
    char name[IFNAMSIZ] = {};
    nla_strlcpy(name, tb[IFLA_IFNAME], sizeof name);
    AdapterRecord record;
    record.name = name;
    record.index = static_cast<DWORD>(link.ifi_index);
    nlattr* info[IFLA_INFO_MAX + 1] = {};
    if (tb[IFLA_LINKINFO] != nullptr && nla_parse_nested(info, IFLA_INFO_MAX, tb[IFLA_LINKINFO], nullptr) == 0 &&
        info[IFLA_INFO_KIND] != nullptr) {
      kinds[link.ifi_index] = Text(info[IFLA_INFO_KIND]);
    }
    records.push_back(std::move(record));
  });
  if (error < 0) return FromNlError(error);
  std::sort(records.begin(), records.end(),
            [](const AdapterRecord& a, const AdapterRecord& b) { return a.index < b.index; });

  // The kernel lists a link's primary addresses before its secondary ones; the first one seen
  // is the one the link is known by. An IPv4 address's own address is IFA_LOCAL; IFA_ADDRESS
  // is the peer's where the two differ.
  std::map<int, FirstAddress> firstAddress;
  error = Dump<IFA_MAX, ifaddrmsg>(sk.get(), RTM_GETADDR, AF_INET, RTM_NEWADDR, nullptr, [&](const ifaddrmsg& address, nlattr** tb) {
    if (address.ifa_family != AF_INET) return;
    FirstAddress first;
    first.local = Ipv4Text(tb[IFA_LOCAL] != nullptr ? tb[IFA_LOCAL] : tb[IFA_ADDRESS]);
    first.prefixLength = address.ifa_prefixlen;
    firstAddress.try_emplace(static_cast<int>(address.ifa_index), std::move(first));
  });
  if (error < 0) return FromNlError(error);

  std::map<int, DefaultGateway> gateways;
  const auto offer = [&gateways](int index, std::uint32_t metric, const nlattr* gatewayAttribute) {
    const std::optional<std::string> gateway = Ipv4Text(gatewayAttribute);
    if (!gateway) return;
    const auto [it, inserted] = gateways.try_emplace(index, DefaultGateway{metric, *gateway});
    if (!inserted && metric < it->second.metric) it->second = DefaultGateway{metric, *gateway};
  };
  static const auto kRouteRules = U32Rules<RTA_MAX>({RTA_TABLE, RTA_PRIORITY, RTA_OIF});
  error = Dump<RTA_MAX, rtmsg>(sk.get(), RTM_GETROUTE, AF_INET, RTM_NEWROUTE, kRouteRules.data(), [&](const rtmsg& route, nlattr** tb) {
    const std::uint32_t table = tb[RTA_TABLE] != nullptr ? nla_get_u32(tb[RTA_TABLE]) : route.rtm_table;
    if (route.rtm_family != AF_INET || table != RT_TABLE_MAIN || route.rtm_type != RTN_UNICAST || route.rtm_dst_len != 0) {
      return;
    }
    const std::uint32_t metric = tb[RTA_PRIORITY] != nullptr ? nla_get_u32(tb[RTA_PRIORITY]) : 0;
    if (tb[RTA_MULTIPATH] == nullptr) {
      offer(tb[RTA_OIF] != nullptr ? static_cast<int>(nla_get_u32(tb[RTA_OIF])) : 0, metric, tb[RTA_GATEWAY]);
      return;
    }
    const auto* hop = static_cast<const rtnexthop*>(nla_data(tb[RTA_MULTIPATH]));
    for (int left = nla_len(tb[RTA_MULTIPATH]); left >= static_cast<int>(sizeof(rtnexthop)) &&
                                                  hop->rtnh_len >= sizeof(rtnexthop) && hop->rtnh_len <= left;
         left -= RTNH_ALIGN(hop->rtnh_len), hop = RTNH_NEXT(hop)) {
      nlattr* hopAttributes[RTA_MAX + 1] = {};
      const int length = hop->rtnh_len - static_cast<int>(sizeof(rtnexthop));
      if (nla_parse(hopAttributes, RTA_MAX, reinterpret_cast<nlattr*>(RTNH_DATA(hop)), length, nullptr) == 0) {
        offer(hop->rtnh_ifindex, metric, hopAttributes[RTA_GATEWAY]);
      }
    }
  });
  if (error < 0) return FromNlError(error);

  for (AdapterRecord& record : records) {
    const int index = static_cast<int>(record.index);
    const auto kind = kinds.find(index);
    record.description = LinkDescription(record.name, kind == kinds.end() ? std::string_view() : kind->second);
    if (const auto found = firstAddress.find(index); found != firstAddress.end() && found->second.local) {
      record.ipAddress = *found->second.local;
      record.ipMask = MaskText(found->second.prefixLength);
    }
    if (const auto found = gateways.find(index); found != gateways.end()) record.gateway = found->second.gateway;
  }
  *adapters = std::move(records);
  return ERROR_SUCCESS;
}

}  // namespace platform::net
