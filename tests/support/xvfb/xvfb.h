// A private X server for the tests that need a real one: Xvfb on a free display, optionally with
// openbox as its window manager, driven with xdotool, and a connection of the fixture's own to
// look at windows and pixels. Every server and program it starts is a child of the test process
// and ends with it, and no X error or lost server on the fixture's connection ends the test
// before its tear-down.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmor::test {

// Waits (real time) until `condition` holds, looking again at short intervals: for effects in
// the X server and other processes, which no test clock can drive. True when it held in time.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A child process with this process's environment, less the HTTP proxy variables (no proxy
// exists inside the tests' network namespaces), plus `extraEnv` ("NAME=value"). Its standard
// output and errors go to `log`.out and `log`.err, or nowhere when `log` is empty. It gets
// SIGTERM when the thread that started it ends (a test that dies takes it along) and when the
// object goes (then SIGKILL after 3 s).
class ChildProcess {
 public:
  // `keepFd`, when not -1, stays open in the child under the same number.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::vector<std::string>& extraEnv, const std::string& log = "",
                                             int keepFd = -1);
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // The exit status once the process has ended within `timeout`; -1 for an end by a signal.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

 private:
  pid_t pid_;
  std::optional<int> status_;
};

// Pixels read from the screen, 0x00RRGGBB, rows top to bottom.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct XvfbOptions {
  int width = 1024, height = 768, depth = 24;
  bool windowManager = false;  // openbox, started and ready to manage windows
};

class XvfbDisplay {
 public:
  explicit XvfbDisplay(const XvfbOptions& options = {});
  // A display that runs already (":N"): the fixture's connection to it, and nothing started.
  explicit XvfbDisplay(const std::string& running);
  ~XvfbDisplay();

  // Whether the server (and the window manager, when asked for) is up; Error() says what failed.
  bool Ready() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  const std::string& Name() const { return name_; }  // ":N"

  // A shell command with DISPLAY set to this display, run to its end: its exit status (-1 when
  // it did not exit normally) and its standard output.
  std::pair<int, std::string> Run(const std::string& command) const;
  // xdotool with `args` (input through XTEST, window queries); true when it succeeded.
  bool Xdotool(const std::string& args) const { return Run("xdotool " + args).first == 0; }
  bool MouseMove(int x, int y) const { return Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y)); }
  // The one viewable window whose title matches `title` once there is exactly one (10 s at
  // most); 0 when none came.
  unsigned long WaitForWindow(const std::string& title) const;

  // The screen's pixels in `rect`, whatever the screen's depth.
  std::optional<Picture> Grab(const ScreenRect& rect) const;
  // RandR monitors over the screen, the first one primary; true when the server took them.
  bool SetMonitors(const std::vector<ScreenRect>& monitors) const;
  // Where a window's area is on the screen, whatever frame a window manager put around it;
  // nothing when the window is not viewable (or gone).
  std::optional<ScreenRect> ViewableRect(unsigned long window) const;
  // The items of a 32-bit property of `window` (0: the root window); none without it.
  std::vector<unsigned long> LongProperty(unsigned long window, const std::string& name) const;
  // Destroys a window of another client, as a session tool may.
  void DestroyXWindow(unsigned long window) const;

 private:
  struct Connection;
  bool Connect();
  bool StartWindowManager();

  std::string error_;
  std::string name_;
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> windowManager_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace velmor::test
