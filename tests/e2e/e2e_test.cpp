// The program as a person meets it: velmor-manager-sim on a real X server under openbox, driven
// by xdotool, in network namespaces with the router simulator at the gateway. Screenshots of the
// disconnected, connected and pressed screens are left in the build folder.
//
// Needs root (network namespaces), Xvfb, openbox, xdotool, ImageMagick and iproute2.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "tests/e2e/sim_world.h"
#include "tests/support/xvfb/xvfb.h"

using namespace std::chrono_literals;

namespace velmor::test {
namespace {

constexpr char kTitle[] = "Kavel-7100";

struct Point {
  int x;
  int y;
};

// Where things are in the window (client pixels), and what they show.
constexpr ScreenRect kSettingsButton{99, 123, 160, 58};
constexpr ScreenRect kMinimizeGlyph{307, 0, 18, 24};
constexpr ScreenRect kStatusText{34, 59, 290, 43};
constexpr ScreenRect kSsidLine{101, 256, 156, 15};
constexpr Point kFreePanel{20, 300};  // skin only: a drag area

enum class Screen { kDisconnected, kConnected, kPressed };

const char* Name(Screen screen) {
  switch (screen) {
    case Screen::kDisconnected: return "disconnected";
    case Screen::kConnected: return "connected";
    case Screen::kPressed: return "pressed";
  }
  return "?";
}

struct Skin {
  Bitmap background;  // 132
  Bitmap pressed;     // 171
  Bitmap disabled;    // 172
  Bitmap normal;      // 174
  Bitmap minimize;    // 167, the glyph's normal look
};

bool LoadSkin(Skin* skin) {
  const std::string dir = VELMOR_SKIN_DIR;
  const auto load = [&](const char* name, Bitmap* into) {
    auto bitmap = LoadBitmap(dir + "/" + name);
    if (bitmap) *into = std::move(*bitmap);
    return bitmap.has_value();
  };
  return load("bitmap_132.bmp", &skin->background) && load("bitmap_171.bmp", &skin->pressed) &&
         load("bitmap_172.bmp", &skin->disabled) && load("bitmap_174.bmp", &skin->normal) &&
         load("bitmap_167.bmp", &skin->minimize);
}

// Pixels of `area` (client coordinates) in `shot` (the window) that differ from `picture`, whose
// (0, 0) lies at `origin` of the client area.
int Differing(const Picture& shot, const ScreenRect& area, const Bitmap& picture, Point origin) {
  int count = 0;
  for (int y = area.y; y < area.y + area.height; ++y) {
    for (int x = area.x; x < area.x + area.width; ++x) {
      count += shot.At(x, y) != picture.At(x - origin.x, y - origin.y);
    }
  }
  return count;
}

int Counting(const Picture& shot, const ScreenRect& area, bool (*match)(std::uint32_t)) {
  int count = 0;
  for (int y = area.y; y < area.y + area.height; ++y) {
    for (int x = area.x; x < area.x + area.width; ++x) count += match(shot.At(x, y));
  }
  return count;
}

bool Red(std::uint32_t p) { return ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90; }
bool Dark(std::uint32_t p) { return ((p >> 16) & 0xFF) < 80 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80; }

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "the program runs in network namespaces of the test's own, which needs root";
    if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(LoadSkin(&skin_)) << "cannot read the skin pictures in " << VELMOR_SKIN_DIR;

    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    logs_ = std::string(VELMOR_E2E_OUTPUT) + "/" + info->name();
    std::filesystem::remove_all(logs_);
    std::filesystem::create_directories(logs_);
    scenario_ = logs_ + "/scenario";
    xdgLog_ = logs_ + "/xdg-open.log";
    const std::string bin = logs_ + "/bin";
    std::filesystem::create_directories(bin);
    ASSERT_TRUE(ReplaceFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + xdgLog_ + "'\n"));
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    path_ = bin + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");

    // The single-instance mark lives here: a folder of this run's own, so that no other run of
    // the program (or of these tests) counts as the first instance.
    char runtime[] = "/tmp/velmor-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(runtime), nullptr);
    runtime_ = runtime;

