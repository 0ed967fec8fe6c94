#include "tests/support/router_sim/router_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

namespace velmor::test {
namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;

std::string ReasonFor(int status) {
  switch (status) {
    case 200: return "OK";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The path a request target names: a proxy request carries the whole URL, and the query does
// not choose the answer.
std::string PathOf(std::string_view target) {
  for (std::string_view scheme : {"http://", "https://"}) {
    if (target.starts_with(scheme)) {
      target.remove_prefix(scheme.size());
      const std::size_t slash = target.find('/');
      target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
  }
  const std::size_t query = target.find('?');
  return std::string(target.substr(0, query));
}

std::string Chunk(std::string_view bytes) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
  std::string out(size);
  out.append(bytes);
  out.append("\r\n");
  return out;
}

// The body as it goes over the wire once (for an endless answer: one round of it).
std::string WireBody(const RouterAnswer& answer, std::string_view body, bool last) {
  if (!answer.chunked) return std::string(body);
  std::string out;
  const std::size_t step = answer.chunkSize == 0 ? 1 : answer.chunkSize;
  for (std::size_t at = 0; at < body.size(); at += step) out += Chunk(body.substr(at, step));
  if (last) out += "0\r\n\r\n";
  return out;
}

// The whole answer as it goes over the wire.
std::string Wire(const RouterAnswer& answer) {
  return answer.raw ? answer.body : answer.Head() + WireBody(answer, answer.body, true);
}

// Waits until `fd` is ready for `events` or the simulator stops; false on stop, hang-up or error.
bool WaitFor(int fd, short events, int stopFd) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int n = poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[1].revents & POLLIN) != 0) return false;
    if ((fds[0].revents & events) != 0) return true;
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
  }
}

bool SendAll(int fd, std::string_view bytes, int stopFd) {
  while (!bytes.empty()) {
    if (!WaitFor(fd, POLLOUT, stopFd)) return false;
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Waits `interval` unless the simulator stops first; false on stop.
bool Pause(std::chrono::milliseconds interval, int stopFd) {
  const auto end = std::chrono::steady_clock::now() + interval;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    pollfd stop = {stopFd, POLLIN, 0};
    const int n = poll(&stop, 1, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n != 0) return false;
  }
}

// Holds the connection open, saying nothing, until the client goes or the simulator stops.
void KeepSilent(int fd, int stopFd) {
  char sink[4096];
  while (WaitFor(fd, POLLIN, stopFd)) {
    const ssize_t n = recv(fd, sink, sizeof sink, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
  }
}

std::optional<ReceivedRequest> ParseRequest(std::string_view head) {
  ReceivedRequest request;
  std::size_t end = head.find("\r\n");
  const std::string_view line = head.substr(0, end);
  const std::size_t a = line.find(' ');
  const std::size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
  if (b == std::string_view::npos) return std::nullopt;
  request.method = std::string(line.substr(0, a));
  request.target = std::string(line.substr(a + 1, b - a - 1));
  request.version = std::string(line.substr(b + 1));
  while (end != std::string_view::npos) {
    const std::size_t start = end + 2;
    end = head.find("\r\n", start);
    const std::string_view field = head.substr(start, end == std::string_view::npos ? end : end - start);
    if (field.empty()) break;
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos) continue;
    request.headers.emplace_back(std::string(field.substr(0, colon)), std::string(Trim(field.substr(colon + 1))));
  }
  return request;
}

std::system_error SocketError(const char* what) { return std::system_error(errno, std::generic_category(), what); }

}  // namespace

// ---- RouterAnswer ----

