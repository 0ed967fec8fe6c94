// Owners of the libnl objects and of plain descriptors that the Linux backends open, and the one
// routing request they send.
#pragma once

#include <linux/rtnetlink.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>
#include <netlink/socket.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace platform::net {

struct SocketFree {
  void operator()(nl_sock* sk) const { nl_socket_free(sk); }
};
struct MessageFree {
  void operator()(nl_msg* msg) const { nlmsg_free(msg); }
};
struct CallbacksFree {
  void operator()(nl_cb* cb) const { nl_cb_put(cb); }
};
using SocketPtr = std::unique_ptr<nl_sock, SocketFree>;
using MessagePtr = std::unique_ptr<nl_msg, MessageFree>;
using CallbacksPtr = std::unique_ptr<nl_cb, CallbacksFree>;

// Asks the routing table for a dump of `request` (RTM_GETLINK, ...) for `family`: the one call
// the backends needed of libnl's routing library, which is not loaded for it.
inline int RequestDump(nl_sock* sk, int request, int family) {
  rtgenmsg message{};
  message.rtgen_family = static_cast<unsigned char>(family);
  return nl_send_simple(sk, request, NLM_F_DUMP, &message, sizeof message);
}

// A file descriptor, closed when its owner goes; -1 owns nothing.
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

}  // namespace platform::net