    network_ = std::make_unique<SimNetwork>();
    ASSERT_TRUE(network_->ok()) << network_->error();
    // The program in the client namespace reaches the server only through its socket file
    // (abstract sockets belong to a network namespace); a server without a working one is
    // replaced.
    for (int attempt = 0; attempt < 3; ++attempt) {
      x_ = std::make_unique<XvfbDisplay>(XvfbOptions{1024, 768, 24, /*windowManager=*/true});
      ASSERT_TRUE(x_->Ready()) << x_->Error();
      if (DisplaySocketFileAccepts(x_->Name())) break;
    }
    ASSERT_TRUE(DisplaySocketFileAccepts(x_->Name())) << "no X server with a socket file";
    // The pointer starts in the middle of the screen, over where the settings button will be.
    ASSERT_TRUE(x_->MouseMove(5, 5));
  }

  void TearDown() override {
    // Processes first, then the display and the namespaces they used.
    apps_.clear();
    x_.reset();
    network_.reset();
    if (!runtime_.empty()) std::filesystem::remove_all(runtime_);
  }

  LoggedProcess* StartApp(const std::string& tag) {
    EXPECT_TRUE(DisplaySocketFileAccepts(x_->Name())) << "the X server's socket file " << x_->Name() << " is gone";
    auto app = LoggedProcess::Start({"ip", "netns", "exec", network_->client(), VELMOR_SIM_EXE},
                                    ChildEnvironment({"DISPLAY=" + x_->Name(), "XDG_RUNTIME_DIR=" + runtime_,
                                                      "VELMOR_SIM_SCENARIO=" + scenario_, "LC_ALL=C.UTF-8",
                                                      "PATH=" + path_}),
                                    logs_ + "/" + tag + ".out", logs_ + "/" + tag + ".err");
    if (!app) return nullptr;
    apps_.push_back(std::move(app));
    return apps_.back().get();
  }

  bool StartRouter() { return network_->StartRouter(ROUTER_SIM_EXE, logs_); }

  std::vector<unsigned long> Windows() const {
    const CommandResult r = x_->Run({"xdotool", "search", "--onlyvisible", "--name", kTitle});
    std::vector<unsigned long> ids;
    std::istringstream in(r.output);
    for (unsigned long id; in >> id;) ids.push_back(id);
    return ids;
  }

  unsigned long WaitForWindow() const {
    unsigned long found = 0;
    WaitUntil([&] {
      const auto windows = Windows();
      if (windows.size() == 1 && x_->ViewableRect(windows[0])) found = windows[0];
      return found != 0;
    }, 10s);
    return found;
  }

  // What the window shows now, as far as `screen` is concerned; empty when it shows that screen.
  std::string Mismatch(unsigned long window, Screen screen) const {
    const auto rect = x_->ViewableRect(window);
    if (!rect) return "the window is not viewable";
    if (rect->width != skin_.background.width || rect->height != skin_.background.height) return "not the skin's size";
    const auto shot = x_->Grab(*rect);
    if (!shot) return "cannot read the screen";
    const Point button{kSettingsButton.x, kSettingsButton.y};
    std::ostringstream why;
    switch (screen) {
      case Screen::kDisconnected:
        if (int n = Differing(*shot, kSettingsButton, skin_.disabled, button)) why << n << " pixels off the disabled button; ";
        if (int n = Differing(*shot, kSsidLine, skin_.background, Point{0, 0})) why << n << " pixels on the SSID line; ";
        if (int n = Counting(*shot, kStatusText, Red); n < 100) why << "only " << n << " red status pixels; ";
        break;
      case Screen::kConnected:
      case Screen::kPressed: {
        const Bitmap& look = screen == Screen::kConnected ? skin_.normal : skin_.pressed;
        if (int n = Differing(*shot, kSettingsButton, look, button)) why << n << " pixels off the button's look; ";
        if (int n = Differing(*shot, kSsidLine, skin_.background, Point{0, 0}); n < 50) {
          why << "only " << n << " pixels of SSID text; ";
        }
        if (int n = Counting(*shot, kStatusText, Red)) why << n << " red status pixels; ";
        if (int n = Counting(*shot, kStatusText, Dark); n < 100) why << "only " << n << " dark status pixels; ";
        break;
      }
    }
    return why.str();
  }

  // Waits until the window shows `screen`; the failure message says what it showed instead.
  ::testing::AssertionResult WaitForScreen(unsigned long window, Screen screen, std::chrono::milliseconds timeout) const {
    std::string last;
    if (WaitUntil([&] { return (last = Mismatch(window, screen)).empty(); }, timeout)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "not the " << Name(screen) << " screen: " << last;
  }

  // The window as it is on the screen now, into the build folder.
  void Screenshot(unsigned long window, Screen screen) const {
    const auto rect = x_->ViewableRect(window);
    ASSERT_TRUE(rect);
    const std::string path = std::string(VELMOR_E2E_OUTPUT) + "/" + Name(screen) + ".png";
    const std::string geometry = std::to_string(rect->width) + "x" + std::to_string(rect->height) + "+" +
                                 std::to_string(rect->x) + "+" + std::to_string(rect->y);
    EXPECT_TRUE(x_->Run({"import", "-window", "root", "-crop", geometry, "+repage", path}).ok()) << path;
  }

  bool Drag(Point from, Point by) const {
    bool ok = x_->MouseMove(from.x, from.y) && x_->MouseDown();
    constexpr int kSteps = 6;
    for (int i = 1; ok && i <= kSteps; ++i) ok = x_->MouseMove(from.x + by.x * i / kSteps, from.y + by.y * i / kSteps);
    return x_->MouseUp() && ok;
  }

  bool ClickAt(const ScreenRect& window, Point client) const {
    return x_->MouseMove(window.x + client.x, window.y + client.y) && x_->Click();
  }

  Skin skin_;
  std::string logs_;
  std::string scenario_;
  std::string xdgLog_;
  std::string path_;
  std::string runtime_;
  std::unique_ptr<SimNetwork> network_;
  std::unique_ptr<XvfbDisplay> x_;
  std::vector<std::unique_ptr<LoggedProcess>> apps_;
};

