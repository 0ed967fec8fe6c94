// Network backends that answer from a scenario file for the interfaces it lists, and leave every
// other interface to the backends they wrap. The file is read anew at every query, so replacing it
// changes the simulated Wi-Fi of a running program. One interface a line:
//
//   NAME MEDIUM STATE SSID
//
// MEDIUM is the number the physical-medium query answers (9, 1, 14, ...); STATE is `up` or `down`;
// SSID is the rest of the line after the blank that ends STATE, `\xNN` standing for the byte NN. An
// empty SSID, or a link that is down, is associated with no network. Lines starting with `#` say
// nothing. The drivers answer a listed interface's medium, state and (medium 1) SSID; the Wi-Fi
// service lists the medium-9 ones. Which interfaces exist, and the adapter list, are the machine's.
#pragma once

#include <memory>
#include <string>

#include "platform/net/ndis.h"
#include "platform/net/wlanapi.h"

namespace velmor::test {

class ScenarioNdisDevices final : public platform::net::NdisDevices {
 public:
  ScenarioNdisDevices(std::string path, std::shared_ptr<platform::net::NdisDevices> fallback)
      : path_(std::move(path)), fallback_(std::move(fallback)) {}
  bool Exists(std::string_view name) override { return fallback_->Exists(name); }
  DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) override;

 private:
  const std::string path_;
  const std::shared_ptr<platform::net::NdisDevices> fallback_;
};

// A client of the scenario's interfaces when it lists one of medium 9, else the wrapped service's.
class ScenarioWlanService final : public platform::net::WlanService {
 public:
  ScenarioWlanService(std::string path, std::shared_ptr<platform::net::WlanService> fallback)
      : path_(std::move(path)), fallback_(std::move(fallback)) {}
  DWORD Open(std::unique_ptr<platform::net::WlanClient>* client) override;

 private:
  const std::string path_;
  const std::shared_ptr<platform::net::WlanService> fallback_;
};

}  // namespace velmor::test
