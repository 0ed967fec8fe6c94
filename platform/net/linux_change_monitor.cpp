// The Linux change monitor: rtnetlink multicast groups, and nl80211's "mlme" group where the
// family exists, gathered behind one epoll descriptor so the caller polls a single fd.
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netlink/errno.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/socket.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/base/service.h"
#include "platform/net/change_monitor.h"
#include "platform/net/linux_link_states.h"
#include "platform/net/netlink.h"

namespace platform::net {
namespace {

SocketPtr OpenRouteSocket() {
  SocketPtr sk(nl_socket_alloc());
  if (!sk) return nullptr;
  // Announcements carry no sequence numbers to check.
  nl_socket_disable_seq_check(sk.get());
  if (nl_connect(sk.get(), NETLINK_ROUTE) < 0 ||
      nl_socket_add_memberships(sk.get(), RTNLGRP_LINK, RTNLGRP_IPV4_IFADDR, RTNLGRP_IPV4_ROUTE, 0) < 0 ||
      nl_socket_set_nonblocking(sk.get()) < 0) {
    return nullptr;
  }
  return sk;
}

// A generic-netlink socket in nl80211's "mlme" group and the family's id, or null where the
// family (or the group) does not exist, as on machines without a cfg80211 driver.
SocketPtr OpenMlmeSocket(int* family) {
  SocketPtr sk(nl_socket_alloc());
  if (!sk || genl_connect(sk.get()) < 0) return nullptr;
  // Both questions are asked before the socket joins the group, so no announcement comes
  // between them and their answers.
  *family = genl_ctrl_resolve(sk.get(), "nl80211");
  const int group = genl_ctrl_resolve_grp(sk.get(), "nl80211", "mlme");
  if (*family < 0 || group < 0) return nullptr;
  nl_socket_disable_seq_check(sk.get());
  if (nl_socket_add_membership(sk.get(), group) < 0 || nl_socket_set_nonblocking(sk.get()) < 0) return nullptr;
  return sk;
}

struct Drain {
  LinkStates* links;  // null for the nl80211 socket
  int mlmeFamily;
  NetworkChange change = NetworkChange::kNone;

  void Note(NetworkChange c) { change = std::max(change, c); }
};

int OnAnnouncement(nl_msg* msg, void* arg) {
  Drain& drain = *static_cast<Drain*>(arg);
  // Only the kernel announces; another process writing to this port is ignored.
  if (nlmsg_get_src(msg)->nl_pid != 0) return NL_SKIP;
  nlmsghdr* header = nlmsg_hdr(msg);
  if (drain.links != nullptr) {
    drain.Note(drain.links->Announced(header));
  } else if (header->nlmsg_type == drain.mlmeFamily) {
    drain.Note(NetworkChange::kChange);
  }
  // What it amounts to is all there is to know about a message; libnl is to do nothing more with it.
  return NL_SKIP;
}

// Reads every message waiting on `sk`; lost announcements count as an outcome, since what was
// missed may be one.
NetworkChange DrainSocket(nl_sock* sk, LinkStates* links, int mlmeFamily) {
  CallbacksPtr callbacks(nl_cb_alloc(NL_CB_DEFAULT));
  // Nothing can be read now; a pass too many costs less than a change missed.
  if (!callbacks) return NetworkChange::kLinkOutcome;
  Drain drain{links, mlmeFamily};
  nl_cb_set(callbacks.get(), NL_CB_MSG_IN, NL_CB_CUSTOM, OnAnnouncement, &drain);
  bool lost = false;
  for (;;) {
    const int result = nl_recvmsgs(sk, callbacks.get());
    if (result >= 0) {
      lost = false;
      continue;
    }
    // The socket overran (ENOBUFS): something was said that is gone now. The next read goes on
    // with what came after.
    if (result == -NLE_NOMEM && !lost) {
      lost = true;
      drain.Note(NetworkChange::kLinkOutcome);
      continue;
    }
    return drain.change;  // -NLE_AGAIN: nothing left
  }
}

// The links there are now, read on a socket of its own so that the answers do not mix with the
// announcements. Asked after the monitor has joined its groups, so that no change is missed: the
// announcements queued meanwhile are applied after it, and the last of them for a link holds
// the state the answer saw or a later one.
void ReadLinks(LinkStates& links) {
  SocketPtr sk(nl_socket_alloc());
  if (!sk || nl_connect(sk.get(), NETLINK_ROUTE) < 0) return;
  if (RequestDump(sk.get(), RTM_GETLINK, AF_UNSPEC) < 0) return;
  const auto valid = [](nl_msg* msg, void* arg) -> int {
    static_cast<LinkStates*>(arg)->Learn(nlmsg_hdr(msg));
    return NL_OK;
  };
  if (nl_socket_modify_cb(sk.get(), NL_CB_VALID, NL_CB_CUSTOM, valid, &links) < 0) return;
  nl_recvmsgs_default(sk.get());
}

class LinuxChangeMonitor final : public ChangeMonitor {
 public:
  LinuxChangeMonitor(OwnedFd epoll, SocketPtr route, SocketPtr mlme, int mlmeFamily)
      : epoll_(std::move(epoll)), route_(std::move(route)), mlme_(std::move(mlme)), mlmeFamily_(mlmeFamily) {
    ReadLinks(links_);
  }

  int Fd() const override { return epoll_.get(); }

  NetworkChange Drain() override {
    NetworkChange change = DrainSocket(route_.get(), &links_, 0);
    if (mlme_) change = std::max(change, DrainSocket(mlme_.get(), nullptr, mlmeFamily_));
    return change;
  }

 private:
  OwnedFd epoll_;
  SocketPtr route_;
  SocketPtr mlme_;
  int mlmeFamily_;
  LinkStates links_;
};

constinit Service<ChangeMonitorSource> g_source(
    []() -> std::shared_ptr<ChangeMonitorSource> { return std::make_shared<LinuxChangeMonitorSource>(); });

}  // namespace

std::unique_ptr<ChangeMonitor> LinuxChangeMonitorSource::Open() {
  SocketPtr route = OpenRouteSocket();
  if (!route) return nullptr;
  OwnedFd epoll(::epoll_create1(EPOLL_CLOEXEC));
  if (epoll.get() < 0) return nullptr;
  epoll_event ev{};
  ev.events = EPOLLIN;
  if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, nl_socket_get_fd(route.get()), &ev) != 0) return nullptr;
  int family = -1;
  SocketPtr mlme = OpenMlmeSocket(&family);
  if (mlme && ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, nl_socket_get_fd(mlme.get()), &ev) != 0) mlme.reset();
  return std::make_unique<LinuxChangeMonitor>(std::move(epoll), std::move(route), std::move(mlme), family);
}

std::shared_ptr<ChangeMonitorSource> CurrentChangeMonitorSource() { return g_source.Get(); }

void SetChangeMonitorSource(std::shared_ptr<ChangeMonitorSource> source) { g_source.Set(std::move(source)); }

std::unique_ptr<ChangeMonitor> OpenChangeMonitor() { return CurrentChangeMonitorSource()->Open(); }

}  // namespace platform::net
