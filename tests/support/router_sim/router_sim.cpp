#include "tests/support/router_sim/router_sim.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

namespace velmor::test {
namespace {

// Whether `fd` became ready for `events`: false on stop, hang-up or error.
bool Await(int fd, short events, int stopFd) {
  pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
  int n;
  while ((n = poll(fds, 2, -1)) < 0 && errno == EINTR) {
  }
  return n > 0 && fds[0].revents == 0 && (fds[1].revents & events) != 0;
}

bool SendAll(int fd, std::string_view bytes, int stopFd) {
  while (!bytes.empty()) {
    if (!Await(fd, POLLOUT, stopFd)) return false;
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

RouterAnswer RouterAnswer::Status(int status, const std::string& body, const std::vector<std::string>& headers) {
  RouterAnswer answer{"HTTP/1.1 " + std::to_string(status) + " OK\r\nConnection: close\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\n"};
  for (const std::string& line : headers) answer.wire += line + "\r\n";
  answer.wire += "\r\n" + body;
  return answer;
}

RouterAnswer RouterAnswer::Challenge(const std::string& realm) {
  return Status(401, "<html><body>401 Unauthorized</body></html>\n", {"WWW-Authenticate: Basic realm=\"" + realm + "\""});
}

RouterAnswer RouterAnswer::Redirect(int status, const std::string& location) {
  return Status(status, {}, {"Location: " + location});
}

RouterSim::RouterSim(Answers answers, const std::string& address, std::uint16_t port)
    : answers_(std::move(answers)), address_(address) {
  sockaddr_in6 v6{};
  sockaddr_in v4{};
  v6.sin6_family = AF_INET6;
  v4.sin_family = AF_INET;
  v6.sin6_port = v4.sin_port = htons(port);
  const bool isV6 = inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1;
  if (!isV6 && inet_pton(AF_INET, address.c_str(), &v4.sin_addr) != 1) {
    throw std::system_error(EINVAL, std::generic_category(), "address " + address);
  }
  auto* bound = isV6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
  socklen_t length = isV6 ? sizeof v6 : sizeof v4;
  listenFd_ = socket(isV6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(listenFd_, bound, length) != 0 || listen(listenFd_, 128) != 0 || getsockname(listenFd_, bound, &length) != 0) {
    const std::system_error error(errno, std::generic_category(), "bind");
    close(listenFd_);
    throw error;
  }
  port_ = ntohs(isV6 ? v6.sin6_port : v4.sin_port);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  acceptor_ = std::thread([this] {
    while (Await(listenFd_, POLLIN, stopFd_)) {
      std::unique_lock lock(mutex_);
      const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++accepted_;
      ++open_;
      lock.unlock();
      // Only the acceptor adds servers, and it has ended before the destructor joins them.
      servers_.emplace_back([this, fd] {
        Serve(fd);
        close(fd);
        std::lock_guard lock(mutex_);
        --open_;
        closed_.notify_all();
      });
    }
  });
}

RouterSim::~RouterSim() {
  eventfd_write(stopFd_, 1);
  acceptor_.join();
  for (std::thread& server : servers_) server.join();
  close(listenFd_);
  close(stopFd_);
}

std::string RouterSim::HostPort() const {
  return (address_.find(':') != std::string::npos ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_);
}

void RouterSim::Serve(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = request.size() < 65536 && Await(fd, POLLIN, stopFd_) ? recv(fd, buffer, sizeof buffer, 0) : 0;
    if (n <= 0) return;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  request.resize(request.find("\r\n\r\n") + 4);
  std::string path = request.substr(request.find(' ') + 1);
  path.resize(path.find(' '));
  const auto found = answers_.find(path);
  const RouterAnswer answer = found != answers_.end() ? found->second : RouterAnswer::Status(404, "Not Found\n");
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
  }

  if (!SendAll(fd, std::string_view(answer.wire).substr(0, answer.cut), stopFd_)) return;
  while (answer.end == RouterAnswer::End::kRepeat && SendAll(fd, answer.repeat, stopFd_)) {
  }
  if (answer.end == RouterAnswer::End::kClose) shutdown(fd, SHUT_WR);
  // The connection stays until the client goes or the simulator stops: a stalled answer says
  // nothing more on it.
  while (Await(fd, POLLIN, stopFd_) && recv(fd, buffer, sizeof buffer, 0) > 0) {
  }
}

bool RouterSim::WaitUntilIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return closed_.wait_for(lock, timeout, [this] { return open_ == 0; });
}

std::vector<std::string> RouterSim::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t RouterSim::Connections() const {
  // Under the acceptor's lock a connection is either counted or still in the listening queue.
  std::lock_guard lock(mutex_);
  pollfd pending{listenFd_, POLLIN, 0};
  return accepted_ + (poll(&pending, 1, 0) == 1 ? 1 : 0);
}

}  // namespace velmor::test
