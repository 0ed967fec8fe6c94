// vm_window: the program's window against the program's own drawing of a state, for the tests
// that run the real executable (the real Wi-Fi stage and the end-to-end test).
//
//   vm_window render [--scale N] OUT.ppm [SSID_HEX]
//     Writes the main dialog as the program draws it with no network: disconnected, or connected
//     to the SSID given as hex bytes (read in the locale's codeset, as the program reads it); on
//     a screen that shows windows at scale N (1 by default).
//   vm_window wait WINDOW REFERENCE.ppm TIMEOUT_MS SHOT.ppm
//     Watches X window WINDOW on $DISPLAY until the areas below show exactly REFERENCE's pixels
//     (then prints "match EPOCH", the wall-clock seconds of that look, and exits 0), or until
//     TIMEOUT_MS or SIGTERM (then prints what differed and exits 1). SHOT gets the last look.
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/velmor_manager_dlg.h"
#include "platform/base/codepage.h"
#include "platform/kernel/sync.h"
#include "platform/net/change_monitor.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/wlanapi.h"
#include "platform/shell/shell.h"
#include "res/program_resources.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_adapters.h"
#include "tests/support/fake_net/fake_changes.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/headless/headless_desktop.h"
#include "tests/support/window_rest.h"
#include "tests/support/xvfb/xvfb.h"

namespace {

using namespace std::chrono_literals;
using velmor::test::Picture;

volatile std::sig_atomic_t g_stopped = 0;

// The parts of the window (client pixels) that tell the states apart.
struct Area {
  const char* name;
  int x, y, width, height;
};
constexpr Area kAreas[] = {
    {"status", 34, 59, 290, 43}, {"button", 99, 123, 160, 58}, {"notice", 15, 205, 325, 40}, {"SSID", 101, 256, 156, 15}};
// The window's own width: a picture of it at scale N is N times as wide.
constexpr int kWindowWidth = 358;

bool WritePpm(const std::string& path, const Picture& picture) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
  for (std::uint32_t p : picture.pixels) out << char(p >> 16) << char(p >> 8) << char(p);
  return static_cast<bool>(out.flush());
}

std::optional<Picture> ReadPpm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  Picture picture;
  int maximum = 0;
  in >> magic >> picture.width >> picture.height >> maximum;
  in.get();
  const std::string data((std::istreambuf_iterator<char>(in)), {});
  if (magic != "P6" || picture.width <= 0 || data.size() != std::size_t(picture.width * picture.height * 3)) return {};
  for (std::size_t i = 0; i < data.size(); i += 3) {
    picture.pixels.push_back(std::uint32_t(std::uint8_t(data[i])) << 16 | std::uint32_t(std::uint8_t(data[i + 1])) << 8 |
                             std::uint8_t(data[i + 2]));
  }
  return picture;
}

// How many pixels of each area differ between two looks of the same size.
std::vector<int> DifferingPixels(const Picture& a, const Picture& b) {
  const int n = std::max(a.width / kWindowWidth, 1);
  std::vector<int> counts;
  for (const Area& area : kAreas) {
    int count = 0;
    for (int y = area.y * n; y < (area.y + area.height) * n; ++y) {
      for (int x = area.x * n; x < (area.x + area.width) * n; ++x) count += a.At(x, y) != b.At(x, y);
    }
    counts.push_back(count);
  }
  return counts;
}

