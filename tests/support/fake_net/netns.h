// Network namespaces that a test makes for itself, with real links, addresses and routes in them.
//
// Making one needs root and iproute2. Each gets a name of its own (velmor-net-PID-N) and is
// deleted when its object goes, on failure paths too; namespaces left by a test process that
// died are deleted the next time one is made.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velmor::test {

class NetworkNamespace {
 public:
  // Why namespaces cannot be made here, or empty when they can.
  static std::string Unavailable();

  NetworkNamespace();
  ~NetworkNamespace();
  NetworkNamespace(const NetworkNamespace&) = delete;
  NetworkNamespace& operator=(const NetworkNamespace&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& name() const { return name_; }

  // Runs each line as an `ip` command inside the namespace ("link add a0 type veth peer name a1"),
  // in one batch. Returns what ip reported when one failed, else an empty text.
  std::string Ip(const std::vector<std::string>& commands);

  // Runs `body` on a thread of its own that has joined the namespace, so that every socket it
  // opens is in there and /sys shows its links, and waits for it. False when the thread could not
  // join.
  //
  // `files` (path, content) stand in for the system's files while `body` runs, as `ip netns exec`
  // puts /etc/netns/NAME/resolv.conf in place of /etc/resolv.conf: the thread gets a mount
  // namespace of its own, which ends with it.
  bool RunInside(const std::function<void()>& body, const std::map<std::string, std::string>& files = {});

 private:
  std::string name_;
  std::string error_;
};

}  // namespace velmor::test
