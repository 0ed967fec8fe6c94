#include <net/if.h>
#include <netlink/errno.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/socket.h>
#include <linux/netlink.h>
#include <linux/nl80211.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/linux_link.h"
#include "platform/net/ndis.h"
#include "platform/net/nl80211_answer.h"
#include "platform/net/wlanapi.h"

namespace platform::net {
namespace {

struct SocketFree {
  void operator()(nl_sock* sk) const { nl_socket_free(sk); }
};
struct MessageFree {
  void operator()(nl_msg* msg) const { nlmsg_free(msg); }
};
using SocketPtr = std::unique_ptr<nl_sock, SocketFree>;
using MessagePtr = std::unique_ptr<nl_msg, MessageFree>;

// The kernel answers at once; a socket that stays silent this long is not going to.
constexpr timeval kReceiveTimeout{2, 0};
// A dump torn by interfaces coming or going is asked again, this many times in all.
constexpr int kDumpAttempts = 3;

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

SocketPtr Connect() {
  SocketPtr sk(nl_socket_alloc());
  if (!sk || genl_connect(sk.get()) < 0) return nullptr;
  // Each request is answered by data alone; acknowledgements would only be more to read.
  nl_socket_disable_auto_ack(sk.get());
  if (setsockopt(nl_socket_get_fd(sk.get()), SOL_SOCKET, SO_RCVTIMEO, &kReceiveTimeout, sizeof kReceiveTimeout) != 0) {
    return nullptr;
  }
  return sk;
}

// Receives one whole datagram from the kernel into `datagram`; ERROR_SUCCESS or why not.
DWORD ReceiveDatagram(int fd, std::vector<std::uint8_t>* datagram) {
  for (;;) {
    // Peek first so that no datagram is ever cut to the buffer's size.
    std::uint8_t probe = 0;
    const ssize_t size = recv(fd, &probe, sizeof probe, MSG_PEEK | MSG_TRUNC);
    if (size < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? ERROR_TIMEOUT : FromErrno(errno);
    }
    datagram->resize(static_cast<std::size_t>(size));
    sockaddr_nl peer{};
    socklen_t peerLength = sizeof peer;
    const ssize_t got = recvfrom(fd, datagram->data(), datagram->size(), 0, reinterpret_cast<sockaddr*>(&peer),
                                 &peerLength);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? ERROR_TIMEOUT : FromErrno(errno);
    }
    datagram->resize(static_cast<std::size_t>(got));
    // Only the kernel answers requests; anything another process sends here is passed over.
    if (peerLength == sizeof peer && peer.nl_pid == 0) return ERROR_SUCCESS;
  }
}

// Sends one NL80211_CMD_GET_INTERFACE request and reads its whole answer.
DWORD GetInterfaces(int family, std::optional<std::uint32_t> ifindex, std::vector<Nl80211Interface>* interfaces) {
  const bool dump = !ifindex.has_value();
  for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
    SocketPtr sk = Connect();
    if (!sk) return ERROR_GEN_FAILURE;
    MessagePtr request(nlmsg_alloc());
    if (!request ||
        genlmsg_put(request.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, dump ? NLM_F_DUMP : 0,
                    NL80211_CMD_GET_INTERFACE, 0) == nullptr ||
        (ifindex && nla_put_u32(request.get(), NL80211_ATTR_IFINDEX, *ifindex) < 0)) {
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (nl_send_auto(sk.get(), request.get()) < 0) return ERROR_GEN_FAILURE;

    Nl80211InterfaceAnswer answer(static_cast<std::uint16_t>(family), nlmsg_hdr(request.get())->nlmsg_seq, dump);
    std::vector<std::uint8_t> datagram;
    while (answer.status() == Nl80211InterfaceAnswer::Status::More) {
      if (const DWORD error = ReceiveDatagram(nl_socket_get_fd(sk.get()), &datagram); error != ERROR_SUCCESS) {
        return error;
      }
      answer.Feed(datagram);
    }
    switch (answer.status()) {
      case Nl80211InterfaceAnswer::Status::More:
      case Nl80211InterfaceAnswer::Status::Malformed:
        return ERROR_GEN_FAILURE;
      case Nl80211InterfaceAnswer::Status::KernelError:
        return FromErrno(answer.kernelError());
      case Nl80211InterfaceAnswer::Status::Done:
        break;
    }
    if (answer.interrupted()) continue;
    *interfaces = answer.interfaces();
    return ERROR_SUCCESS;
  }
  return ERROR_GEN_FAILURE;
}

bool IsClient(const Nl80211Interface& interface) {
  return interface.iftype == NL80211_IFTYPE_STATION || interface.iftype == NL80211_IFTYPE_P2P_CLIENT;
}

class Nl80211Client final : public WlanClient {
 public:
  explicit Nl80211Client(int family) : family_(family) {}

  DWORD EnumInterfaces(std::vector<WlanInterfaceEntry>* entries) override {
    entries->clear();
    std::vector<Nl80211Interface> interfaces;
    if (const DWORD error = GetInterfaces(family_, std::nullopt, &interfaces); error != ERROR_SUCCESS) return error;
    for (const Nl80211Interface& interface : interfaces) {
      // A wireless device without a network interface (a P2P device) carries no traffic.
      if (!interface.ifindex || interface.name.empty()) continue;
      WlanInterfaceEntry entry;
      entry.name = interface.name;
      entry.description = LinkDescription(interface.name);
      entry.connected = IsClient(interface) && interface.ssid.has_value();
      entries->push_back(std::move(entry));
    }
    return ERROR_SUCCESS;
  }

  DWORD QueryCurrentConnection(std::string_view name, WlanConnection* connection) override {
    if (!IsValidInterfaceName(name)) return ERROR_NOT_FOUND;
    const unsigned index = if_nametoindex(std::string(name).c_str());
    if (index == 0) return ERROR_NOT_FOUND;
    std::vector<Nl80211Interface> interfaces;
    if (const DWORD error = GetInterfaces(family_, index, &interfaces); error != ERROR_SUCCESS) return error;
    // The index may have passed to another interface between the two questions.
    if (interfaces.size() != 1 || interfaces[0].ifindex != index || interfaces[0].name != name) {
      return ERROR_NOT_FOUND;
    }
    const Nl80211Interface& interface = interfaces[0];
    if (!IsClient(interface) || !interface.ssid) return ERROR_INVALID_STATE;
    connection->ssid.assign(interface.ssid->begin(), interface.ssid->end());
    return ERROR_SUCCESS;
  }

  DWORD Close() override { return ERROR_SUCCESS; }

 private:
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
