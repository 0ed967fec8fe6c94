#include "tests/support/scenario/scenario_backend.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_wlan.h"

namespace velmor::test {
namespace {

// The interfaces the file lists now, as scripted drivers and a scripted Wi-Fi service.
struct Scenario {
  std::shared_ptr<FakeNdisDevices> ndis = std::make_shared<FakeNdisDevices>();
  std::shared_ptr<FakeWlanService> wlan = std::make_shared<FakeWlanService>();
  bool servesWlan = false;

  explicit Scenario(const std::string& path) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
      std::istringstream fields(line);
      std::string name, state, text, ssid;
      DWORD medium = 0;
      if (line.starts_with('#') || !(fields >> name >> medium >> state)) continue;
      if (fields.get() == ' ' && state == "up") std::getline(fields, text);
      for (std::size_t i = 0; i < text.size(); ++i) {
        const bool escape = text.compare(i, 2, "\\x") == 0 && i + 3 < text.size();
        ssid += escape ? static_cast<char>(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16)) : text[i];
        i += escape ? 3 : 0;
      }
      ndis->SetMedium(name, medium);
      ndis->SetConnectStatus(name, state == "up" ? NdisMediaStateConnected : NdisMediaStateDisconnected);
      if (medium == NdisPhysicalMediumWirelessLan) ndis->SetSsid(name, ssid);
      if (medium != NdisPhysicalMediumNative802_11) continue;
      wlan->AddInterface(name);
      if (!ssid.empty()) wlan->Associate(name, ssid);
      servesWlan = true;
    }
  }
};

}  // namespace

DWORD ScenarioNdisDevices::Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) {
  const Scenario scenario(path_);
  return (scenario.ndis->Exists(name) ? *scenario.ndis : *fallback_).Query(name, oid, answer, written);
}

DWORD ScenarioWlanService::Open(std::unique_ptr<platform::net::WlanClient>* client) {
  const Scenario scenario(path_);
  return scenario.servesWlan ? scenario.wlan->Open(client) : fallback_->Open(client);
}

}  // namespace velmor::test
