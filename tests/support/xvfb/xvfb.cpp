#include "tests/support/xvfb/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace velmor::test {
namespace {

using namespace std::chrono_literals;

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Xlib's own handlers end the process on an X error or a lost connection, before any tear-down.
// On the fixture's connections an error is an answer (a failed request, a window that is gone)
// and a lost server makes later requests fail; other connections keep the handlers in force.
std::mutex g_mutex;
std::vector<Display*> g_ours;
XErrorHandler g_theirs = nullptr;

int OnError(Display* display, XErrorEvent* error) {
  {
    std::lock_guard lock(g_mutex);
    if (std::ranges::find(g_ours, display) != g_ours.end()) return 0;
  }
  return g_theirs ? g_theirs(display, error) : 0;
}

// A channel of a visual's pixel, as 0..255.
std::uint32_t Channel8(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const unsigned long top = mask >> shift;
  return static_cast<std::uint32_t>((((pixel & mask) >> shift) * 255 + top / 2) / top);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (auto pause = 1ms;; pause = std::min(pause * 2, 20ms)) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
  }
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const std::vector<std::string>& extraEnv, const std::string& log) {
  static const std::regex proxy("^[^=]*_proxy=", std::regex::icase);
  // setpriv asks for SIGTERM at the end of the parent thread (a signal that lets Xvfb remove its
  // lock file), then runs the program in its place.
  std::vector<std::string> args{"setpriv", "--pdeathsig", "TERM"}, env = extraEnv;
  args.insert(args.end(), argv.begin(), argv.end());
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e), name = entry.substr(0, entry.find('=')) + "=";
    if (!std::regex_search(entry, proxy) && std::ranges::none_of(extraEnv, [&](auto& x) { return x.starts_with(name); })) {
      env.push_back(entry);
    }
  }
  auto argp = Pointers(args), envp = Pointers(env);
  const std::string out = log.empty() ? "/dev/null" : log + ".out", err = log.empty() ? "/dev/null" : log + ".err";
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argp[0], &files, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&files);
  return failed ? nullptr : std::make_unique<ChildProcess>(pid);
}

