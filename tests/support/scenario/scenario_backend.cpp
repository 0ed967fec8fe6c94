#include "tests/support/scenario/scenario_backend.h"

#include <algorithm>
#include <cstring>

#include "platform/base/errors.h"
#include "tests/support/scenario/scenario.h"

namespace velmor::test {
namespace {

DWORD PutDword(DWORD value, std::span<BYTE> answer, DWORD* written) {
  if (answer.size() < sizeof value) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(answer.data(), &value, sizeof value);
  *written = sizeof value;
  return ERROR_SUCCESS;
}

DWORD PutSsid(const ScenarioInterface& interface, std::span<BYTE> answer, DWORD* written) {
  if (answer.size() < sizeof(NDIS_802_11_SSID)) return ERROR_INSUFFICIENT_BUFFER;
  NDIS_802_11_SSID record{};
  if (interface.Associated()) {
    record.SsidLength = static_cast<ULONG>(interface.ssid.size());
    std::memcpy(record.Ssid, interface.ssid.data(), interface.ssid.size());
  }
  std::memcpy(answer.data(), &record, sizeof record);
  *written = sizeof record;
  return ERROR_SUCCESS;
}

bool ServedByWlan(const ScenarioInterface& interface) {
  return interface.medium == std::optional<std::uint32_t>(NdisPhysicalMediumNative802_11);
}

class ScenarioWlanClient final : public platform::net::WlanClient {
 public:
  ScenarioWlanClient(const std::string& path, std::unique_ptr<platform::net::WlanClient> fallback)
      : path_(path), fallback_(std::move(fallback)) {}

  DWORD EnumInterfaces(std::vector<platform::net::WlanInterfaceEntry>* entries) override {
    entries->clear();
    const Scenario scenario = Scenario::Load(path_);
    if (fallback_) {
      std::vector<platform::net::WlanInterfaceEntry> others;
      if (const DWORD error = fallback_->EnumInterfaces(&others); error != ERROR_SUCCESS) return error;
      for (platform::net::WlanInterfaceEntry& entry : others) {
        if (!scenario.Find(entry.name)) entries->push_back(std::move(entry));
      }
    }
    for (const ScenarioInterface& interface : scenario.interfaces()) {
      if (!ServedByWlan(interface)) continue;
      platform::net::WlanInterfaceEntry entry;
      entry.name = interface.name;
      entry.description = interface.name + " (scenario)";
      entry.connected = interface.Associated();
      entries->push_back(std::move(entry));
    }
    return ERROR_SUCCESS;
  }

  DWORD QueryCurrentConnection(std::string_view name, platform::net::WlanConnection* connection) override {
    const Scenario scenario = Scenario::Load(path_);
    if (const ScenarioInterface* interface = scenario.Find(name)) {
      if (!ServedByWlan(*interface)) return ERROR_NOT_FOUND;
      if (!interface->Associated()) return ERROR_INVALID_STATE;
      connection->ssid.assign(interface->ssid.begin(), interface->ssid.end());
      return ERROR_SUCCESS;
    }
    return fallback_ ? fallback_->QueryCurrentConnection(name, connection) : ERROR_NOT_FOUND;
  }

  DWORD Close() override { return fallback_ ? fallback_->Close() : ERROR_SUCCESS; }

 private:
  const std::string path_;
  const std::unique_ptr<platform::net::WlanClient> fallback_;
};

}  // namespace

ScenarioNdisDevices::ScenarioNdisDevices(std::string path, std::shared_ptr<platform::net::NdisDevices> fallback)
    : path_(std::move(path)), fallback_(std::move(fallback)) {}

bool ScenarioNdisDevices::Exists(std::string_view name) { return fallback_->Exists(name); }

DWORD ScenarioNdisDevices::Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) {
  const Scenario scenario = Scenario::Load(path_);
  const ScenarioInterface* interface = scenario.Find(name);
  if (!interface) return fallback_->Query(name, oid, answer, written);
  *written = 0;
  switch (oid) {
    case OID_GEN_PHYSICAL_MEDIUM:
      return interface->medium ? PutDword(*interface->medium, answer, written) : ERROR_NOT_SUPPORTED;
    case OID_GEN_MEDIA_CONNECT_STATUS:
      return PutDword(interface->up ? NdisMediaStateConnected : NdisMediaStateDisconnected, answer, written);
    case OID_802_11_SSID:
      if (interface->medium != std::optional<std::uint32_t>(NdisPhysicalMediumWirelessLan)) return ERROR_NOT_SUPPORTED;
      return PutSsid(*interface, answer, written);
    default:
      return ERROR_NOT_SUPPORTED;
  }
}

ScenarioWlanService::ScenarioWlanService(std::string path, std::shared_ptr<platform::net::WlanService> fallback)
    : path_(std::move(path)), fallback_(std::move(fallback)) {}

DWORD ScenarioWlanService::Open(std::unique_ptr<platform::net::WlanClient>* client) {
  client->reset();
  std::unique_ptr<platform::net::WlanClient> inner;
  const DWORD error = fallback_->Open(&inner);
  if (error != ERROR_SUCCESS) {
    inner.reset();
    const Scenario scenario = Scenario::Load(path_);
    if (std::none_of(scenario.interfaces().begin(), scenario.interfaces().end(), ServedByWlan)) return error;
  }
  *client = std::make_unique<ScenarioWlanClient>(path_, std::move(inner));
  return ERROR_SUCCESS;
}

}  // namespace velmor::test
