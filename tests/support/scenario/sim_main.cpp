// velmor-manager-sim: the program over a simulated Wi-Fi, for the end-to-end test and the
// benchmarks. The file named by VELMOR_SIM_SCENARIO, read at start, lists interfaces one a line:
//
//   NAME MEDIUM STATE SSID
//
// MEDIUM is what the physical-medium query answers (9: native Wi-Fi, which the Wi-Fi service then
// lists too); STATE is `up` or `down`; SSID is the rest of the line, the network a link that is up
// is associated with. The adapter list is the machine's; an interface the file does not list has
// no driver to ask.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/start_up.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_wlan.h"

int main() {
  const char* path = std::getenv("VELMOR_SIM_SCENARIO");
  auto ndis = std::make_shared<velmor::test::FakeNdisDevices>();
  auto wlan = std::make_shared<velmor::test::FakeWlanService>();
  NetworkBackends backends{nullptr, ndis, nullptr};
  std::ifstream file(path ? path : "");
  for (std::string line; std::getline(file, line);) {
    std::istringstream fields(line);
    std::string name, state, ssid;
    DWORD medium = 0;
    if (!(fields >> name >> medium >> state)) continue;
    if (state == "up") std::getline(fields >> std::ws, ssid);
    ndis->SetMedium(name, medium);
    ndis->SetConnectStatus(name, state == "up" ? NdisMediaStateConnected : NdisMediaStateDisconnected);
    if (medium != NdisPhysicalMediumNative802_11) continue;
    wlan->AddInterface(name);
    if (!ssid.empty()) wlan->Associate(name, ssid);
    backends.wlan = wlan;
  }
  return RunVelmorManager(backends);
}
