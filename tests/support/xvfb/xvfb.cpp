#include "tests/support/xvfb/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

extern char** environ;

namespace velmor::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& x : extra) replaced = replaced || x.substr(0, x.find('=')) == name;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Waits for a child to end for at most `timeout`; true when it was reaped.
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(timeout.count()));
    ::close(pidfd);
  }
  int status = 0;
  return ::waitpid(pid, &status, pidfd >= 0 ? WNOHANG : 0) == pid;
}

// Reads one line (up to '\n') from `fd` within `timeout`.
std::optional<std::string> ReadLine(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::string line;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n <= 0) return std::nullopt;
    if (c == '\n') return line;
    line.push_back(c);
  }
}

// A binary PPM (P6, maxval 255) as pixels.
std::optional<Picture> ParsePpm(const std::string& data) {
  std::size_t pos = 0;
  auto token = [&]() -> std::string {
    for (;;) {
      while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
      if (pos < data.size() && data[pos] == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
        continue;
      }
      break;
    }
    const std::size_t start = pos;
    while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
    return data.substr(start, pos - start);
  };
  if (token() != "P6") return std::nullopt;
  Picture picture;
  picture.width = std::atoi(token().c_str());
  picture.height = std::atoi(token().c_str());
  const int maxval = std::atoi(token().c_str());
  ++pos;  // the single whitespace before the pixels
  const std::size_t count = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
  if (maxval != 255 || picture.width <= 0 || picture.height <= 0 || data.size() - pos < count * 3) return std::nullopt;
  picture.pixels.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + pos + i * 3);
    picture.pixels[i] = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  return picture;
}

// A channel of a visual's pixel, as 0..255.
std::uint32_t Channel8(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long top = mask >> shift;
  return static_cast<std::uint32_t>((((pixel & mask) >> shift) * 255 + top / 2) / top);
}

// Xlib's own handlers end the process on an X error or a lost connection, before any tear-down:
// a failing test would leave its server, window manager and network namespaces behind. Errors
// and a lost server on the fixture's connections are answers (a failed request, no window); those
// of other connections go on to the handlers in force.
std::mutex g_fixtureMutex;
std::vector<Display*> g_fixtureDisplays;
XErrorHandler g_otherErrors = nullptr;

int FixtureErrors(Display* display, XErrorEvent* error) {
  {
    std::lock_guard lock(g_fixtureMutex);
    if (std::find(g_fixtureDisplays.begin(), g_fixtureDisplays.end(), display) != g_fixtureDisplays.end()) return 0;
  }
  return g_otherErrors ? g_otherErrors(display, error) : 0;
}

// Xlib calls this first on a lost connection, then the connection's exit handler, whose default
// ends the process; the fixture's returns, and later requests on that connection simply fail.
int LetTheConnectionDecide(Display*) { return 0; }
void KeepGoing(Display*, void*) {}

void AdoptConnection(Display* display) {
  static std::once_flag once;
  std::call_once(once, [] {
    g_otherErrors = XSetErrorHandler(FixtureErrors);
    XSetIOErrorHandler(LetTheConnectionDecide);
  });
  XSetIOErrorExitHandler(display, KeepGoing, nullptr);
  std::lock_guard lock(g_fixtureMutex);
  g_fixtureDisplays.push_back(display);
}

void ReleaseConnection(Display* display) {
  std::lock_guard lock(g_fixtureMutex);
  std::erase(g_fixtureDisplays, display);
}

// Keeps the fixture's expected errors out of the log while the X11 host's handler, which logs
// every error, is in force.
Display* g_quietDisplay = nullptr;
XErrorHandler g_previousHandler = nullptr;

int QuietHandler(Display* display, XErrorEvent* error) {
  if (display == g_quietDisplay) return 0;
  return g_previousHandler ? g_previousHandler(display, error) : 0;
}

