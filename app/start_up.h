// The program's start-up outside the application object: the locale, the HTTP client, the
// resources, the X display. Every executable of the program runs it from its main.
#pragma once

#include <memory>

#include "platform/net/iphlpapi.h"
#include "platform/net/ndis.h"
#include "platform/net/wlanapi.h"

// The network backends the program asks; each one left empty is the Linux one.
struct NetworkBackends {
  std::shared_ptr<platform::net::AdapterSource> adapters;
  std::shared_ptr<platform::net::NdisDevices> ndis;
  std::shared_ptr<platform::net::WlanService> wlan;
};

// Runs the program to its end on these backends; returns the process's exit status.
int RunVelmorManager(const NetworkBackends& backends);