std::string RouterAnswer::Head() const {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + (reason.empty() ? ReasonFor(status) : reason) + "\r\n";
  head += "Content-Type: text/html\r\n";
  if (chunked) {
    head += "Transfer-Encoding: chunked\r\n";
  } else if (behaviour != Behaviour::kEndless) {
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  head += "Connection: close\r\n";
  if (!location.empty()) head += "Location: " + location + "\r\n";
  if (!realm.empty()) head += "WWW-Authenticate: Basic realm=\"" + realm + "\"\r\n";
  for (const std::string& line : extraHeaders) head += line + "\r\n";
  head += "\r\n";
  return head;
}

RouterAnswer RouterAnswer::Status(int status, std::string body) {
  RouterAnswer answer;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

RouterAnswer RouterAnswer::Challenge(std::string realm) {
  RouterAnswer answer = Status(401, "<html><body>401 Unauthorized</body></html>\n");
  answer.realm = std::move(realm);
  return answer;
}

RouterAnswer RouterAnswer::Redirect(int status, std::string location) {
  RouterAnswer answer = Status(status);
  answer.location = std::move(location);
  return answer;
}

RouterAnswer RouterAnswer::Raw(std::string bytes) {
  RouterAnswer answer;
  answer.body = std::move(bytes);
  answer.raw = true;
  return answer;
}

std::string ReceivedRequest::Header(const std::string& name) const {
  const std::string wanted = Lower(name);
  for (const auto& [key, value] : headers) {
    if (Lower(key) == wanted) return value;
  }
  return {};
}

// ---- RouterSim ----

struct RouterSim::Connection {
  std::thread thread;
  std::atomic<bool> done{false};
};

RouterSim::RouterSim(RouterAnswer probeAnswer, const std::string& address, std::uint16_t port)
    : RouterSim(Answers{{kProbePath, std::move(probeAnswer)}}, address, port) {}

RouterSim::RouterSim(Answers answers, const std::string& address, std::uint16_t port)
    : answers_(std::move(answers)), address_(address) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof *v4;
  } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof *v6;
  } else {
    throw std::system_error(EINVAL, std::generic_category(), "router simulator address " + address);
  }

  listenFd_ = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw SocketError("socket");
  const int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&storage), length) != 0 || listen(listenFd_, 128) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    const std::system_error error = SocketError("bind");
    close(listenFd_);
    throw error;
  }
  port_ = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) {
    const std::system_error error = SocketError("eventfd");
    close(listenFd_);
    throw error;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

RouterSim::~RouterSim() { Stop(); }

std::string RouterSim::HostPort() const {
  const bool v6 = address_.find(':') != std::string::npos;
  return (v6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_);
}

std::string RouterSim::ProbeAddress() const { return HostPort() + kProbePath; }

void RouterSim::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    stopped_ = true;
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
  acceptor_.join();
  std::list<std::unique_ptr<Connection>> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& worker : workers) {
    if (worker->thread.joinable()) worker->thread.join();
  }
  close(listenFd_);
  close(stopFd_);
}

void RouterSim::AcceptLoop() {
  for (;;) {
    if (!WaitFor(listenFd_, POLLIN, stopFd_)) return;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ReapFinished();
    auto connection = std::make_unique<Connection>();
    Connection* raw = connection.get();
    {
      std::lock_guard lock(mutex_);
      ++connections_;
      ++openConnections_;
      workers_.push_back(std::move(connection));
    }
    raw->thread = std::thread([this, fd, raw] {
      Serve(fd);
      close(fd);
      {
        std::lock_guard lock(mutex_);
        --openConnections_;
        changed_.notify_all();
      }
      raw->done = true;
    });
  }
}

void RouterSim::ReapFinished() {
  std::list<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      // A worker is listed before its thread starts, so one without a thread is still starting.
      if ((*it)->done && (*it)->thread.joinable()) {
        finished.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& worker : finished) worker->thread.join();
}

void RouterSim::Serve(int fd) {
  std::string head;
  char buffer[4096];
  std::size_t headEnd = std::string::npos;
  while (headEnd == std::string::npos) {
    if (head.size() > kMaxRequestHead || !WaitFor(fd, POLLIN, stopFd_)) return;
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return;
    head.append(buffer, static_cast<std::size_t>(n));
    headEnd = head.find("\r\n\r\n");
  }
  std::optional<ReceivedRequest> request = ParseRequest(std::string_view(head).substr(0, headEnd + 2));
  if (!request) return;
  const std::string path = PathOf(request->target);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(*request));
    changed_.notify_all();
  }

  const auto found = answers_.find(path);
  const RouterAnswer answer = found != answers_.end()
                                  ? found->second
                                  : RouterAnswer::Status(404, "<html><body>404 Not Found</body></html>\n");
  using Behaviour = RouterAnswer::Behaviour;
  switch (answer.behaviour) {
    case Behaviour::kRespond:
      SendAll(fd, Wire(answer), stopFd_);
      shutdown(fd, SHUT_WR);
      return;
    case Behaviour::kSilent:
      KeepSilent(fd, stopFd_);
      return;
    case Behaviour::kCloseMidBody:
    case Behaviour::kStallMidBody: {
      const std::string wire = WireBody(answer, answer.body, true);
      if (!SendAll(fd, answer.Head() + wire.substr(0, wire.size() / 2), stopFd_)) return;
      if (answer.behaviour == Behaviour::kStallMidBody) KeepSilent(fd, stopFd_);
      return;
    }
    case Behaviour::kEndless: {
      const std::string round =
          WireBody(answer, answer.body.empty() ? std::string("<p>streaming</p>\n") : answer.body, false);
      if (!SendAll(fd, answer.Head(), stopFd_)) return;
      while (SendAll(fd, round, stopFd_)) {
      }
      return;
    }
    case Behaviour::kDrip: {
      for (const char byte : Wire(answer)) {
        if (!Pause(answer.dripInterval, stopFd_) || !SendAll(fd, std::string_view(&byte, 1), stopFd_)) return;
      }
      shutdown(fd, SHUT_WR);
      return;
    }
    case Behaviour::kResetInHead: {
      const std::string head = answer.Head();
      SendAll(fd, head.substr(0, head.size() / 2), stopFd_);
      // A zero linger time makes the close that follows send RST at once.
      const linger abort = {1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      return;
    }
  }
}

