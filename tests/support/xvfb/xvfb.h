// A private X server: Xvfb on a free display, optionally under openbox, driven with xdotool, and a
// connection of the fixture's own to look at windows and pixels, which no X error ends.
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

// Waits (real time, for other processes) until `condition` holds; true when it held in time.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A child process with this environment less the proxy variables (no proxy exists in the tests'
// namespaces), plus `extraEnv` ("NAME=value"), its output in `log`.out and `log`.err. It gets
// SIGTERM when the thread that started it ends and when the object goes.
class ChildProcess {
 public:
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::vector<std::string>& extraEnv, const std::string& log = "");
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // The exit status once the process has ended within `timeout`; -1 for an end by a signal.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout) {
    WaitUntil([&] { return !Running(); }, timeout);
    return status_;
  }

 private:
  pid_t pid_;
  std::optional<int> status_;
};

// 0x00RRGGBB, rows top to bottom.
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
  // A display that runs already (":N"): nothing started.
  explicit XvfbDisplay(const std::string& running);
  ~XvfbDisplay();

  bool Ready() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  const std::string& Name() const { return name_; }  // ":N"

  // A shell command on this display, run to its end: its exit status and its standard output.
  std::pair<int, std::string> Run(const std::string& command) const;
  bool Xdotool(const std::string& args) const { return Run("xdotool " + args).first == 0; }
  bool MouseMove(int x, int y) const { return Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y)); }
  // The one viewable window whose title matches `title` within ten seconds; else 0.
  unsigned long WaitForWindow(const std::string& title) const;

  std::optional<Picture> Grab(const ScreenRect& rect) const;
  // RandR monitors over the screen, the first one primary; true when the server took them.
  bool SetMonitors(const std::vector<ScreenRect>& monitors) const;
  // Where a window's area is on the screen, whatever its frame; nothing when it is not viewable.
  std::optional<ScreenRect> ViewableRect(unsigned long window) const;

 private:
  struct Connection;
  bool Connect();

  std::string error_;
  std::string name_;
  // They end in the reverse order: the window manager, the connection, the server.
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<ChildProcess> windowManager_;
};

}  // namespace velmor::test
