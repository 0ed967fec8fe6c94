// velmor-manager-sim: the program over a simulated Wi-Fi, for end-to-end tests and the demo.
//
// The adapter list, addresses and routes are the machine's. The medium, connect-state and SSID
// answers of the interfaces listed in the file named by VELMOR_SIM_SCENARIO come from that file,
// read again at every query (tests/support/scenario/scenario.h); all other interfaces answer as
// on Linux. Without the variable the program runs as velmor-manager does.
#include <cstdlib>
#include <memory>
#include <string>

#include "app/start_up.h"
#include "tests/support/scenario/scenario_backend.h"

int main() {
  NetworkBackends backends;
  if (const char* path = std::getenv("VELMOR_SIM_SCENARIO"); path != nullptr && *path != '\0') {
    backends.ndis = std::make_shared<velmor::test::ScenarioNdisDevices>(
        path, std::make_shared<platform::net::LinuxNdisDevices>());
    backends.wlan = std::make_shared<velmor::test::ScenarioWlanService>(
        path, std::make_shared<platform::net::LinuxWlanService>());
  }
  return RunVelmorManager("velmor-manager-sim", backends);
}
