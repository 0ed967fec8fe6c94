// Network namespaces a test makes for itself (root and iproute2), named velmor-net-PID-N and deleted
// with their object; those of a test process that died go when the next one is made.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velmor::test {

class NetworkNamespace {
 public:
  // Why namespaces cannot be made here, or empty when they can; with `lookups`, also why names
  // looked up inside one would be answered from outside it.
  static std::string Unavailable(bool lookups = false);

  NetworkNamespace();
  ~NetworkNamespace();
  NetworkNamespace(const NetworkNamespace&) = delete;
  NetworkNamespace& operator=(const NetworkNamespace&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& name() const { return name_; }

  // Runs each line as an `ip` command inside the namespace, in one batch: what ip reported when one
  // failed, else an empty text.
  std::string Ip(const std::vector<std::string>& commands);

  // Runs `body` on a thread that has joined the namespace (its sockets, its /sys) and waits for it;
  // false when the thread could not join. `files` (path, content) stand in for the system's files
  // meanwhile, in a mount namespace of the thread's own.
  bool RunInside(const std::function<void()>& body, const std::map<std::string, std::string>& files = {});

 private:
  std::string name_;
  std::string error_;
};

}  // namespace velmor::test
