// velmor-manager-sim: the program over a simulated Wi-Fi, for the end-to-end tests and the
// benchmarks. The interfaces listed in the file named by VELMOR_SIM_SCENARIO answer from it
// (scenario_backend.h); without the variable the program runs as velmor-manager does.
#include <cstdlib>
#include <memory>

#include "app/start_up.h"
#include "tests/support/scenario/scenario_backend.h"

int main() {
  NetworkBackends backends;
  if (const char* path = std::getenv("VELMOR_SIM_SCENARIO"); path != nullptr && *path != '\0') {
    backends.ndis = std::make_shared<velmor::test::ScenarioNdisDevices>(path, std::make_shared<platform::net::LinuxNdisDevices>());
    backends.wlan = std::make_shared<velmor::test::ScenarioWlanService>(path, std::make_shared<platform::net::LinuxWlanService>());
  }
  return RunVelmorManager("velmor-manager-sim", backends);
}
