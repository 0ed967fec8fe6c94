// The router simulator: a real HTTP/1.1 server with canned answers, for tests in this process and,
// through the router_sim program, for tests that run the application as a process.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmor::test {

// The page the application asks every gateway for.
inline constexpr const char kProbePath[] = "/admin/pcapp.asp";

// What the simulator does with a request for one path.
struct RouterAnswer {
  enum class Behaviour {
    kRespond,       // the whole answer, then the connection is closed
    kSilent,        // reads the request and never answers
    kCloseMidBody,  // the head announces the whole body; half of it is sent, then the connection closes
    kStallMidBody,  // as kCloseMidBody, but the connection stays open and sends nothing more
    kEndless,       // the head, then the body sent over and over without end
    kDrip,          // the whole answer, head included, one byte per dripInterval, then the close
    kResetInHead,   // half of the head, then a reset (RST) instead of an orderly close
  };

  Behaviour behaviour = Behaviour::kRespond;
  int status = 200;
  std::string reason;    // empty: the usual phrase for the status
  std::string body;      // any bytes, zero bytes included
  bool raw = false;      // `body` is the whole answer, with no head of ours (kRespond and kDrip)
  std::string realm;     // non-empty: a WWW-Authenticate: Basic realm="..." header
  std::string location;  // non-empty: a Location header
  std::vector<std::string> extraHeaders;  // whole header lines without CR LF
  bool chunked = false;                   // Transfer-Encoding: chunked
  std::size_t chunkSize = 100;            // body bytes per chunk
  std::chrono::milliseconds dripInterval{1000};  // kDrip only

  // The head as the simulator sends it, for tests that compare header text.
  std::string Head() const;

  static RouterAnswer Status(int status, std::string body = {});
  static RouterAnswer Challenge(std::string realm);
  static RouterAnswer Redirect(int status, std::string location);
  static RouterAnswer Raw(std::string bytes);
};

struct ReceivedRequest {
  std::string method;
  std::string target;  // as sent: a path, or an absolute URL when it came through as a proxy
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;

  // The first header of that name (case-insensitive), or "".
  std::string Header(const std::string& name) const;
};

class RouterSim {
 public:
  using Answers = std::map<std::string, RouterAnswer>;

  // Listens on address:port (port 0: a free one) and answers each path from `answers`; any other
  // path gets a 404. Throws std::system_error when the address cannot be bound.
  explicit RouterSim(Answers answers, const std::string& address = "127.0.0.1", std::uint16_t port = 0);
  // Only the probe's page is answered.
  explicit RouterSim(RouterAnswer probeAnswer, const std::string& address = "127.0.0.1", std::uint16_t port = 0);
  ~RouterSim();
  RouterSim(const RouterSim&) = delete;
  RouterSim& operator=(const RouterSim&) = delete;

  std::uint16_t Port() const { return port_; }
  const std::string& Address() const { return address_; }
  // "address:port", as a gateway address with the port the probe needs to reach it.
  std::string HostPort() const;
  // The address argument the probe gets: HostPort() and the probe's page.
  std::string ProbeAddress() const;

  std::vector<ReceivedRequest> Requests() const;
  // Forgets the requests read so far (long runs keep memory flat).
  void ClearRequests();
  std::size_t ConnectionCount() const;
  // Waits until `count` requests have been read, at most `timeout` of real time.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Waits until every connection the simulator accepted has ended.
  bool WaitForIdle(std::chrono::milliseconds timeout) const;

  // Stops listening and ends every connection; the destructor does it too.
  void Stop();

 private:
  struct Connection;

  void AcceptLoop();
  void Serve(int fd);
  void ReapFinished();

  Answers answers_;
  std::string address_;
  std::uint16_t port_ = 0;
  int listenFd_ = -1;
  int stopFd_ = -1;  // an eventfd: readable once the simulator stops

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<ReceivedRequest> requests_;
  std::size_t connections_ = 0;
  std::size_t openConnections_ = 0;
  std::list<std::unique_ptr<Connection>> workers_;
  std::thread acceptor_;
  bool stopped_ = false;
};

// A name server on UDP port 53 of `address`: every query for an IPv4 address is answered, with the
// address listed for the name or else `otherwise`; queries of other types get an empty answer.
class NameServer {
 public:
  NameServer(const std::string& address, std::map<std::string, std::string> names, std::string otherwise);
  ~NameServer();
  NameServer(const NameServer&) = delete;
  NameServer& operator=(const NameServer&) = delete;

  // The names asked for so far, in order.
  std::vector<std::string> Queries() const;

 private:
  void Serve();

  std::map<std::string, std::string> names_;
  std::string otherwise_;
  int fd_ = -1;
  int stopFd_ = -1;
  mutable std::mutex mutex_;
  std::vector<std::string> queries_;
  std::thread thread_;
};

// A loopback address and port that refuse connections: the port is held by a socket that never
// listens, so no other program can take it while the peer lives.
class RefusingPeer {
 public:
  explicit RefusingPeer(const std::string& address = "127.0.0.1");
  ~RefusingPeer();
  RefusingPeer(const RefusingPeer&) = delete;
  RefusingPeer& operator=(const RefusingPeer&) = delete;

  std::string HostPort() const;

 private:
  std::string address_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A loopback listener whose accept queue is full, so that the kernel drops every further
// connection request: a connect to it never completes, and nothing leaves this machine.
class UnconnectablePeer {
 public:
  UnconnectablePeer();
  ~UnconnectablePeer();
  UnconnectablePeer(const UnconnectablePeer&) = delete;
  UnconnectablePeer& operator=(const UnconnectablePeer&) = delete;

  std::string HostPort() const;

 private:
  int listenFd_ = -1;
  std::vector<int> fillers_;
  std::uint16_t port_ = 0;
};

}  // namespace velmor::test
