// A private X server for end-to-end tests: Xvfb on a free display, optionally with openbox as its
// window manager, and the tools tests drive it with (xdotool for input, ImageMagick's import for
// screenshots) plus a connection of the fixture's own to look at windows and pixels.
//
// Every server, window manager and tool is a child process of the test, started with DISPLAY
// set to the private display, and ended by its process id when the fixture goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmor::test {

// A child process, stopped (SIGTERM, then SIGKILL after a grace period) and reaped when the
// object goes, and sent SIGTERM when the thread that started it ends (PR_SET_PDEATHSIG): a test
// process that dies takes its servers with it.
class ChildProcess {
 public:
  ChildProcess() = default;
  // Starts `argv` with `extraEnv` ("NAME=value") added to this process's environment and its
  // output thrown away. `keepFd`, when not -1, stays open in the child under the same number.
  static std::optional<ChildProcess> Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                                           int keepFd = -1);
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  void Stop();

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_ = -1;
};

struct CommandResult {
  int exitCode = -1;  // -1: did not start or did not exit normally
  std::string output;
  bool ok() const { return exitCode == 0; }
};

// Runs a program to its end; its standard output is collected, its errors go to ours.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});

// Pixels read from the screen, 0x00RRGGBB, rows top to bottom.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
};

struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct XvfbOptions {
  int width = 1024;
  int height = 768;
  int depth = 24;
  bool windowManager = false;  // start openbox and wait until it manages the screen
};

class XvfbDisplay {
 public:
  explicit XvfbDisplay(const XvfbOptions& options = {});
  ~XvfbDisplay();
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  // Whether the server (and the window manager, when asked for) is up; Error() says what failed.
  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }
  const std::string& Name() const { return name_; }  // ":N"
  const XvfbOptions& Options() const { return options_; }

  // --- Processes -------------------------------------------------------------------------
  bool StartWindowManager();
  void StopWindowManager();
  CommandResult Run(std::vector<std::string> argv) const;

  // --- Input through xdotool (XTEST): true when xdotool succeeded. ---------------------------
  bool Xdotool(std::vector<std::string> args) const;
  bool MouseMove(int x, int y) const;
  bool MouseDown(int button = 1) const;
  bool MouseUp(int button = 1) const;
  bool Click(int button = 1) const;
  bool Key(const std::vector<std::string>& keys) const;  // xdotool key names: "q", "shift+x", "Return"
  bool KeyDown(const std::string& key) const;
  bool KeyUp(const std::string& key) const;
  // The server's auto-repeat: first repeat after `delay`, then every `interval`.
  bool SetAutoRepeat(std::chrono::milliseconds delay, std::chrono::milliseconds interval) const;

  // --- Screenshots -----------------------------------------------------------------------
  bool ScreenshotToFile(const std::string& path) const;  // import -window root
  std::optional<Picture> Screenshot() const;              // import -window root, as pixels
  std::optional<Picture> Grab(const ScreenRect& rect) const;  // XGetImage of the root window
  // The raw pixel values of the root window (for screens of other depths than 24).
  std::optional<std::vector<std::uint32_t>> GrabRaw(const ScreenRect& rect) const;

  // RandR monitors over the screen, the first one primary (xrandr --setmonitor); true when the
  // server took them.
  bool SetMonitors(const std::vector<ScreenRect>& monitors) const;

  // --- Windows ---------------------------------------------------------------------------
  // Where a window's area is on the screen, whatever frame a window manager put around it;
  // nothing when the window is not viewable.
  std::optional<ScreenRect> ViewableRect(unsigned long window) const;
  // The window manager's frame around a window (the client's top-level ancestor), or the
  // window itself without one.
  std::optional<ScreenRect> FrameRect(unsigned long window) const;
  // A text property as UTF-8 (UTF8_STRING, STRING or COMPOUND_TEXT).
  std::optional<std::string> TextProperty(unsigned long window, const std::string& name) const;
  // A 32-bit property of `type` ("CARDINAL", "ATOM", "WM_STATE", ...); ATOMs as atom numbers.
  std::vector<unsigned long> LongProperty(unsigned long window, const std::string& name, const std::string& type) const;
  std::string AtomName(unsigned long atom) const;
  // WM_CLASS as (instance, class).
  std::optional<std::pair<std::string, std::string>> WmClass(unsigned long window) const;
  // WM_NORMAL_HINTS: min and max size, when given.
  struct SizeHints {
    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    long flags = 0;
    int gravity = 0;
  };
  std::optional<SizeHints> NormalHints(unsigned long window) const;
  // WM_STATE's state: 1 normal, 3 iconic; nothing without the property.
  std::optional<unsigned long> WmState(unsigned long window) const;
  // The window that has the keyboard focus.
  unsigned long FocusWindow() const;
  // The windows the window manager manages (_NET_CLIENT_LIST).
  std::vector<unsigned long> ManagedWindows() const;

  // An override-redirect window of one colour over `rect`, mapped (0 on failure).
  unsigned long Cover(const ScreenRect& rect, std::uint32_t rgb) const;
  // Destroys any window, the fixture's or another client's.
  void DestroyXWindow(unsigned long window) const;
  // The window manager's close, as a window manager sends it (WM_DELETE_WINDOW).
  bool SendDeleteWindow(unsigned long window) const;

  // Sends _NET_WM_PING as a window manager does and waits for the answer on the root window
  // (seen only where no window manager redirects the root's messages).
  bool Ping(unsigned long window, std::chrono::milliseconds timeout) const;

  // The image of the pointer as the server shows it now (XFixes), 0xAARRGGBB.
  std::optional<Picture> PointerImage() const;
  // The image of an X font cursor shape (XC_...), as the server shows it over a window of the
  // fixture's own; the pointer is moved for that.
  std::optional<Picture> FontCursorImage(unsigned int shape, int x, int y) const;

 private:
  struct Connection;
  bool WaitForWindowManager(std::chrono::milliseconds timeout);
  bool WaitUntilManaging(std::chrono::steady_clock::time_point deadline);
  std::vector<std::string> Env() const;

  XvfbOptions options_;
  bool ready_ = false;
  std::string error_;
  std::string name_;
  std::optional<ChildProcess> server_;
  std::optional<ChildProcess> windowManager_;
  std::unique_ptr<Connection> connection_;
};

// One display shared by every test of a binary:
//   static auto* const kEnv = ::testing::AddGlobalTestEnvironment(new velmor::test::SharedXvfb({...}));
// and SharedXvfb::Server() in the tests. A display that did not come up fails every test.
class SharedXvfb : public ::testing::Environment {
 public:
  explicit SharedXvfb(XvfbOptions options) : options_(options) {}
  void SetUp() override;
  void TearDown() override;
  static XvfbDisplay& Server();

 private:
  XvfbOptions options_;
};

// Waits (real time) until `condition` holds, looking again at short intervals: for effects in
// the X server and other processes, which no test clock can drive. True when it held in time.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace velmor::test