int Render(const std::string& out, const std::optional<std::string>& ssid, int scale) {
  velmor::test::HeadlessDesktop desktop;
  desktop.Host().SetScale(scale);
  RegisterProgramResources();
  // No adapter: the dialog's own pass leaves the start-up state alone and sends nothing.
  platform::net::SetNdisDevices(std::make_shared<velmor::test::FakeNdisDevices>());
  platform::net::SetAdapterSource(std::make_shared<velmor::test::FakeAdapterSource>());
  platform::net::SetWlanService(std::make_shared<velmor::test::FakeWlanService>());
  platform::net::SetChangeMonitorSource(std::make_shared<velmor::test::FakeChangeSource>());
  platform::shell::SetLauncher([](const std::vector<std::string>&) { return 0; });

  CVelmor_managerDlg dlg;
  velmor::test::WindowThread thread([&] { dlg.DoModal(); });
  const HWND hwnd = desktop.Host().WaitForShownWindow();
  if (hwnd == nullptr || !platform::kernel::WaitForAllThreads(20s)) return 1;
  const auto look = [&] {
    velmor::test::WaitUntilIdle(hwnd);
    const auto surface = platform::ui::WindowSurface(hwnd);
    return surface ? Picture{surface->width, surface->height, surface->pixels} : Picture{};
  };
  Picture picture = look();
  if (ssid && picture.width > 0) {
    const Picture disconnected = picture;
    const std::u16string wide = platform::AnsiToWide(*ssid);
    platform::ui::CallOnWindowThread(hwnd, [&] {
      dlg.ShowSsid(wide.c_str());
      dlg.UpdateConnectionStatus(TRUE);
      return LRESULT{0};
    });
    picture = look();
    // A reference like the disconnected window in any area would pass a window that never changed.
    for (int count : DifferingPixels(picture, disconnected)) {
      if (count == 0) picture = Picture{};
    }
  }
  const bool written = picture.width > 0 && WritePpm(out, picture);
  PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  thread.WaitFinished();
  platform::kernel::WaitForAllThreads(10s);
  if (!written) std::fprintf(stderr, "vm_window: no picture of that state for %s\n", out.c_str());
  return written ? 0 : 1;
}

int Wait(unsigned long window, const std::string& referencePath, long timeoutMs, const std::string& shotPath) {
  const auto reference = ReadPpm(referencePath);
  const char* name = std::getenv("DISPLAY");
  const velmor::test::XvfbDisplay display(name ? name : "");
  if (!reference || !display.Ready()) {
    std::fprintf(stderr, "vm_window: cannot read %s or open the display\n", referencePath.c_str());
    return 2;
  }
  std::signal(SIGTERM, [](int) { g_stopped = 1; });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto rect = display.ViewableRect(window);
    const auto look = rect ? display.Grab(*rect) : std::nullopt;
    const auto seen = std::chrono::system_clock::now();
    std::string why = look ? "" : "the window is not viewable";
    if (look && (look->width != reference->width || look->height != reference->height)) {
      why = "the window is " + std::to_string(look->width) + "x" + std::to_string(look->height);
    } else if (look) {
      const std::vector<int> counts = DifferingPixels(*look, *reference);
      for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] != 0) why += std::string(kAreas[i].name) + " " + std::to_string(counts[i]) + " px differ; ";
      }
    }
    if (why.empty() || g_stopped || std::chrono::steady_clock::now() >= deadline) {
      if (look) WritePpm(shotPath, *look);
      if (!why.empty()) {
        std::printf("no match: %s\n", why.c_str());
        return 1;
      }
      const auto us = std::chrono::duration_cast<std::chrono::microseconds>(seen.time_since_epoch()).count();
      std::printf("match %lld.%06lld\n", static_cast<long long>(us / 1000000), static_cast<long long>(us % 1000000));
      return 0;
    }
    std::this_thread::sleep_for(40ms);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  int scale = 1;
  if (args.size() >= 3 && args[0] == "render" && args[1] == "--scale") {
    scale = std::max(std::atoi(args[2].c_str()), 1);
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() >= 2 && args.size() <= 3 && args[0] == "render") {
    std::string ssid;
    for (std::size_t i = 0; args.size() == 3 && i + 1 < args[2].size(); i += 2) {
      ssid.push_back(static_cast<char>(std::stoi(args[2].substr(i, 2), nullptr, 16)));
    }
    return Render(args[1], args.size() == 3 ? std::optional(ssid) : std::nullopt, scale);
  }
  if (args.size() == 5 && args[0] == "wait") return Wait(std::stoul(args[1], nullptr, 0), args[2], std::stol(args[3]), args[4]);
  std::fprintf(stderr, "usage: vm_window render [--scale N] OUT.ppm [SSID_HEX]\n       vm_window wait WINDOW REFERENCE.ppm TIMEOUT_MS SHOT.ppm\n");
  return 2;
}
