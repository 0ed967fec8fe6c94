// The world the end-to-end tests put velmor-manager-sim in: a router namespace and a client
// namespace joined by a veth pair, the router simulator on port 80 at the gateway address, and
// the program's processes with their output kept in files.
//
//   router namespace                      client namespace
//   vr0 192.0.2.1/24  <--- veth --->  wlsim0 192.0.2.2/24, default route via 192.0.2.1
//   router_sim 192.0.2.1:80               velmor-manager-sim (on the test's X display)
//
// The addresses are from a documentation range and exist only inside the two namespaces; no
// packet of these tests leaves them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fake_net/netns.h"

namespace velmor::test {

inline constexpr char kGateway[] = "192.0.2.1";
inline constexpr char kClientAddress[] = "192.0.2.2";
inline constexpr char kClientLink[] = "wlsim0";

// A child process whose standard output and errors go to files. It gets SIGKILL when the test
// process dies, and SIGTERM (then SIGKILL) when the object goes.
class LoggedProcess {
 public:
  // `env` is the whole environment of the child.
  static std::unique_ptr<LoggedProcess> Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                                              const std::string& outPath, const std::string& errPath);
  ~LoggedProcess();
  LoggedProcess(const LoggedProcess&) = delete;
  LoggedProcess& operator=(const LoggedProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // The exit status once the process has ended within `timeout` (-1 for a death by signal).
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  std::string Out() const;
  std::string Err() const;

 private:
  LoggedProcess(pid_t pid, std::string outPath, std::string errPath);
  pid_t pid_;
  std::optional<int> status_;
  std::string outPath_;
  std::string errPath_;
};

// This process's environment without the variables that would send HTTP to a proxy, with
// `extra` ("NAME=value") put over it.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra);

class SimNetwork {
 public:
  SimNetwork();
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& client() const { return client_.name(); }
  const std::string& router() const { return router_.name(); }

  // Starts the router simulator (the program `routerSim`) answering as a Kavel-7100 at the
  // gateway, and waits until it listens. Its output goes to files under `dir`.
  bool StartRouter(const std::string& routerSim, const std::string& dir);

 private:
  NetworkNamespace router_;
  NetworkNamespace client_;
  std::unique_ptr<LoggedProcess> routerProcess_;
  std::string error_;
};

// Whether the X display ":N" accepts connections at its socket file, the way a program in
// another network namespace reaches it (the abstract socket is per namespace).
bool DisplaySocketFileAccepts(const std::string& display);

// Writes `text` to `path` by replacing the file whole, so that no reader sees it half written.
bool ReplaceFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

// A 24-bit BMP file's pixels, 0x00RRGGBB, rows top to bottom.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
};
std::optional<Bitmap> LoadBitmap(const std::string& path);

}  // namespace velmor::test