class QuietErrors {
 public:
  explicit QuietErrors(Display* display) : display_(display) {
    XSync(display_, False);
    g_quietDisplay = display_;
    g_previousHandler = XSetErrorHandler(QuietHandler);
  }
  ~QuietErrors() {
    XSync(display_, False);
    XSetErrorHandler(g_previousHandler);
    g_quietDisplay = nullptr;
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  Display* display_;
};

}  // namespace

// --- ChildProcess -----------------------------------------------------------------------------

std::optional<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                                                int keepFd) {
  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(extraEnv);
  auto argp = Pointers(args);
  auto envp = Pointers(env);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on. A test process that dies without its tear-down
    // (a crash, a time-out kill) takes the child with it; SIGTERM lets Xvfb remove its lock file.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd : {0, 1, 2}) ::dup2(null, fd);
    // The descriptor to keep loses close-on-exec, so that it reaches the program.
    if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
    ::execvpe(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  if (pid < 0) return std::nullopt;
  return ChildProcess(pid);
}

ChildProcess::~ChildProcess() { Stop(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Stop();
    pid_ = std::exchange(other.pid_, -1);
  }
  return *this;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (!Reap(pid_, std::chrono::seconds(3))) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
  CommandResult result;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return result;
  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(extraEnv);
  auto argp = Pointers(args);
  auto envp = Pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return result;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n > 0) {
      result.output.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(out[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

// --- XvfbDisplay ------------------------------------------------------------------------------

struct XvfbDisplay::Connection {
  Display* dpy = nullptr;
  bool xfixes = false;
  ~Connection() {
    if (!dpy) return;
    XCloseDisplay(dpy);
    ReleaseConnection(dpy);
  }
  Atom AtomOf(const std::string& name) const { return XInternAtom(dpy, name.c_str(), False); }
  Window Root() const { return DefaultRootWindow(dpy); }
};

XvfbDisplay::XvfbDisplay(const XvfbOptions& options) : options_(options) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  const std::string screen =
      std::to_string(options.width) + "x" + std::to_string(options.height) + "x" + std::to_string(options.depth);
  server_ = ChildProcess::Start({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp",
                                 "-noreset"},
                                {}, fds[1]);
  ::close(fds[1]);
  if (!server_) {
    ::close(fds[0]);
    error_ = "Xvfb did not start";
    return;
  }
  // Xvfb writes the display number it took once it accepts connections.
  const auto number = ReadLine(fds[0], std::chrono::seconds(20));
  ::close(fds[0]);
  if (!number || number->empty()) {
    error_ = "Xvfb did not report a display";
    server_.reset();
    return;
  }
  name_ = ":" + *number;
  connection_ = std::make_unique<Connection>();
  connection_->dpy = XOpenDisplay(name_.c_str());
  if (!connection_->dpy) {
    error_ = "cannot connect to Xvfb at " + name_;
    return;
  }
  AdoptConnection(connection_->dpy);
  int event = 0, error = 0;
  connection_->xfixes = XFixesQueryExtension(connection_->dpy, &event, &error) != 0;
  if (connection_->xfixes) {
    int major = 0, minor = 0;
    XFixesQueryVersion(connection_->dpy, &major, &minor);
  }
  ready_ = true;
  if (options.windowManager && !StartWindowManager()) ready_ = false;
}

XvfbDisplay::~XvfbDisplay() {
  StopWindowManager();
  connection_.reset();
  server_.reset();
}

std::vector<std::string> XvfbDisplay::Env() const { return {"DISPLAY=" + name_}; }

bool XvfbDisplay::StartWindowManager() {
  if (windowManager_) return true;
  windowManager_ = ChildProcess::Start({"openbox", "--sm-disable"}, Env());
  if (!windowManager_) {
    error_ = "openbox did not start";
    return false;
  }
  if (!WaitForWindowManager(std::chrono::seconds(20))) {
    error_ = "openbox did not take the screen";
    windowManager_.reset();
    return false;
  }
  return true;
}

void XvfbDisplay::StopWindowManager() { windowManager_.reset(); }

bool XvfbDisplay::WaitForWindowManager(std::chrono::milliseconds timeout) {
  Display* dpy = connection_->dpy;
  const Window root = connection_->Root();
  XSelectInput(dpy, root, PropertyChangeMask);
  XSync(dpy, False);
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto check = LongProperty(root, "_NET_SUPPORTING_WM_CHECK", "WINDOW");
    if (!check.empty() && check[0] != 0) {
      const auto self = LongProperty(check[0], "_NET_SUPPORTING_WM_CHECK", "WINDOW");
      if (!self.empty() && self[0] == check[0]) {
        XSelectInput(dpy, root, NoEventMask);
        return WaitUntilManaging(deadline);
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !windowManager_->Running()) return false;
    if (XPending(dpy) == 0) {
      pollfd p{ConnectionNumber(dpy), POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
    }
    while (XPending(dpy) > 0) {
      XEvent ev;
      XNextEvent(dpy, &ev);
    }
  }
}

// The window manager announces itself before it is done starting; a window mapped in between
// may never be managed. A probe window that the window manager takes (gives WM_STATE) shows it
// is ready for the tests' windows.
bool XvfbDisplay::WaitUntilManaging(std::chrono::steady_clock::time_point deadline) {
  Display* dpy = connection_->dpy;
  XSetWindowAttributes attributes{};
  attributes.event_mask = PropertyChangeMask;
  const Window probe = XCreateWindow(dpy, connection_->Root(), 0, 0, 1, 1, 0, CopyFromParent, InputOutput, CopyFromParent,
                                     CWEventMask, &attributes);
  bool managed = false;
  while (!managed && Clock::now() < deadline) {
    XMapWindow(dpy, probe);
    XSync(dpy, False);
    const auto retry = std::min(deadline, Clock::now() + std::chrono::milliseconds(100));
    while (!(managed = !LongProperty(probe, "WM_STATE", "WM_STATE").empty()) && Clock::now() < retry) {
      pollfd p{ConnectionNumber(dpy), POLLIN, 0};
      if (XPending(dpy) == 0) ::poll(&p, 1, 10);
      while (XPending(dpy) > 0) {
        XEvent ev;
        XNextEvent(dpy, &ev);
      }
    }
    if (!managed) {
      XUnmapWindow(dpy, probe);
      XSync(dpy, False);
    }
  }
  XDestroyWindow(dpy, probe);
  XSync(dpy, False);
  return managed;
}

CommandResult XvfbDisplay::Run(std::vector<std::string> argv) const { return RunCommand(argv, Env()); }

bool XvfbDisplay::Xdotool(std::vector<std::string> args) const {
  args.insert(args.begin(), "xdotool");
  return Run(std::move(args)).ok();
}

bool XvfbDisplay::MouseMove(int x, int y) const { return Xdotool({"mousemove", std::to_string(x), std::to_string(y)}); }
bool XvfbDisplay::MouseDown(int button) const { return Xdotool({"mousedown", std::to_string(button)}); }
bool XvfbDisplay::MouseUp(int button) const { return Xdotool({"mouseup", std::to_string(button)}); }
bool XvfbDisplay::Click(int button) const { return Xdotool({"click", std::to_string(button)}); }
bool XvfbDisplay::KeyDown(const std::string& key) const { return Xdotool({"keydown", key}); }
bool XvfbDisplay::KeyUp(const std::string& key) const { return Xdotool({"keyup", key}); }

bool XvfbDisplay::Key(const std::vector<std::string>& keys) const {
  std::vector<std::string> args{"key", "--delay", "1"};
  args.insert(args.end(), keys.begin(), keys.end());
  return Xdotool(args);
}

bool XvfbDisplay::SetAutoRepeat(std::chrono::milliseconds delay, std::chrono::milliseconds interval) const {
  Display* dpy = connection_->dpy;
  const Bool ok = XkbSetAutoRepeatRate(dpy, XkbUseCoreKbd, static_cast<unsigned int>(delay.count()),
                                       static_cast<unsigned int>(interval.count()));
  XKeyboardControl control{};
  control.auto_repeat_mode = AutoRepeatModeOn;
  XChangeKeyboardControl(dpy, KBAutoRepeatMode, &control);
  XSync(dpy, False);
  return ok != 0;
}

bool XvfbDisplay::ScreenshotToFile(const std::string& path) const {
  return Run({"import", "-window", "root", path}).ok();
}

std::optional<Picture> XvfbDisplay::Screenshot() const {
  const CommandResult r = Run({"import", "-window", "root", "-depth", "8", "ppm:-"});
  if (!r.ok()) return std::nullopt;
  return ParsePpm(r.output);
}

std::optional<std::vector<std::uint32_t>> XvfbDisplay::GrabRaw(const ScreenRect& rect) const {
  Display* dpy = connection_->dpy;
  QuietErrors quiet(dpy);
  XImage* image = XGetImage(dpy, connection_->Root(), rect.x, rect.y, static_cast<unsigned int>(rect.width),
                            static_cast<unsigned int>(rect.height), AllPlanes, ZPixmap);
  if (!image) return std::nullopt;
  std::vector<std::uint32_t> raw(static_cast<std::size_t>(rect.width) * static_cast<std::size_t>(rect.height));
  for (int y = 0; y < rect.height; ++y) {
    for (int x = 0; x < rect.width; ++x) {
      raw[static_cast<std::size_t>(y * rect.width + x)] = static_cast<std::uint32_t>(XGetPixel(image, x, y));
    }
  }
  XDestroyImage(image);
  return raw;
}

std::optional<Picture> XvfbDisplay::Grab(const ScreenRect& rect) const {
  auto raw = GrabRaw(rect);
  if (!raw) return std::nullopt;
  Visual* visual = DefaultVisual(connection_->dpy, DefaultScreen(connection_->dpy));
  Picture picture{rect.width, rect.height, {}};
  picture.pixels.reserve(raw->size());
  for (const std::uint32_t p : *raw) {
    picture.pixels.push_back((Channel8(p, visual->red_mask) << 16) | (Channel8(p, visual->green_mask) << 8) |
                             Channel8(p, visual->blue_mask));
  }
  return picture;
}

bool XvfbDisplay::SetMonitors(const std::vector<ScreenRect>& monitors) const {
  Display* dpy = connection_->dpy;
  XRRScreenResources* resources = XRRGetScreenResources(dpy, connection_->Root());
  if (!resources) return false;
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const ScreenRect& m = monitors[i];
    XRRMonitorInfo info{};
    info.name = connection_->AtomOf("velmor-monitor-" + std::to_string(i));
    info.primary = i == 0;
    info.x = m.x;
    info.y = m.y;
    info.width = m.width;
    info.height = m.height;
    info.mwidth = m.width / 4;
    info.mheight = m.height / 4;
    // The first monitor takes the screen's output, so that the server's automatic monitor for
    // that output gives way to it; the others have none.
    info.noutput = i == 0 ? resources->noutput : 0;
    info.outputs = i == 0 ? resources->outputs : nullptr;
    XRRSetMonitor(dpy, connection_->Root(), &info);
  }
  XRRFreeScreenResources(resources);
  XSync(dpy, False);
  int count = 0;
  XRRMonitorInfo* set = XRRGetMonitors(dpy, connection_->Root(), True, &count);
  if (set) XRRFreeMonitors(set);
  return count == static_cast<int>(monitors.size());
}

std::optional<ScreenRect> XvfbDisplay::ViewableRect(unsigned long window) const {
  Display* dpy = connection_->dpy;
  QuietErrors quiet(dpy);
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(dpy, window, &attributes) || attributes.map_state != IsViewable) return std::nullopt;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(dpy, window, connection_->Root(), 0, 0, &x, &y, &child);
  return ScreenRect{x, y, attributes.width, attributes.height};
}

std::optional<ScreenRect> XvfbDisplay::FrameRect(unsigned long window) const {
  Display* dpy = connection_->dpy;
  QuietErrors quiet(dpy);
  Window current = window;
  for (;;) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, current, &root, &parent, &children, &count)) return std::nullopt;
    if (children) XFree(children);
    if (parent == root || parent == 0) break;
    current = parent;
  }
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(dpy, current, &attributes)) return std::nullopt;
  return ScreenRect{attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                    attributes.height + 2 * attributes.border_width};
}