std::vector<ReceivedRequest> RouterSim::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RouterSim::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  requests_.shrink_to_fit();
}

std::size_t RouterSim::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool RouterSim::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool RouterSim::WaitForIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return openConnections_ == 0; });
}

// ---- NameServer ----

NameServer::NameServer(const std::string& address, std::map<std::string, std::string> names, std::string otherwise)
    : names_(std::move(names)), otherwise_(std::move(otherwise)) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(53);
  if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    throw std::system_error(EINVAL, std::generic_category(), "name server address " + address);
  }
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) throw SocketError("socket");
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    const std::system_error error = SocketError("bind");
    close(fd_);
    if (stopFd_ >= 0) close(stopFd_);
    throw error;
  }
  thread_ = std::thread([this] { Serve(); });
}

NameServer::~NameServer() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
  thread_.join();
  close(fd_);
  close(stopFd_);
}

std::vector<std::string> NameServer::Queries() const {
  std::lock_guard lock(mutex_);
  return queries_;
}

void NameServer::Serve() {
  unsigned char packet[512];
  while (WaitFor(fd_, POLLIN, stopFd_)) {
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 12) continue;
    // The question's name, label by label, up to its type and class.
    std::string name;
    std::size_t at = 12;
    while (at < static_cast<std::size_t>(n) && packet[at] != 0 && packet[at] < 64) {
      const std::size_t length = packet[at];
      if (at + 1 + length >= static_cast<std::size_t>(n)) break;
      if (!name.empty()) name.push_back('.');
      name.append(reinterpret_cast<const char*>(packet + at + 1), length);
      at += 1 + length;
    }
    if (at + 5 > static_cast<std::size_t>(n) || packet[at] != 0) continue;
    const bool wantsAddress = packet[at + 1] == 0 && packet[at + 2] == 1;
    const std::size_t questionEnd = at + 5;
    {
      std::lock_guard lock(mutex_);
      queries_.push_back(name);
    }
    const auto listed = names_.find(Lower(name));
    in_addr address{};
    inet_pton(AF_INET, (listed != names_.end() ? listed->second : otherwise_).c_str(), &address);

    // The query's header and question, turned into an answer; any additional record is dropped.
    std::string reply(reinterpret_cast<const char*>(packet), questionEnd);
    reply[2] = static_cast<char>(0x84 | (packet[2] & 0x01));  // an authoritative answer; recursion as asked
    reply[3] = static_cast<char>(0x80);
    const char counts[8] = {0, 1, 0, static_cast<char>(wantsAddress ? 1 : 0), 0, 0, 0, 0};
    reply.replace(4, 8, counts, 8);
    if (wantsAddress) {
      // The name by reference to the question, type A, class IN, a minute to live, four bytes.
      const char record[12] = {'\xc0', 12, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
      reply.append(record, sizeof record);
      reply.append(reinterpret_cast<const char*>(&address), 4);
    }
    sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
  }
}

// ---- RefusingPeer ----

RefusingPeer::RefusingPeer(const std::string& address) : address_(address) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
    throw std::system_error(EINVAL, std::generic_category(), "refusing peer address " + address);
  }
  socklen_t length = sizeof a;
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw SocketError("socket");
  if (bind(fd_, reinterpret_cast<sockaddr*>(&a), length) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    const std::system_error error = SocketError("bind");
    close(fd_);
    throw error;
  }
  port_ = ntohs(a.sin_port);
}

RefusingPeer::~RefusingPeer() { close(fd_); }

std::string RefusingPeer::HostPort() const { return address_ + ":" + std::to_string(port_); }

// ---- UnconnectablePeer ----

UnconnectablePeer::UnconnectablePeer() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw SocketError("socket");
  // With a backlog of 0 the kernel queues one connection; it never accepts any of them.
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listenFd_, 0) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::system_error error = SocketError("bind");
    close(listenFd_);
    throw error;
  }
  port_ = ntohs(address.sin_port);

  // Fill the accept queue with connections of our own. A listener's TCP_INFO reports the queue's
  // length and limit; once the length exceeds the limit, the kernel drops every new SYN.
  for (int attempt = 0; attempt < 16; ++attempt) {
    tcp_info info{};
    socklen_t infoLength = sizeof info;
    if (getsockopt(listenFd_, IPPROTO_TCP, TCP_INFO, &info, &infoLength) != 0) break;
    if (info.tcpi_unacked > info.tcpi_sacked) return;
    const int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler < 0) break;
    fillers_.push_back(filler);
    // On loopback the handshake completes inside connect.
    if (connect(filler, reinterpret_cast<sockaddr*>(&address), length) != 0) break;
  }
  for (const int fd : fillers_) close(fd);
  close(listenFd_);
  throw std::system_error(EAGAIN, std::generic_category(), "could not fill the accept queue");
}

UnconnectablePeer::~UnconnectablePeer() {
  for (const int fd : fillers_) close(fd);
  close(listenFd_);
}

std::string UnconnectablePeer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

}  // namespace velmor::test
