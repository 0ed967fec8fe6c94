#include <arpa/inet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/errno.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/linux_link.h"

namespace platform::net {
namespace {

struct SocketFree {
  void operator()(nl_sock* sk) const { nl_socket_free(sk); }
};
struct CacheFree {
  void operator()(nl_cache* cache) const { nl_cache_free(cache); }
};
using SocketPtr = std::unique_ptr<nl_sock, SocketFree>;
using CachePtr = std::unique_ptr<nl_cache, CacheFree>;

DWORD FromNlError(int error) { return error == -NLE_NOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE; }

// The dotted text of an IPv4 address, or nothing for any other kind of address.
std::optional<std::string> Ipv4Text(nl_addr* address) {
  if (address == nullptr || nl_addr_get_family(address) != AF_INET || nl_addr_get_len(address) != 4) {
    return std::nullopt;
  }
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, nl_addr_get_binary_addr(address), text, sizeof text) == nullptr) return std::nullopt;
  return std::string(text);
}

std::string MaskText(unsigned prefixLength) {
  const std::uint32_t mask = prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(prefixLength, 32u));
  in_addr value{htonl(mask)};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &value, text, sizeof text);
  return text;
}

UINT AdapterType(unsigned arpType) {
  switch (arpType) {
    case ARPHRD_ETHER:
      return MIB_IF_TYPE_ETHERNET;
    case ARPHRD_PPP:
      return MIB_IF_TYPE_PPP;
    default:
      return MIB_IF_TYPE_OTHER;
  }
}

template <class Object, class Visit>
void ForEach(nl_cache* cache, Visit visit) {
  for (nl_object* object = nl_cache_get_first(cache); object != nullptr; object = nl_cache_get_next(object)) {
    visit(reinterpret_cast<Object*>(object));
  }
}

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

  nl_cache* raw = nullptr;
  if (const int error = rtnl_link_alloc_cache(sk.get(), AF_UNSPEC, &raw); error < 0) return FromNlError(error);
  CachePtr links(raw);
  raw = nullptr;
  if (const int error = rtnl_addr_alloc_cache(sk.get(), &raw); error < 0) return FromNlError(error);
  CachePtr addresses(raw);
  raw = nullptr;
  if (const int error = rtnl_route_alloc_cache(sk.get(), AF_INET, 0, &raw); error < 0) return FromNlError(error);
  CachePtr routes(raw);

  std::vector<AdapterRecord> records;
  std::map<int, std::string> kinds;
  ForEach<rtnl_link>(links.get(), [&](rtnl_link* link) {
    if ((rtnl_link_get_flags(link) & IFF_LOOPBACK) != 0) return;
    const char* name = rtnl_link_get_name(link);
    if (name == nullptr) return;
    AdapterRecord record;
    record.name = name;
    record.index = static_cast<DWORD>(rtnl_link_get_ifindex(link));
    record.type = AdapterType(rtnl_link_get_arptype(link));
    if (nl_addr* mac = rtnl_link_get_addr(link)) {
      const auto* bytes = static_cast<const BYTE*>(nl_addr_get_binary_addr(mac));
      record.address.assign(bytes, bytes + nl_addr_get_len(mac));
    }
    if (const char* kind = rtnl_link_get_type(link)) kinds[rtnl_link_get_ifindex(link)] = kind;
    records.push_back(std::move(record));
  });
  std::sort(records.begin(), records.end(),
            [](const AdapterRecord& a, const AdapterRecord& b) { return a.index < b.index; });

  // The kernel lists a link's primary addresses before its secondary ones; the first one seen
  // is the one the link is known by.
  std::map<int, rtnl_addr*> firstAddress;
  ForEach<rtnl_addr>(addresses.get(), [&](rtnl_addr* address) {
    if (rtnl_addr_get_family(address) != AF_INET) return;
    firstAddress.try_emplace(rtnl_addr_get_ifindex(address), address);
  });

  std::map<int, DefaultGateway> gateways;
  ForEach<rtnl_route>(routes.get(), [&](rtnl_route* route) {
    nl_addr* destination = rtnl_route_get_dst(route);
    if (rtnl_route_get_family(route) != AF_INET || rtnl_route_get_table(route) != RT_TABLE_MAIN ||
        rtnl_route_get_type(route) != RTN_UNICAST ||
        (destination != nullptr && nl_addr_get_prefixlen(destination) != 0)) {
      return;
    }
    const std::uint32_t metric = rtnl_route_get_priority(route);
    for (int i = 0; i < rtnl_route_get_nnexthops(route); ++i) {
      rtnl_nexthop* hop = rtnl_route_nexthop_n(route, i);
      const std::optional<std::string> gateway = Ipv4Text(rtnl_route_nh_get_gateway(hop));
      if (!gateway) continue;
      const auto [it, inserted] = gateways.try_emplace(rtnl_route_nh_get_ifindex(hop), DefaultGateway{metric, *gateway});
      if (!inserted && metric < it->second.metric) it->second = DefaultGateway{metric, *gateway};
    }
  });

  for (AdapterRecord& record : records) {
    const int index = static_cast<int>(record.index);
    const auto kind = kinds.find(index);
    record.description = LinkDescription(record.name, kind == kinds.end() ? std::string_view() : kind->second);
    if (const auto found = firstAddress.find(index); found != firstAddress.end()) {
      if (const std::optional<std::string> text = Ipv4Text(rtnl_addr_get_local(found->second))) {
        record.ipAddress = *text;
        record.ipMask = MaskText(static_cast<unsigned>(rtnl_addr_get_prefixlen(found->second)));
        record.dhcpEnabled = (rtnl_addr_get_flags(found->second) & IFA_F_PERMANENT) == 0;
      }
    }
    if (const auto found = gateways.find(index); found != gateways.end()) record.gateway = found->second.gateway;
  }
  *adapters = std::move(records);
  return ERROR_SUCCESS;
}

}  // namespace platform::net
