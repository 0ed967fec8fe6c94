#include "tests/support/fake_net/netns.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

extern char** environ;

namespace velmor::test {
namespace {

constexpr char kPrefix[] = "velmor-net-";
constexpr char kNetnsDir[] = "/run/netns/";

// Runs `ip` with these arguments, never through a shell. Returns the exit status (-1 when it
// could not run) and collects what it wrote.
int RunIp(const std::vector<std::string>& args, std::string* output) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>("ip"));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "ip", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return -1;
  }
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0 && output) output->append(buffer, static_cast<std::size_t>(n));
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Deletes the namespaces of test processes that are gone.
void ReapStale() {
  DIR* dir = opendir(kNetnsDir);
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(kPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + sizeof kPrefix - 1, nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) stale.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : stale) RunIp({"netns", "delete", name}, nullptr);
}

// Puts a file holding `content` in place of `path`, in the calling thread's mount namespace.
bool StandIn(const std::string& path, const std::string& content) {
  char temporary[] = "/tmp/velmor-standin-XXXXXX";
  const int fd = mkstemp(temporary);
  if (fd < 0) return false;
  const bool written = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  close(fd);
  const bool mounted = written && mount(temporary, path.c_str(), nullptr, MS_BIND, nullptr) == 0;
  unlink(temporary);
  return mounted;
}

std::atomic<int> g_counter{0};
std::once_flag g_reaped;

}  // namespace

std::string NetworkNamespace::Unavailable() {
  if (geteuid() != 0) return "making network namespaces needs root";
  std::string output;
  if (RunIp({"-V"}, &output) != 0) return "making network namespaces needs iproute2 (ip)";
  return {};
}

NetworkNamespace::NetworkNamespace() {
  std::call_once(g_reaped, ReapStale);
  name_ = kPrefix + std::to_string(getpid()) + "-" + std::to_string(g_counter.fetch_add(1));
  std::string output;
  if (RunIp({"netns", "add", name_}, &output) != 0) {
    error_ = "ip netns add " + name_ + ": " + output;
    name_.clear();
  }
}

NetworkNamespace::~NetworkNamespace() {
  if (!name_.empty()) RunIp({"netns", "delete", name_}, nullptr);
}

std::string NetworkNamespace::Ip(const std::vector<std::string>& commands) {
  if (name_.empty()) return error_;
  char path[] = "/tmp/velmor-netns-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "cannot write the batch file";
  std::string batch;
  for (const std::string& command : commands) batch += command + "\n";
  const bool written = write(fd, batch.data(), batch.size()) == static_cast<ssize_t>(batch.size());
  close(fd);
  std::string output;
  const int status = written ? RunIp({"-n", name_, "-batch", path}, &output) : -1;
  unlink(path);
  if (status == 0) return {};
  return output.empty() ? "ip -batch failed" : output;
}

bool NetworkNamespace::RunInside(const std::function<void()>& body, const std::map<std::string, std::string>& files) {
  if (name_.empty()) return false;
  bool joined = false;
  std::thread thread([&] {
    const int fd = open((kNetnsDir + name_).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    // Only this thread changes namespace; it ends right after, so the rest of the process never
    // sees it.
    joined = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    if (joined && !files.empty()) {
      // Mounts made in a private copy of the mount tree stay with this thread.
      joined = unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
      for (const auto& [path, content] : files) joined = joined && StandIn(path, content);
    }
    if (joined) body();
  });
  thread.join();
  return joined;
}

}  // namespace velmor::test
