// The program as a person meets it: velmor-manager-sim on Xvfb under openbox, driven by xdotool, in a
// network namespace with the router simulator at a documentation-range gateway, its window compared
// with the program's own drawing (vm_window); again at Xft.dpi 192, every distance twice as large.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/fake_net/netns.h"
#include "tests/support/xvfb/xvfb.h"

using namespace std::chrono_literals;

namespace velmor::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

class EndToEnd : public ::testing::TestWithParam<int> {};

TEST_P(EndToEnd, TheSettingsPageOpensOnAClickAndTheWindowMovesMinimisesAndCloses) {
  if (geteuid() != 0) GTEST_SKIP() << "the program runs in network namespaces of the test's own, which needs root";
  if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  const int n = GetParam();
  const std::string out = VELMOR_E2E_OUTPUT "/" + std::to_string(n) + "x", pages = out + "/pages", scenario = out + "/scenario";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out + "/bin");
  std::filesystem::create_directories(out + "/runtime");  // the instance mark: no other run's
  std::ofstream(out + "/bin/xdg-open") << "#!/bin/sh\necho \"$@\" >>'" << pages << "'\n";
  for (const char* path : {"/bin/xdg-open", "/runtime"}) std::filesystem::permissions(out + path, std::filesystem::perms::owner_all);
  std::ofstream(scenario) << "wlsim0 9 up Kavel-E2E\n";
  const std::string reference = out + "/connected-reference.ppm";
  ASSERT_EQ(std::system((VM_WINDOW_EXE " render --scale " + std::to_string(n) + " " + reference + " 4b6176656c2d453245").c_str()), 0);

  // wlsim0 (its Wi-Fi from the scenario) is the link of the default route; its veth peer vr0 stays
  // in the namespace, and the router's address lives on lo.
  NetworkNamespace ns;
  ASSERT_TRUE(ns.ok()) << ns.error();
  ASSERT_EQ(ns.Ip({"link set lo up", "link add wlsim0 type veth peer name vr0", "link set vr0 up",
                   "addr add 192.0.2.2/24 dev wlsim0", "link set wlsim0 up", "route add default via 192.0.2.1",
                   "addr add 192.0.2.1/32 dev lo"}), "");
  const auto routerSim = ChildProcess::Start(
      {"ip", "netns", "exec", ns.name(), ROUTER_SIM_EXE, "--address", "192.0.2.1", "--port", "80", "--body",
       "<html><head><title>Kavel-7100 Web</title></head><body>Kavel-7100 </body></html>"},
      {}, out + "/router");
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(out + "/router.out").find("listening on") != std::string::npos; }, 10s));

  XvfbDisplay x(XvfbOptions{.width = 1024 * n, .height = 768 * n, .windowManager = true});
  // The pointer starts in the middle of the screen, where the settings button will be.
  ASSERT_TRUE(x.Ready() && x.MouseMove(5, 5)) << x.Error();
  std::ofstream(out + "/resources") << "Xft.dpi: " << 96 * n << "\n";
  ASSERT_EQ(x.Run("xrdb -nocpp -merge " + out + "/resources").first, 0);
  // In the namespace the program reaches the X server through its socket file only.
  const auto app = ChildProcess::Start({"ip", "netns", "exec", ns.name(), VELMOR_SIM_EXE},
                                       {"DISPLAY=" + x.Name(), "XDG_RUNTIME_DIR=" + out + "/runtime",
                                        "VELMOR_SIM_SCENARIO=" + scenario,
                                        "PATH=" + out + "/bin:" + std::getenv("PATH")},
                                       out + "/app");
  const unsigned long window = x.WaitForWindow("Kavel-7100");
  ASSERT_NE(window, 0u) << ReadFile(out + "/app.err");
  const std::string id = std::to_string(window);
  const auto shows = [&](const std::string& look) {
    const auto [status, said] = x.Run(VM_WINDOW_EXE " wait " + id + " " + reference + " 10000 " + out + "/" + look + ".ppm");
    return status == 0 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << said;
  };
  ASSERT_TRUE(shows("connected")) << ReadFile(out + "/app.err");

  // A click on the settings button opens the router's page in the browser.
  const auto at = x.ViewableRect(window);
  ASSERT_TRUE(at);
  ASSERT_TRUE(x.MouseMove(at->x + 179 * n, at->y + 152 * n) && x.Xdotool("click 1"));
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(pages) == "http://192.0.2.1\n"; }, 10s)) << ReadFile(pages);

  // A drag on the panel moves the window with the pointer. The window manager takes the pointer
  // only once the program has seen the press and asked it to, and the program asks only while the
  // button is down: the first step is made again, a pixel off and back, until the window follows it.
  ASSERT_TRUE(x.MouseMove(at->x + 20 * n, at->y + 300 * n) && x.Xdotool("mousedown 1"));
  EXPECT_TRUE(WaitUntil([&] {
    return x.MouseMove(at->x + 1, at->y + 315 * n) && x.MouseMove(at->x, at->y + 315 * n) &&
           x.ViewableRect(window) == ScreenRect{at->x - 20 * n, at->y + 15 * n, 358 * n, 327 * n};
  }, 10s)) << "the window manager took the move";
  for (int step = 2; step <= 6; ++step) ASSERT_TRUE(x.MouseMove(at->x + (20 - 20 * step) * n, at->y + (300 + 15 * step) * n));
  ASSERT_TRUE(x.Xdotool("mouseup 1"));
  const ScreenRect moved{at->x - 120 * n, at->y + 90 * n, 358 * n, 327 * n};
  EXPECT_TRUE(WaitUntil([&] { return x.ViewableRect(window) == moved; }, 10s));

  // The minimise glyph takes it off the screen; restored, it shows the connected window again.
  ASSERT_TRUE(x.MouseMove(moved.x + 316 * n, moved.y + 12 * n) && x.Xdotool("click 1"));
  EXPECT_TRUE(WaitUntil([&] { return !x.ViewableRect(window); }, 10s));
  ASSERT_TRUE(x.MouseMove(5, 5) && x.Xdotool("windowactivate --sync " + id));
  EXPECT_TRUE(shows("restored"));

  // Alt+F4, the window manager's close, ends the program.
  ASSERT_TRUE(x.Xdotool("key alt+F4"));
  EXPECT_EQ(app->WaitForExit(10s), 0) << ReadFile(out + "/app.err");
}

INSTANTIATE_TEST_SUITE_P(AtScale, EndToEnd, ::testing::Values(1, 2), [](const auto& scale) { return std::to_string(scale.param) + "x"; });

}  // namespace
}  // namespace velmor::test
