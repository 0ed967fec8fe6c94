// vm_window: what the real-Wi-Fi-stack stage knows about the program's window.
//
//   vm_window render OUT.ppm [SSID_HEX]
//     Draws the main dialog as the program draws it, on the headless screen with no network,
//     in the disconnected state, or in the connected state with the SSID given as hex bytes
//     (converted as the program converts them: in the locale's codeset). Writes the window's
//     pixels as a binary PPM.
//   vm_window wait WINDOW REFERENCE.ppm TIMEOUT_MS SHOT.ppm
//     Watches X window WINDOW on $DISPLAY until its status text, settings button, notice and
//     SSID line show exactly the pixels of REFERENCE, or TIMEOUT_MS passes, or SIGTERM comes
//     (the caller's own deadline, which may run from an event after the start). Prints
//     "match EPOCH" (wall-clock seconds of the first matching look) and exits 0, or prints how
//     many pixels of each area differed and exits 1. The last look is written to SHOT.
//
// The stage compares the real window with the program's own drawing of the expected state,
// so a match proves the window shows that state's text, colours and button, SSID included.
#include <chrono>
#include <csignal>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/velmor_manager_dlg.h"
#include "platform/base/codepage.h"
#include "platform/kernel/sync.h"
#include "platform/net/change_monitor.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/wlanapi.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "res/program_resources.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_adapters.h"
#include "tests/support/fake_net/fake_changes.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/headless/headless_desktop.h"
#include "tests/vm/window_look.h"

namespace {

using namespace std::chrono_literals;

volatile std::sig_atomic_t g_stopped = 0;

struct Area {
  const char* name;
  int x, y, width, height;  // client pixels
};

// The parts of the window that tell the two states apart.
constexpr Area kAreas[] = {
    {"status", 34, 59, 290, 43},
    {"button", 99, 123, 160, 58},
    {"notice", 15, 205, 325, 40},
    {"SSID", 101, 256, 156, 15},
};

bool WritePpm(const std::string& path, const Image& image) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "P6\n" << image.width << " " << image.height << "\n255\n";
  for (std::uint32_t p : image.pixels) {
    const char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
    out.write(rgb, 3);
  }
  return static_cast<bool>(out.flush());
}

// Reads the binary PPMs that WritePpm makes (no comments, maximum 255).
bool ReadPpm(const std::string& path, Image* image) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maximum = 0;
  in >> magic >> image->width >> image->height >> maximum;
  in.get();
  if (!in || magic != "P6" || maximum != 255 || image->width <= 0 || image->height <= 0) return false;
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() != static_cast<std::size_t>(image->width * image->height * 3)) return false;
  image->pixels.resize(static_cast<std::size_t>(image->width * image->height));
  for (std::size_t i = 0; i < image->pixels.size(); ++i) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + i * 3);
    image->pixels[i] = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  return true;
}

std::optional<std::string> FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = hex.substr(i, 2);
    const long value = std::strtol(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return std::nullopt;
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

// How many pixels of each area differ between two looks of the same size.
std::vector<int> DifferingPixels(const Image& a, const Image& b) {
  std::vector<int> counts;
  for (const Area& area : kAreas) {
    int count = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
      for (int x = area.x; x < area.x + area.width; ++x) count += a.At(x, y) != b.At(x, y);
    }
    counts.push_back(count);
  }
  return counts;
}

// What differs from the reference, area by area; empty when the look matches.
std::string Differences(const std::optional<Image>& look, const Image& reference) {
  if (!look) return "the window is not viewable";
  if (look->width != reference.width || look->height != reference.height) {
    return "the window is " + std::to_string(look->width) + "x" + std::to_string(look->height) + ", not " +
           std::to_string(reference.width) + "x" + std::to_string(reference.height);
  }
  const std::vector<int> counts = DifferingPixels(*look, reference);
  std::string text;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] == 0) continue;
    text += std::string(text.empty() ? "" : ", ") + kAreas[i].name + " " + std::to_string(counts[i]) + " px";
  }
  return text.empty() ? text : text + " differ";
}

