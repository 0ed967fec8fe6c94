#include "tests/support/fake_net/netns.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

namespace velmor::test {
namespace {

constexpr char kPrefix[] = "velmor-net-";

// Runs a command line of the test's own making through the shell: its exit status, and what it
// wrote to its standard output and errors.
int Run(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen(("exec 2>&1; " + command).c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    if (output != nullptr) output->append(buffer, n);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Deletes the namespaces of test processes that are gone.
void ReapStale() {
  std::error_code none;
  for (const auto& entry : std::filesystem::directory_iterator("/run/netns", none)) {
    const std::string name = entry.path().filename();
    const long pid = name.starts_with(kPrefix) ? std::atol(name.c_str() + sizeof kPrefix - 1) : 0;
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) Run("ip netns delete " + name);
  }
}

// Puts a file holding `content` in place of `path`, in the calling thread's mount namespace.
bool StandIn(const std::string& path, const std::string& content) {
  char temporary[] = "/tmp/velmor-standin-XXXXXX";
  const int fd = mkstemp(temporary);
  const bool written = fd >= 0 && write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  if (fd >= 0) close(fd);
  const bool mounted = written && mount(temporary, path.c_str(), nullptr, MS_BIND, nullptr) == 0;
  unlink(temporary);
  return mounted;
}

std::atomic<int> g_counter{0};
std::once_flag g_reaped;

}  // namespace

std::string NetworkNamespace::Unavailable(bool lookups) {
  if (geteuid() != 0) return "making network namespaces needs root";
  if (Run("ip -V") != 0) return "making network namespaces needs iproute2 (ip)";
  if (lookups && access("/run/nscd/socket", F_OK) == 0) return "nscd runs on this machine";
  return {};
}

NetworkNamespace::NetworkNamespace() {
  std::call_once(g_reaped, ReapStale);
  name_ = kPrefix + std::to_string(getpid()) + "-" + std::to_string(g_counter.fetch_add(1));
  if (Run("ip netns add " + name_, &error_) != 0) {
    error_ = "ip netns add " + name_ + ": " + error_;
    name_.clear();
  }
}

NetworkNamespace::~NetworkNamespace() {
  if (!name_.empty()) Run("ip netns delete " + name_);
}

std::string NetworkNamespace::Ip(const std::vector<std::string>& commands) {
  if (name_.empty()) return error_;
  std::string batch = "ip -n " + name_ + " -batch - <<'VELMOR_BATCH'\n";
  for (const std::string& command : commands) batch += command + "\n";
  std::string output;
  return Run(batch + "VELMOR_BATCH", &output) == 0 ? std::string() : output.empty() ? "ip -batch failed" : output;
}

bool NetworkNamespace::RunInside(const std::function<void()>& body, const std::map<std::string, std::string>& files) {
  if (name_.empty()) return false;
  bool joined = false;
  std::thread thread([&] {
    const int fd = open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    // Only this thread changes namespaces; it ends right after, so the rest of the process never
    // sees them. Mounts made in a private copy of the mount tree stay with it. A sysfs mounted
    // there shows the namespace's links, as `ip netns exec` arranges.
    joined = fd >= 0 && setns(fd, CLONE_NEWNET) == 0 && unshare(CLONE_NEWNS) == 0 &&
             mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
             mount("sysfs", "/sys", "sysfs", 0, nullptr) == 0;
    if (fd >= 0) close(fd);
    for (const auto& [path, content] : files) joined = joined && StandIn(path, content);
    if (joined) body();
  });
  thread.join();
  return joined;
}

}  // namespace velmor::test