TEST_F(EndToEnd, DisconnectedUntilTheRouterAnswersThenConnectedWithTheNewSsid) {
  // Associated with a network, but nothing answers at the gateway yet.
  ASSERT_TRUE(ReplaceFile(scenario_, "# the router is not up yet\nwlsim0 9 up Kavel-old\n"));
  LoggedProcess* app = StartApp("app");
  ASSERT_NE(app, nullptr);
  const unsigned long window = WaitForWindow();
  ASSERT_NE(window, 0u) << "no window; the program wrote:\n" << app->Err();
  EXPECT_EQ(x_->TextProperty(window, "_NET_WM_NAME"), std::optional<std::string>("Kavel-7100設定画面接続ツール"));
  ASSERT_TRUE(WaitForScreen(window, Screen::kDisconnected, 10s));
  Screenshot(window, Screen::kDisconnected);

  // The hidden key sequence, typed into the focused window, turns the trace on.
  ASSERT_TRUE(x_->Xdotool({"windowactivate", "--sync", std::to_string(window)}));
  ASSERT_TRUE(x_->Key({"q", "x", "j"}));
  EXPECT_TRUE(WaitUntil([&] { return app->Err().find("Debug Message ON!") != std::string::npos; }, 10s))
      << "stderr:\n" << app->Err();

  // The Wi-Fi moves to another network and the router comes up; the 10 s check finds both.
  ASSERT_TRUE(ReplaceFile(scenario_, "wlsim0 9 up Kavel-\\xe3\\x83\\x86\\xe3\\x82\\xb9\\xe3\\x83\\x88\n"));
  ASSERT_TRUE(StartRouter());
  EXPECT_TRUE(WaitForScreen(window, Screen::kConnected, 20s)) << "stderr:\n" << app->Err();
  Screenshot(window, Screen::kConnected);

  const std::string trace = app->Err();
  for (const char* line : {"MediumType: 9\n", "Native Get SSID\n", "found SSID\n", "[Velmor]Ready to connect with Velmor\n"}) {
    EXPECT_NE(trace.find(line), std::string::npos) << line << " not in the trace:\n" << trace;
  }

  ASSERT_TRUE(x_->SendDeleteWindow(window));
  EXPECT_EQ(app->WaitForExit(10s), std::optional<int>(0)) << "close did not end the process";
  // Printed by the Wi-Fi query of the pass that found the router; complete once the process ended.
  EXPECT_NE(app->Out().find("InterfaceGUID[0]: wlsim0\n"), std::string::npos) << app->Out();
}