int Render(const std::string& out, const std::optional<std::string>& ssid) {
  velmor::test::HeadlessDesktop desktop;
  RegisterProgramResources();
  // No adapter at all: the dialog's own pass finds nothing and leaves the start-up state alone,
  // and nothing is sent anywhere.
  platform::net::SetNdisDevices(std::make_shared<velmor::test::FakeNdisDevices>());
  platform::net::SetAdapterSource(std::make_shared<velmor::test::FakeAdapterSource>());
  platform::net::SetWlanService(std::make_shared<velmor::test::FakeWlanService>());
  platform::net::SetChangeMonitorSource(std::make_shared<velmor::test::FakeChangeSource>());
  platform::shell::SetLauncher([](const std::vector<std::string>&) { return 0; });

  CVelmor_managerDlg dlg;
  velmor::test::WindowThread thread([&] { dlg.DoModal(); });
  const HWND hwnd = desktop.Host().WaitForShownWindow();
  if (hwnd == nullptr || !platform::kernel::WaitForAllThreads(20s)) {
    std::fprintf(stderr, "vm_window: the dialog did not come up\n");
    return 1;
  }
  const auto look = [&] {
    platform::ui::WaitUntilIdle(hwnd);
    const auto surface = platform::ui::WindowSurface(hwnd);
    return surface ? Image{surface->width, surface->height, surface->pixels} : Image{};
  };
  Image image = look();
  if (ssid && image.width > 0) {
    const Image disconnected = image;
    const std::u16string wide = platform::AnsiToWide(*ssid);
    platform::ui::CallOnWindowThread(hwnd, [&] {
      dlg.ShowSsid(wide.c_str());
      dlg.UpdateConnectionStatus(TRUE);
      return LRESULT{0};
    });
    image = look();
    // A connected reference that looked like the disconnected window in any area would let a
    // window that never changed pass.
    for (int count : DifferingPixels(image, disconnected)) {
      if (count == 0) image = Image{};
    }
  }
  const bool written = image.width > 0 && WritePpm(out, image);
  PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  thread.WaitFinished();
  platform::kernel::WaitForAllThreads(10s);
  if (!written) std::fprintf(stderr, "vm_window: no picture of that state for %s\n", out.c_str());
  return written ? 0 : 1;
}

int Wait(unsigned long window, const std::string& referencePath, long timeoutMs, const std::string& shotPath) {
  Image reference;
  if (!ReadPpm(referencePath, &reference)) {
    std::fprintf(stderr, "vm_window: cannot read %s\n", referencePath.c_str());
    return 2;
  }
  if (!OpenDisplay()) {
    std::fprintf(stderr, "vm_window: cannot open the display\n");
    return 2;
  }
  std::signal(SIGTERM, [](int) { g_stopped = 1; });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::optional<Image> look;
  std::string why;
  for (;;) {
    look = LookAtWindow(window);
    const auto seen = std::chrono::system_clock::now();
    why = Differences(look, reference);
    if (why.empty() || g_stopped || std::chrono::steady_clock::now() >= deadline) {
      if (look) WritePpm(shotPath, *look);
      if (!why.empty()) break;
      const auto us = std::chrono::duration_cast<std::chrono::microseconds>(seen.time_since_epoch()).count();
      std::printf("match %lld.%06lld\n", static_cast<long long>(us / 1000000), static_cast<long long>(us % 1000000));
      return 0;
    }
    std::this_thread::sleep_for(40ms);
  }
  std::printf("no match: %s\n", why.c_str());
  return 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: vm_window render OUT.ppm [SSID_HEX]\n"
               "       vm_window wait WINDOW REFERENCE.ppm TIMEOUT_MS SHOT.ppm\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args.size() <= 3 && args[0] == "render") {
    std::optional<std::string> ssid;
    if (args.size() == 3 && !(ssid = FromHex(args[2]))) return Usage();
    return Render(args[1], ssid);
  }
  if (args.size() == 5 && args[0] == "wait") {
    return Wait(std::stoul(args[1], nullptr, 0), args[2], std::stol(args[3]), args[4]);
  }
  return Usage();
}
