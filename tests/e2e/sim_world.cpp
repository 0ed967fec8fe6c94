#include "tests/e2e/sim_world.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/xvfb/xvfb.h"

extern char** environ;

namespace velmor::test {
namespace {

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Variables that would route the program's HTTP requests through a proxy, which does not exist
// inside the test's namespaces.
bool IsProxyVariable(const std::string& name) {
  static const char* const kNames[] = {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "ftp_proxy"};
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* n : kNames) {
    if (lower == n) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    if (IsProxyVariable(name)) continue;
    bool replaced = false;
    for (const std::string& x : extra) replaced = replaced || x.substr(0, x.find('=')) == name;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// --- LoggedProcess ----------------------------------------------------------------------------

std::unique_ptr<LoggedProcess> LoggedProcess::Start(const std::vector<std::string>& argv,
                                                    const std::vector<std::string>& env, const std::string& outPath,
                                                    const std::string& errPath) {
  std::vector<std::string> args = argv;
  std::vector<std::string> environment = env;
  auto argp = Pointers(args);
  auto envp = Pointers(environment);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t parent = ::getpid();
  pid_t pid = -1;
  if (in >= 0 && out >= 0 && err >= 0) pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on. A test process that dies (a crash, a time-out
    // kill) takes the child with it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execvpe(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  for (int fd : {in, out, err}) {
    if (fd >= 0) ::close(fd);
  }
  if (pid < 0) return nullptr;
  return std::unique_ptr<LoggedProcess>(new LoggedProcess(pid, outPath, errPath));
}

LoggedProcess::LoggedProcess(pid_t pid, std::string outPath, std::string errPath)
    : pid_(pid), outPath_(std::move(outPath)), errPath_(std::move(errPath)) {}

LoggedProcess::~LoggedProcess() {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  if (!WaitForExit(std::chrono::seconds(3))) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

bool LoggedProcess::Running() {
  if (status_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

std::optional<int> LoggedProcess::WaitForExit(std::chrono::milliseconds timeout) {
  WaitUntil([&] { return !Running(); }, timeout);
  return status_;
}

std::string LoggedProcess::Out() const { return ReadFile(outPath_); }
std::string LoggedProcess::Err() const { return ReadFile(errPath_); }

// --- SimNetwork -------------------------------------------------------------------------------

SimNetwork::SimNetwork() {
  if (!router_.ok() || !client_.ok()) {
    error_ = router_.ok() ? client_.error() : router_.error();
    return;
  }
  error_ = router_.Ip({
      "link set lo up",
      std::string("link add vr0 type veth peer name ") + kClientLink + " netns " + client_.name(),
      std::string("addr add ") + kGateway + "/24 dev vr0",
      "link set vr0 up",
  });
  if (!error_.empty()) return;
  error_ = client_.Ip({
      "link set lo up",
      std::string("addr add ") + kClientAddress + "/24 dev " + kClientLink,
      std::string("link set ") + kClientLink + " up",
      std::string("route add default via ") + kGateway,
  });
}

bool SimNetwork::StartRouter(const std::string& routerSim, const std::string& dir) {
  routerProcess_ = LoggedProcess::Start(
      {"ip", "netns", "exec", router_.name(), routerSim, "--address", kGateway, "--port", "80", "--body",
       "<html><head><title>Kavel-7100 Web</title></head><body>Kavel-7100 </body></html>"},
      ChildEnvironment({}), dir + "/router.out", dir + "/router.err");
  if (!routerProcess_) return false;
  return WaitUntil([&] { return routerProcess_->Out().find("listening on") != std::string::npos; },
                   std::chrono::seconds(10));
}

bool DisplaySocketFileAccepts(const std::string& display) {
  if (display.size() < 2 || display[0] != ':') return false;
  const std::string path = "/tmp/.X11-unix/X" + display.substr(1);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool accepted = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepted;
}

// --- Files ------------------------------------------------------------------------------------

bool ReplaceFile(const std::string& path, const std::string& text) {
  const std::string temp = path + ".new";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::optional<Bitmap> LoadBitmap(const std::string& path) {
  const std::string data = ReadFile(path);
  const auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  };
  const auto u16 = [&](std::size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, data.data() + at, 2);
    return v;
  };
  if (data.size() < 54 || data.compare(0, 2, "BM") != 0 || u16(28) != 24 || u32(30) != 0) return std::nullopt;
  Bitmap bitmap;
  bitmap.width = static_cast<std::int32_t>(u32(18));
  const auto rawHeight = static_cast<std::int32_t>(u32(22));
  bitmap.height = rawHeight < 0 ? -rawHeight : rawHeight;
  const std::size_t offset = u32(10);
  const std::size_t stride = (static_cast<std::size_t>(bitmap.width) * 3 + 3) & ~std::size_t{3};
  if (bitmap.width <= 0 || bitmap.height <= 0 || data.size() < offset + stride * static_cast<std::size_t>(bitmap.height)) {
    return std::nullopt;
  }
  bitmap.pixels.resize(static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height));
  for (int y = 0; y < bitmap.height; ++y) {
    // Rows are stored bottom-up unless the height is negative.
    const int row = rawHeight < 0 ? y : bitmap.height - 1 - y;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + offset + stride * static_cast<std::size_t>(row));
    for (int x = 0; x < bitmap.width; ++x, p += 3) {
      bitmap.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap.width) + static_cast<std::size_t>(x)] =
          (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
    }
  }
  return bitmap;
}

}  // namespace velmor::test
