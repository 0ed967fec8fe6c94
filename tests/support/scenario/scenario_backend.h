// Network backends that answer from a scenario file (tests/support/scenario/scenario.h) for the
// interfaces it lists, and leave every other interface to the backends they wrap. The file is
// read anew at every query, so rewriting it changes the simulated Wi-Fi of a running program.
//
// For a listed interface:
//   OID_GEN_PHYSICAL_MEDIUM       its MEDIUM; ERROR_NOT_SUPPORTED for `fail`;
//   OID_GEN_MEDIA_CONNECT_STATUS  0 (connected) for `up`, 1 for `down`;
//   OID_802_11_SSID               with medium 1, its SSID (length 0 while not associated); with
//                                 any other medium ERROR_NOT_SUPPORTED;
//   the Wi-Fi service             lists it with medium 9 only, and answers its SSID as the current
//                                 connection while it is associated (ERROR_INVALID_STATE while
//                                 not); with any other medium it does not know it.
// Whether an interface exists, and the adapter list, are always the wrapped backends' answers.
#pragma once

#include <memory>
#include <string>

#include "platform/net/ndis.h"
#include "platform/net/wlanapi.h"

namespace velmor::test {

class ScenarioNdisDevices final : public platform::net::NdisDevices {
 public:
  ScenarioNdisDevices(std::string path, std::shared_ptr<platform::net::NdisDevices> fallback);

  bool Exists(std::string_view name) override;
  DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) override;

 private:
  const std::string path_;
  const std::shared_ptr<platform::net::NdisDevices> fallback_;
};

class ScenarioWlanService final : public platform::net::WlanService {
 public:
  ScenarioWlanService(std::string path, std::shared_ptr<platform::net::WlanService> fallback);

  // A client even when the wrapped service has none to give, as long as the scenario lists a
  // medium-9 interface; otherwise the wrapped service's answer.
  DWORD Open(std::unique_ptr<platform::net::WlanClient>* client) override;

 private:
  const std::string path_;
  const std::shared_ptr<platform::net::WlanService> fallback_;
};

}  // namespace velmor::test