std::optional<std::string> XvfbDisplay::TextProperty(unsigned long window, const std::string& name) const {
  Display* dpy = connection_->dpy;
  QuietErrors quiet(dpy);
  XTextProperty text{};
  if (!XGetTextProperty(dpy, window, &text, connection_->AtomOf(name)) || !text.value) return std::nullopt;
  std::string out;
  const Atom utf8 = connection_->AtomOf("UTF8_STRING");
  if (text.encoding == utf8) {
    out.assign(reinterpret_cast<const char*>(text.value), text.nitems);
  } else if (text.encoding == XA_STRING) {
    for (unsigned long i = 0; i < text.nitems; ++i) {
      const unsigned char c = text.value[i];
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
  } else {
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(dpy, &text, &list, &count) >= Success && list) {
      for (int i = 0; i < count; ++i) out += list[i];
      XFreeStringList(list);
    }
  }
  XFree(text.value);
  return out;
}

std::vector<unsigned long> XvfbDisplay::LongProperty(unsigned long window, const std::string& name,
                                                     const std::string& type) const {
  Display* dpy = connection_->dpy;
  QuietErrors quiet(dpy);
  Atom actual = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom wanted = connection_->AtomOf(type);
  if (XGetWindowProperty(dpy, window, connection_->AtomOf(name), 0, 1 << 20, False, wanted, &actual, &format, &count,
                         &after, &data) != Success) {
    return {};
  }
  std::vector<unsigned long> out;
  if (data && actual == wanted && format == 32) {
    // Xlib widens each 32-bit item to a long with its sign; the property holds 32 bits.
    const auto* longs = reinterpret_cast<const unsigned long*>(data);
    for (unsigned long i = 0; i < count; ++i) out.push_back(longs[i] & 0xFFFFFFFFul);
  }
  if (data) XFree(data);
  return out;
}

