// The router simulator: a real HTTP server with canned answers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmor::test {

// The page the program asks every gateway for.
inline constexpr const char kProbePath[] = "/admin/pcapp.asp";

// What the simulator sends for one path: the first `cut` bytes of `wire`, then what `end` says.
struct RouterAnswer {
  enum class End { kClose, kStall, kRepeat };  // kStall sends nothing more, kRepeat `repeat` forever
  std::string wire{};
  std::size_t cut = std::string::npos;
  End end = End::kClose;
  std::string repeat{};

  // "HTTP/1.1 STATUS OK", "Connection: close", a Content-Length, the header lines, the empty line, the body.
  static RouterAnswer Status(int status, const std::string& body = {}, const std::vector<std::string>& headers = {});
  static RouterAnswer Challenge(const std::string& realm);
  static RouterAnswer Redirect(int status, const std::string& location);
  static RouterAnswer Silent() { return {.end = End::kStall}; }
};

class RouterSim {
 public:
  using Answers = std::map<std::string, RouterAnswer>;

  // Listens on address:port (port 0: a free one) and answers each path from `answers`, any other
  // path with a 404. Throws std::system_error when the address cannot be bound.
  explicit RouterSim(Answers answers, const std::string& address = "127.0.0.1", std::uint16_t port = 0);
  explicit RouterSim(RouterAnswer probeAnswer, const std::string& address = "127.0.0.1", std::uint16_t port = 0)
      : RouterSim(Answers{{kProbePath, std::move(probeAnswer)}}, address, port) {}
  ~RouterSim();

  // "address:port": a gateway address with the port the probe needs to reach it.
  std::string HostPort() const;
  std::string ProbeAddress() const { return HostPort() + kProbePath; }
  // The head of every request read so far, as it arrived.
  std::vector<std::string> Requests() const;
  // The connections made to it so far, whether or not a request came (one still waiting to be
  // accepted counts).
  std::size_t Connections() const;
  // Waits until the simulator has closed every connection it accepted; false after `timeout`.
  bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  void Serve(int fd);

  Answers answers_;
  std::string address_;
  std::uint16_t port_ = 0;
  int listenFd_ = -1;
  int stopFd_ = -1;  // an eventfd, readable once the simulator stops
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::size_t accepted_ = 0;
  int open_ = 0;  // connections accepted and not yet closed
  mutable std::condition_variable closed_;
  std::vector<std::thread> servers_;  // one per connection
  std::thread acceptor_;
};

}  // namespace velmor::test
