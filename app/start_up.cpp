#include "app/start_up.h"

#include <clocale>
#include <cstdio>
#include <string>

#include "app/velmor_manager.h"
#include "platform/host/x11/x11_host.h"
#include "platform/inet/internet.h"
#include "res/program_resources.h"

// The one application object of the process.
CVelmor_managerApp theApp;

int RunVelmorManager(const char* programName, const NetworkBackends& backends) {
  // Byte texts from the system (adapter names, SSIDs) are in the locale's codeset.
  std::setlocale(LC_ALL, "");
  platform::inet::InitializeInternet();
  RegisterProgramResources();
  if (backends.adapters) platform::net::SetAdapterSource(backends.adapters);
  if (backends.ndis) platform::net::SetNdisDevices(backends.ndis);
  if (backends.wlan) platform::net::SetWlanService(backends.wlan);

  std::string error;
  std::shared_ptr<platform::host::X11Host> host = platform::host::X11Host::Open({}, &error);
  if (!host) {
    std::fprintf(stderr, "%s: cannot show a window: %s\n", programName, error.c_str());
    return 1;
  }
  platform::host::Install(host);
  return AfxWinMain();
}