ChildProcess::~ChildProcess() {
  if (!Running()) return;
  kill(pid_, SIGTERM);
  if (!WaitForExit(3s)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool ChildProcess::Running() {
  int status = 0;
  if (status_ || waitpid(pid_, &status, WNOHANG) != pid_) return !status_;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

struct XvfbDisplay::Connection {
  Display* dpy;
  explicit Connection(Display* display) : dpy(display) {
    static std::once_flag once;
    std::call_once(once, [] {
      g_theirs = XSetErrorHandler(OnError);
      XSetIOErrorHandler([](Display*) { return 0; });
    });
    XSetIOErrorExitHandler(dpy, [](Display*, void*) {}, nullptr);
    std::lock_guard lock(g_mutex);
    g_ours.push_back(dpy);
  }
  ~Connection() {
    XCloseDisplay(dpy);
    std::lock_guard lock(g_mutex);
    std::erase(g_ours, dpy);
  }
  Window Root() const { return DefaultRootWindow(dpy); }
};

XvfbDisplay::XvfbDisplay(const XvfbOptions& options) {
  // Xvfb writes the display number it took to the pipe once it accepts connections.
  int fds[2];
  if (pipe(fds) != 0) {
    error_ = "pipe failed";
    return;
  }
  const std::string screen =
      std::to_string(options.width) + "x" + std::to_string(options.height) + "x" + std::to_string(options.depth);
  server_ = ChildProcess::Start({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp",
                                 "-noreset"},
                                {});
  close(fds[1]);
  std::string number;
  for (char c = 0; server_ && c != '\n';) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0 || read(fds[0], &c, 1) != 1) break;
    if (c != '\n') number.push_back(c);
  }
  close(fds[0]);
  name_ = ":" + number;
  if (number.empty()) {
    error_ = "Xvfb did not report a display";
  } else if (Connect() && options.windowManager) {
    // A window mapped while openbox is still starting may never be managed; openbox runs its
    // start-up command once it manages the screen.
    const std::string ready = "/tmp/velmor-openbox-" + std::to_string(getpid()) + "-" + number;
    windowManager_ = ChildProcess::Start({"openbox", "--sm-disable", "--startup", "touch " + ready}, {"DISPLAY=" + name_});
    WaitUntil([&] { return access(ready.c_str(), F_OK) == 0 || !windowManager_->Running(); }, 20s);
    if (unlink(ready.c_str()) != 0) error_ = "openbox did not take the screen";
  }
}

XvfbDisplay::XvfbDisplay(const std::string& running) : name_(running) { Connect(); }

XvfbDisplay::~XvfbDisplay() = default;

bool XvfbDisplay::Connect() {
  Display* dpy = XOpenDisplay(name_.c_str());
  if (!dpy) error_ = "cannot connect to " + name_;
  if (dpy) connection_ = std::make_unique<Connection>(dpy);
  return dpy != nullptr;
}

std::pair<int, std::string> XvfbDisplay::Run(const std::string& command) const {
  std::pair<int, std::string> result{-1, ""};
  FILE* pipe = popen(("DISPLAY=" + name_ + " " + command).c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.second.append(buffer, n);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) result.first = WEXITSTATUS(status);
  return result;
}

unsigned long XvfbDisplay::WaitForWindow(const std::string& title) const {
  std::istringstream in(Run("timeout 10 xdotool search --sync --onlyvisible --name '" + title + "'").second);
  const std::vector<unsigned long> ids(std::istream_iterator<unsigned long>(in), {});
  return ids.size() == 1 ? ids[0] : 0;
}

std::optional<Picture> XvfbDisplay::Grab(const ScreenRect& rect) const {
  Display* dpy = connection_->dpy;
  XImage* image = XGetImage(dpy, connection_->Root(), rect.x, rect.y, static_cast<unsigned int>(rect.width),
                            static_cast<unsigned int>(rect.height), AllPlanes, ZPixmap);
  if (!image) return std::nullopt;
  const Visual* visual = DefaultVisual(dpy, DefaultScreen(dpy));
  Picture picture{rect.width, rect.height, {}};
  for (int y = 0; y < rect.height; ++y) {
    for (int x = 0; x < rect.width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      picture.pixels.push_back(Channel8(p, visual->red_mask) << 16 | Channel8(p, visual->green_mask) << 8 |
                               Channel8(p, visual->blue_mask));
    }
  }
  XDestroyImage(image);
  return picture;
}

bool XvfbDisplay::SetMonitors(const std::vector<ScreenRect>& monitors) const {
  // The first monitor, the primary, takes the screen's output, so that the server's automatic
  // monitor for that output gives way to it; the others have none.
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const ScreenRect& m = monitors[i];
    const std::string name = (i == 0 ? "*" : "") + ("velmor-monitor-" + std::to_string(i));
    const std::string geometry = std::to_string(m.width) + "/0x" + std::to_string(m.height) + "/0+" +
                                 std::to_string(m.x) + "+" + std::to_string(m.y);
    if (Run("xrandr --setmonitor '" + name + "' " + geometry + (i == 0 ? " screen" : " none")).first != 0) return false;
  }
  return Run("xrandr --listmonitors").second.starts_with("Monitors: " + std::to_string(monitors.size()) + "\n");
}

std::optional<ScreenRect> XvfbDisplay::ViewableRect(unsigned long window) const {
  XWindowAttributes attributes{};
  int x = 0, y = 0;
  Window child = 0;
  if (!XGetWindowAttributes(connection_->dpy, window, &attributes) || attributes.map_state != IsViewable ||
      !XTranslateCoordinates(connection_->dpy, window, connection_->Root(), 0, 0, &x, &y, &child)) {
    return std::nullopt;
  }
  return ScreenRect{x, y, attributes.width, attributes.height};
}

}  // namespace velmor::test