TEST_F(EndToEnd, TheConnectedWindowOpensTheSettingsPageMovesMinimisesAndCloses) {
  ASSERT_TRUE(StartRouter());
  ASSERT_TRUE(ReplaceFile(scenario_, "wlsim0 9 up Kavel\\x20E2E\n"));
  LoggedProcess* app = StartApp("app");
  ASSERT_NE(app, nullptr);
  const unsigned long window = WaitForWindow();
  ASSERT_NE(window, 0u) << "no window; the program wrote:\n" << app->Err();
  ASSERT_TRUE(WaitForScreen(window, Screen::kConnected, 10s)) << "stderr:\n" << app->Err();

  // A second start while the first runs ends at once and shows nothing.
  LoggedProcess* second = StartApp("second");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitForExit(10s), std::optional<int>(0)) << "the second start did not end";
  EXPECT_EQ(Windows().size(), 1u);

  // The settings button: the pressed look while held, then the router's page in the browser.
  auto rect = x_->ViewableRect(window);
  ASSERT_TRUE(rect);
  ASSERT_TRUE(x_->MouseMove(rect->x + kSettingsButton.x + 80, rect->y + kSettingsButton.y + 29));
  ASSERT_TRUE(x_->MouseDown());
  EXPECT_TRUE(WaitForScreen(window, Screen::kPressed, 10s));
  Screenshot(window, Screen::kPressed);
  ASSERT_TRUE(x_->MouseUp());
  EXPECT_TRUE(WaitUntil([&] { return !ReadFile(xdgLog_).empty(); }, 10s)) << "xdg-open was not run";
  EXPECT_EQ(ReadFile(xdgLog_), std::string("http://") + kGateway + "\n");

  // A drag on the panel moves the window with the pointer.
  rect = x_->ViewableRect(window);
  ASSERT_TRUE(rect);
  const Point by{-120, 90};
  ASSERT_TRUE(Drag(Point{rect->x + kFreePanel.x, rect->y + kFreePanel.y}, by));
  const ScreenRect moved{rect->x + by.x, rect->y + by.y, rect->width, rect->height};
  std::optional<ScreenRect> now;
  EXPECT_TRUE(WaitUntil([&] { return (now = x_->ViewableRect(window)) == moved; }, 10s))
      << "the window is at " << (now ? std::to_string(now->x) + "," + std::to_string(now->y) : "nowhere")
      << " instead of " << moved.x << "," << moved.y;

  // The minimise glyph iconifies it; restored, the glyph shows its normal look again.
  rect = x_->ViewableRect(window);
  ASSERT_TRUE(rect);
  ASSERT_TRUE(ClickAt(*rect, Point{kMinimizeGlyph.x + 9, kMinimizeGlyph.y + 12}));
  EXPECT_TRUE(WaitUntil([&] { return x_->WmState(window) == std::optional<unsigned long>(3); }, 10s))
      << "WM_STATE is not IconicState";
  ASSERT_TRUE(x_->MouseMove(5, 5));
  ASSERT_TRUE(x_->Xdotool({"windowactivate", std::to_string(window)}));
  ASSERT_TRUE(WaitUntil([&] { return x_->WmState(window) == std::optional<unsigned long>(1); }, 10s))
      << "the window manager did not restore the window";
  EXPECT_TRUE(WaitUntil([&] {
    const auto r = x_->ViewableRect(window);
    const auto shot = r ? x_->Grab(*r) : std::nullopt;
    return shot && Differing(*shot, kMinimizeGlyph, skin_.minimize, Point{kMinimizeGlyph.x, kMinimizeGlyph.y}) == 0;
  }, 10s)) << "the minimise glyph did not return to its normal look";

  // Alt+F4 closes the window, and the process ends with it.
  ASSERT_TRUE(x_->Key({"alt+F4"}));
  EXPECT_EQ(app->WaitForExit(10s), std::optional<int>(0)) << "Alt+F4 did not end the process";
  EXPECT_TRUE(Windows().empty());
}

}  // namespace
}  // namespace velmor::test