std::string XvfbDisplay::AtomName(unsigned long atom) const {
  char* name = XGetAtomName(connection_->dpy, atom);
  if (!name) return {};
  std::string out(name);
  XFree(name);
  return out;
}

std::optional<std::pair<std::string, std::string>> XvfbDisplay::WmClass(unsigned long window) const {
  QuietErrors quiet(connection_->dpy);
  XClassHint hint{};
  if (!XGetClassHint(connection_->dpy, window, &hint)) return std::nullopt;
  std::pair<std::string, std::string> out{hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return out;
}

std::optional<XvfbDisplay::SizeHints> XvfbDisplay::NormalHints(unsigned long window) const {
  QuietErrors quiet(connection_->dpy);
  XSizeHints hints{};
  long supplied = 0;
  if (!XGetWMNormalHints(connection_->dpy, window, &hints, &supplied)) return std::nullopt;
  return SizeHints{hints.min_width, hints.min_height, hints.max_width, hints.max_height, hints.flags, hints.win_gravity};
}

std::optional<unsigned long> XvfbDisplay::WmState(unsigned long window) const {
  const auto state = LongProperty(window, "WM_STATE", "WM_STATE");
  if (state.empty()) return std::nullopt;
  return state[0];
}

unsigned long XvfbDisplay::FocusWindow() const {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(connection_->dpy, &focus, &revert);
  return focus;
}

std::vector<unsigned long> XvfbDisplay::ManagedWindows() const {
  return LongProperty(connection_->Root(), "_NET_CLIENT_LIST", "WINDOW");
}

unsigned long XvfbDisplay::Cover(const ScreenRect& rect, std::uint32_t rgb) const {
  Display* dpy = connection_->dpy;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = rgb;
  const Window w = XCreateWindow(dpy, connection_->Root(), rect.x, rect.y, static_cast<unsigned int>(rect.width),
                                 static_cast<unsigned int>(rect.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(dpy, w);
  XSync(dpy, False);
  return w;
}

void XvfbDisplay::DestroyXWindow(unsigned long window) const {
  XDestroyWindow(connection_->dpy, window);
  XSync(connection_->dpy, False);
}

bool XvfbDisplay::SendDeleteWindow(unsigned long window) const {
  Display* dpy = connection_->dpy;
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = window;
  ev.xclient.message_type = connection_->AtomOf("WM_PROTOCOLS");
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(connection_->AtomOf("WM_DELETE_WINDOW"));
  ev.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(dpy, window, False, NoEventMask, &ev);
  XSync(dpy, False);
  return sent != 0;
}

bool XvfbDisplay::Ping(unsigned long window, std::chrono::milliseconds timeout) const {
  Display* dpy = connection_->dpy;
  const Window root = connection_->Root();
  const Atom protocols = connection_->AtomOf("WM_PROTOCOLS"), ping = connection_->AtomOf("_NET_WM_PING");
  XSelectInput(dpy, root, SubstructureNotifyMask);
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = window;
  ev.xclient.message_type = protocols;
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(ping);
  ev.xclient.data.l[1] = 4242;  // the time stamp the answer must carry back
  ev.xclient.data.l[2] = static_cast<long>(window);
  XSendEvent(dpy, window, False, NoEventMask, &ev);
  XSync(dpy, False);
  const auto deadline = Clock::now() + timeout;
  bool answered = false;
  while (!answered && Clock::now() < deadline) {
    if (XPending(dpy) == 0) {
      pollfd p{ConnectionNumber(dpy), POLLIN, 0};
      ::poll(&p, 1, 10);
      continue;
    }
    XEvent got;
    XNextEvent(dpy, &got);
    answered = got.type == ClientMessage && got.xclient.window == root && got.xclient.message_type == protocols &&
               static_cast<Atom>(got.xclient.data.l[0]) == ping && got.xclient.data.l[1] == 4242 &&
               static_cast<Window>(got.xclient.data.l[2]) == window;
  }
  XSelectInput(dpy, root, NoEventMask);
  return answered;
}

std::optional<Picture> XvfbDisplay::PointerImage() const {
  if (!connection_->xfixes) return std::nullopt;
  XFixesCursorImage* image = XFixesGetCursorImage(connection_->dpy);
  if (!image) return std::nullopt;
  Picture picture{image->width, image->height, {}};
  for (int i = 0; i < image->width * image->height; ++i) picture.pixels.push_back(static_cast<std::uint32_t>(image->pixels[i]));
  XFree(image);
  return picture;
}

std::optional<Picture> XvfbDisplay::FontCursorImage(unsigned int shape, int x, int y) const {
  Display* dpy = connection_->dpy;
  const Cursor cursor = XCreateFontCursor(dpy, shape);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.cursor = cursor;
  const Window w = XCreateWindow(dpy, connection_->Root(), x, y, 16, 16, 0, CopyFromParent, InputOnly, CopyFromParent,
                                 CWOverrideRedirect | CWCursor, &attributes);
  XMapRaised(dpy, w);
  XSync(dpy, False);
  std::optional<Picture> image;
  if (MouseMove(x + 8, y + 8)) image = PointerImage();
  XDestroyWindow(dpy, w);
  XFreeCursor(dpy, cursor);
  XSync(dpy, False);
  return image;
}

// --- SharedXvfb -------------------------------------------------------------------------------

namespace {
std::unique_ptr<XvfbDisplay>& SharedSlot() {
  static std::unique_ptr<XvfbDisplay> slot;
  return slot;
}
}  // namespace

void SharedXvfb::SetUp() {
  SharedSlot() = std::make_unique<XvfbDisplay>(options_);
  ASSERT_TRUE(SharedSlot()->Ready()) << SharedSlot()->Error();
}

void SharedXvfb::TearDown() { SharedSlot().reset(); }

XvfbDisplay& SharedXvfb::Server() { return *SharedSlot(); }

}  // namespace velmor::test
