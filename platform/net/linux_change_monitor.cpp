// The Linux change monitor: rtnetlink multicast groups, and nl80211's "mlme" group where the
// family exists, gathered behind one epoll descriptor so the caller polls a single fd.
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/net/change_monitor.h"
#include "platform/net/netlink_reader.h"

namespace platform::net {
namespace {

class OwnedFd {
 public:
  OwnedFd() = default;
  explicit OwnedFd(int fd) : fd_(fd) {}
  ~OwnedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  OwnedFd(OwnedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  OwnedFd& operator=(OwnedFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

struct SocketDeleter {
  void operator()(nl_sock* sk) const { nl_socket_free(sk); }
};
using SocketPtr = std::unique_ptr<nl_sock, SocketDeleter>;

OwnedFd OpenRouteSocket() {
  OwnedFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (fd.get() < 0) return fd;
  sockaddr_nl addr{};
  addr.nl_family = AF_NETLINK;
  addr.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return OwnedFd();
  return fd;
}

// A generic-netlink socket in nl80211's "mlme" group, or null where the family (or the group)
// does not exist, as on machines without a cfg80211 driver.
SocketPtr OpenMlmeSocket() {
  SocketPtr sk(nl_socket_alloc());
  if (!sk || genl_connect(sk.get()) < 0) return nullptr;
  const int group = genl_ctrl_resolve_grp(sk.get(), "nl80211", "mlme");
  if (group < 0) return nullptr;
  nl_socket_disable_seq_check(sk.get());
  if (nl_socket_add_membership(sk.get(), group) < 0 || nl_socket_set_nonblocking(sk.get()) < 0) return nullptr;
  return sk;
}

bool IsRouteChange(std::uint16_t type) {
  switch (type) {
    case RTM_NEWLINK:
    case RTM_DELLINK:
    case RTM_NEWADDR:
    case RTM_DELADDR:
    case RTM_NEWROUTE:
    case RTM_DELROUTE:
      return true;
    default:
      return false;
  }
}

// Reads every datagram waiting on `fd`; true when one of them announced a change that
// `isChange` recognises, or when announcements were lost.
template <class IsChange>
bool DrainSocket(int fd, IsChange isChange) {
  bool changed = false;
  std::array<std::uint8_t, 32 * 1024> buffer;
  for (;;) {
    sockaddr_nl from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOBUFS) {
        changed = true;
        continue;
      }
      return changed;  // EAGAIN: nothing left
    }
    // Only the kernel announces; another process writing to this port is ignored.
    if (from.nl_pid != 0) continue;
    if (static_cast<std::size_t>(n) > buffer.size()) {
      changed = true;  // cut short: something was said, even if we cannot read it
      continue;
    }
    std::vector<netlink::Message> messages;
    if (!netlink::SplitMessages(netlink::Bytes(buffer.data(), static_cast<std::size_t>(n)), &messages)) {
      changed = true;
      continue;
    }
    for (const netlink::Message& m : messages) changed = changed || isChange(m.type);
  }
}

class LinuxChangeMonitor final : public ChangeMonitor {
 public:
  LinuxChangeMonitor(OwnedFd epoll, OwnedFd route, SocketPtr mlme)
      : epoll_(std::move(epoll)), route_(std::move(route)), mlme_(std::move(mlme)) {}

  int Fd() const override { return epoll_.get(); }

  bool Drain() override {
    bool changed = DrainSocket(route_.get(), IsRouteChange);
    if (mlme_) {
      const int family = mlmeFamily_;
      changed = DrainSocket(nl_socket_get_fd(mlme_.get()),
                            [family](std::uint16_t type) { return family < 0 || type == family; }) ||
                changed;
    }
    return changed;
  }

  void SetMlmeFamily(int family) { mlmeFamily_ = family; }

 private:
  OwnedFd epoll_;
  OwnedFd route_;
  SocketPtr mlme_;
  int mlmeFamily_ = -1;
};

std::mutex g_sourceMutex;
std::shared_ptr<ChangeMonitorSource>& SourceSlot() {
  static auto* slot = new std::shared_ptr<ChangeMonitorSource>(std::make_shared<LinuxChangeMonitorSource>());
  return *slot;
}

}  // namespace

std::unique_ptr<ChangeMonitor> LinuxChangeMonitorSource::Open() {
  OwnedFd route = OpenRouteSocket();
  if (route.get() < 0) return nullptr;
  OwnedFd epoll(::epoll_create1(EPOLL_CLOEXEC));
  if (epoll.get() < 0) return nullptr;
  epoll_event ev{};
  ev.events = EPOLLIN;
  if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, route.get(), &ev) != 0) return nullptr;
  SocketPtr mlme = OpenMlmeSocket();
  int family = -1;
  if (mlme) {
    family = genl_ctrl_resolve(mlme.get(), "nl80211");
    if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, nl_socket_get_fd(mlme.get()), &ev) != 0) mlme.reset();
  }
  auto monitor = std::make_unique<LinuxChangeMonitor>(std::move(epoll), std::move(route), std::move(mlme));
  monitor->SetMlmeFamily(family);
  return monitor;
}

std::shared_ptr<ChangeMonitorSource> CurrentChangeMonitorSource() {
  std::lock_guard g(g_sourceMutex);
  return SourceSlot();
}

void SetChangeMonitorSource(std::shared_ptr<ChangeMonitorSource> source) {
  std::lock_guard g(g_sourceMutex);
  SourceSlot() = source ? std::move(source) : std::make_shared<LinuxChangeMonitorSource>();
}

std::unique_ptr<ChangeMonitor> OpenChangeMonitor() { return CurrentChangeMonitorSource()->Open(); }

}  // namespace platform::net
