#include <net/if.h>
#include <netlink/attr.h>
#include <netlink/errno.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/socket.h>
#include <linux/nl80211.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/linux_link.h"
#include "platform/net/ndis.h"
#include "platform/net/netlink.h"
#include "platform/net/ssid_element.h"
#include "platform/net/wlanapi.h"

namespace platform::net {
namespace {

// The kernel answers at once; a socket that stays silent this long is not going to.
constexpr timeval kReceiveTimeout{2, 0};
// A dump torn by interfaces or scan results coming or going is asked again, this many times in all.
constexpr int kDumpAttempts = 3;
constexpr std::uint16_t kSsidMax = 32;
// The kernel's error numbers stay below this.
constexpr int kMaxErrno = 4095;

// Every attribute read here is checked once, by these tables, before anything looks at it:
// integers have exactly their size, a name fits an interface name with its terminator, an SSID
// fits 32 bytes. An answer that breaks them is malformed.
constexpr int kAttrLast =
    std::max({NL80211_ATTR_IFINDEX, NL80211_ATTR_IFNAME, NL80211_ATTR_IFTYPE, NL80211_ATTR_BSS, NL80211_ATTR_SSID});
constexpr auto kAttrPolicy = [] {
  std::array<nla_policy, kAttrLast + 1> policy{};
  policy[NL80211_ATTR_IFINDEX] = {NLA_U32, 0, sizeof(std::uint32_t)};
  policy[NL80211_ATTR_IFNAME] = {NLA_STRING, 0, IFNAMSIZ};
  policy[NL80211_ATTR_IFTYPE] = {NLA_U32, 0, sizeof(std::uint32_t)};
  policy[NL80211_ATTR_BSS] = {NLA_NESTED, 0, 0};
  policy[NL80211_ATTR_SSID] = {NLA_BINARY, 0, kSsidMax};
  return policy;
}();
using Attributes = std::array<nlattr*, kAttrLast + 1>;

constexpr int kBssLast = std::max({NL80211_BSS_INFORMATION_ELEMENTS, NL80211_BSS_STATUS, NL80211_BSS_BEACON_IES});
constexpr auto kBssPolicy = [] {
  std::array<nla_policy, kBssLast + 1> policy{};
  policy[NL80211_BSS_STATUS] = {NLA_U32, 0, sizeof(std::uint32_t)};
  policy[NL80211_BSS_INFORMATION_ELEMENTS] = {NLA_BINARY, 0, 0};
  policy[NL80211_BSS_BEACON_IES] = {NLA_BINARY, 0, 0};
  return policy;
}();
using BssAttributes = std::array<nlattr*, kBssLast + 1>;

DWORD FromErrno(int error) {
  switch (error) {
    case ENODEV:
    case ENOENT:
      return ERROR_NOT_FOUND;
    case EOPNOTSUPP:
      return ERROR_NOT_SUPPORTED;
    case ENOMEM:
    case ENOBUFS:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EPERM:
    case EACCES:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD FromNlError(int error) {
  switch (error) {
    case -NLE_AGAIN:
      return ERROR_TIMEOUT;
    case -NLE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// The kernel's 0 or negated errno, as NLMSG_ERROR and NLMSG_DONE carry it, as a positive errno.
int KernelErrno(int status) { return status < 0 && status >= -kMaxErrno ? -status : EPROTO; }

SocketPtr Connect() {
  SocketPtr sk(nl_socket_alloc());
  if (!sk || genl_connect(sk.get()) < 0) return nullptr;
  if (setsockopt(nl_socket_get_fd(sk.get()), SOL_SOCKET, SO_RCVTIMEO, &kReceiveTimeout, sizeof kReceiveTimeout) != 0) {
    return nullptr;
  }
  return sk;
}

// One wireless interface as NL80211_CMD_GET_INTERFACE reports it. A netdev-less interface (a P2P
// device) has neither index nor name.
struct Interface {
  std::uint32_t ifindex = 0;
  std::string name;
  std::optional<std::uint32_t> iftype;
  std::optional<std::vector<BYTE>> ssid;
};

// A BSS that an interface is associated with (or has joined), from NL80211_CMD_GET_SCAN. Its
// SSID is missing when its information elements hold none that can be read.
struct CurrentBss {
  std::optional<std::vector<BYTE>> ssid;
};

// One request and what its answer has brought so far. `read` takes one message's attributes
// apart and returns false when they do not make sense.
struct Exchange {
  int family = 0;
  std::uint8_t answerCommand = 0;
  std::function<bool(const Attributes&)> read;
  bool done = false;
  bool malformed = false;
  bool outOfMemory = false;
  bool interrupted = false;
  int kernelError = 0;
};

int FromKernelOnly(nl_msg* msg, void*) {
  // Only the kernel answers requests; anything another process sends to this port is passed over.
  return nlmsg_get_src(msg)->nl_pid == 0 ? NL_OK : NL_SKIP;
}

int OnAnswerMessage(nl_msg* msg, void* arg) {
  Exchange& exchange = *static_cast<Exchange*>(arg);
  nlmsghdr* header = nlmsg_hdr(msg);
  Attributes attributes{};
  // genlmsg_parse checks the generic-netlink header's length before the command is read.
  bool sound = header->nlmsg_type == exchange.family &&
               genlmsg_parse(header, 0, attributes.data(), kAttrLast, kAttrPolicy.data()) == 0 &&
               genlmsg_hdr(header)->cmd == exchange.answerCommand;
  // No exception may cross back into libnl.
  try {
    sound = sound && exchange.read(attributes);
  } catch (const std::bad_alloc&) {
    exchange.outOfMemory = true;
    return NL_STOP;
  }
  if (sound) return NL_OK;
  exchange.malformed = true;
  return NL_STOP;
}

int OnDumpDone(nl_msg* msg, void* arg) {
  Exchange& exchange = *static_cast<Exchange*>(arg);
  // A dump that failed says so in the int that NLMSG_DONE carries; libnl does not look at it.
  const nlmsghdr* header = nlmsg_hdr(msg);
  int status = 0;
  if (nlmsg_datalen(header) >= static_cast<int>(sizeof status)) {
    std::memcpy(&status, nlmsg_data(header), sizeof status);
  }
  if (status != 0) exchange.kernelError = KernelErrno(status);
  exchange.done = true;
  return NL_STOP;
}

int OnAcknowledged(nl_msg*, void* arg) {
  static_cast<Exchange*>(arg)->done = true;
  return NL_STOP;
}

int OnKernelError(sockaddr_nl*, nlmsgerr* error, void* arg) {
  static_cast<Exchange*>(arg)->kernelError = KernelErrno(error->error);
  return NL_STOP;
}

// Reads the answer to the request just sent on `sk` until it is complete.
DWORD ReadAnswer(nl_sock* sk, Exchange* exchange) {
  CallbacksPtr callbacks(nl_cb_alloc(NL_CB_DEFAULT));
  if (!callbacks) return ERROR_NOT_ENOUGH_MEMORY;
  nl_cb_set(callbacks.get(), NL_CB_MSG_IN, NL_CB_CUSTOM, FromKernelOnly, nullptr);
  nl_cb_set(callbacks.get(), NL_CB_VALID, NL_CB_CUSTOM, OnAnswerMessage, exchange);
  nl_cb_set(callbacks.get(), NL_CB_FINISH, NL_CB_CUSTOM, OnDumpDone, exchange);
  nl_cb_set(callbacks.get(), NL_CB_ACK, NL_CB_CUSTOM, OnAcknowledged, exchange);
  nl_cb_err(callbacks.get(), NL_CB_CUSTOM, OnKernelError, exchange);
  while (!exchange->done && !exchange->malformed && !exchange->outOfMemory && exchange->kernelError == 0) {
    const int result = nl_recvmsgs(sk, callbacks.get());
    // libnl reads an interrupted dump to its end before it says so.
    if (result == -NLE_DUMP_INTR) {
      exchange->interrupted = true;
      return ERROR_SUCCESS;
    }
    if (result < 0 && exchange->kernelError == 0) return FromNlError(result);
  }
  if (exchange->kernelError != 0) return FromErrno(exchange->kernelError);
  if (exchange->outOfMemory) return ERROR_NOT_ENOUGH_MEMORY;
  if (exchange->malformed) return ERROR_GEN_FAILURE;
  return ERROR_SUCCESS;
}

// Sends one nl80211 request (about one interface when `ifindex` is not 0) and collects what
// `read` makes of each message of its answer into *items.
template <class Item>
DWORD Ask(int family, std::uint8_t command, std::uint8_t answerCommand, bool dump, std::uint32_t ifindex,
          bool (*read)(const Attributes&, std::vector<Item>*), std::vector<Item>* items) {
  for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
    items->clear();
    SocketPtr sk = Connect();
    if (!sk) return ERROR_GEN_FAILURE;
    MessagePtr request(nlmsg_alloc());
    if (!request ||
        genlmsg_put(request.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, dump ? NLM_F_DUMP : 0, command, 0) ==
            nullptr ||
        (ifindex != 0 && nla_put_u32(request.get(), NL80211_ATTR_IFINDEX, ifindex) < 0)) {
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (nl_send_auto(sk.get(), request.get()) < 0) return ERROR_GEN_FAILURE;

    Exchange exchange;
    exchange.family = family;
    exchange.answerCommand = answerCommand;
    exchange.read = [&](const Attributes& attributes) { return read(attributes, items); };
    if (const DWORD error = ReadAnswer(sk.get(), &exchange); error != ERROR_SUCCESS) return error;
    if (!exchange.interrupted) return ERROR_SUCCESS;
  }
  items->clear();
  return ERROR_GEN_FAILURE;
}

bool ReadInterface(const Attributes& attributes, std::vector<Interface>* interfaces) {
  Interface interface;
  if (const nlattr* a = attributes[NL80211_ATTR_IFINDEX]) interface.ifindex = nla_get_u32(a);
  if (const nlattr* a = attributes[NL80211_ATTR_IFNAME]) interface.name = nla_get_string(a);
  if (const nlattr* a = attributes[NL80211_ATTR_IFTYPE]) interface.iftype = nla_get_u32(a);
  if (const nlattr* a = attributes[NL80211_ATTR_SSID]) {
    const auto* data = static_cast<const BYTE*>(nla_data(a));
    interface.ssid.emplace(data, data + nla_len(a));
  }
  interfaces->push_back(std::move(interface));
  return true;
}

// Keeps the BSS of a scan result when the interface is associated with it or has joined it, as
// `iw dev NAME link` finds it, and passes over every other one.
bool ReadCurrentBss(const Attributes& attributes, std::vector<CurrentBss>* found) {
  BssAttributes bss{};
  if (attributes[NL80211_ATTR_BSS] == nullptr ||
      nla_parse_nested(bss.data(), kBssLast, attributes[NL80211_ATTR_BSS], kBssPolicy.data()) < 0) {
    return false;
  }
  if (bss[NL80211_BSS_STATUS] == nullptr) return true;
  const std::uint32_t status = nla_get_u32(bss[NL80211_BSS_STATUS]);
  if (status != NL80211_BSS_STATUS_ASSOCIATED && status != NL80211_BSS_STATUS_IBSS_JOINED) return true;
  // The elements of the last frame heard from the BSS; those of its beacon where they are missing.
  const nlattr* elements = bss[NL80211_BSS_INFORMATION_ELEMENTS] != nullptr ? bss[NL80211_BSS_INFORMATION_ELEMENTS]
                                                                            : bss[NL80211_BSS_BEACON_IES];
  CurrentBss current;
  if (elements != nullptr) {
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(nla_data(elements)),
                                              static_cast<std::size_t>(nla_len(elements)));
    if (const auto ssid = FindSsidElement(bytes)) current.ssid.emplace(ssid->begin(), ssid->end());
  }
  found->push_back(std::move(current));
  return true;
}

bool IsClient(const Interface& interface) {
  return interface.iftype == NL80211_IFTYPE_STATION || interface.iftype == NL80211_IFTYPE_P2P_CLIENT;
}

class Nl80211Client final : public WlanClient {
 public:
  explicit Nl80211Client(int family) : family_(family) {}

  DWORD EnumInterfaces(std::vector<WlanInterfaceEntry>* entries) override {
    entries->clear();
    std::vector<Interface> interfaces;
    if (const DWORD error = GetInterfaces(0, &interfaces); error != ERROR_SUCCESS) return error;
    for (const Interface& interface : interfaces) {
      // A wireless device without a network interface (a P2P device) carries no traffic.
      if (interface.ifindex == 0 || interface.name.empty()) continue;
      WlanInterfaceEntry entry;
      entry.name = interface.name;
      entry.description = LinkDescription(interface.name);
      // A station has its carrier from association on; asking for the BSS here would make the
      // list fail with anything that goes wrong in the scan results.
      entry.connected = IsClient(interface) && (interface.ssid.has_value() || LinkRunning(interface.name));
      entries->push_back(std::move(entry));
    }
    return ERROR_SUCCESS;
  }

  DWORD QueryCurrentConnection(std::string_view name, WlanConnection* connection) override {
    if (!IsValidInterfaceName(name)) return ERROR_NOT_FOUND;
    const unsigned index = if_nametoindex(std::string(name).c_str());
    if (index == 0) return ERROR_NOT_FOUND;
    std::vector<Interface> interfaces;
    if (const DWORD error = GetInterfaces(index, &interfaces); error != ERROR_SUCCESS) return error;
    // The index may have passed to another interface between the two questions.
    if (interfaces.size() != 1 || interfaces[0].ifindex != index || interfaces[0].name != name) {
      return ERROR_NOT_FOUND;
    }
    const Interface& interface = interfaces[0];
    if (!IsClient(interface)) return ERROR_INVALID_STATE;
    if (interface.ssid) {
      connection->ssid = *interface.ssid;
      return ERROR_SUCCESS;
    }
    // cfg80211 does not always name the SSID of a station that its manager associated through
    // separate authentication and association requests (seen with access points that announce no
    // country); the BSS the station is associated with still carries it.
    std::vector<CurrentBss> current;
    if (const DWORD error = GetCurrentBss(index, &current); error != ERROR_SUCCESS) return error;
    if (current.empty()) return ERROR_INVALID_STATE;
    if (!current.front().ssid) return ERROR_GEN_FAILURE;
    connection->ssid = *current.front().ssid;
    return ERROR_SUCCESS;
  }

  DWORD Close() override { return ERROR_SUCCESS; }

 private:
  // Every wireless interface, or only the one with index `ifindex` when that is not 0.
  DWORD GetInterfaces(std::uint32_t ifindex, std::vector<Interface>* interfaces) const {
    return Ask(family_, NL80211_CMD_GET_INTERFACE, NL80211_CMD_NEW_INTERFACE, ifindex == 0, ifindex, ReadInterface,
               interfaces);
  }

  // The BSS the interface is associated with, if any (an MLO station lists one per link).
  DWORD GetCurrentBss(std::uint32_t ifindex, std::vector<CurrentBss>* current) const {
    return Ask(family_, NL80211_CMD_GET_SCAN, NL80211_CMD_NEW_SCAN_RESULTS, true, ifindex, ReadCurrentBss, current);
  }

  const int family_;
};

}  // namespace

DWORD LinuxWlanService::Open(std::unique_ptr<WlanClient>* client) {
  client->reset();
  SocketPtr sk = Connect();
  if (!sk) return ERROR_SERVICE_NOT_ACTIVE;
  const int family = genl_ctrl_resolve(sk.get(), NL80211_GENL_NAME);
  // Without the nl80211 family there is no wireless stack to ask: the service is not running.
  if (family < 0) return ERROR_SERVICE_NOT_ACTIVE;
  *client = std::make_unique<Nl80211Client>(family);
  return ERROR_SUCCESS;
}

}  // namespace platform::net
