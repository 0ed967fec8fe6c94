// A scripted Wi-Fi service.
#pragma once

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/wlanapi.h"

namespace velmor::test {

class FakeWlanService final : public platform::net::WlanService, public std::enable_shared_from_this<FakeWlanService> {
 public:
  // Interfaces are listed in the order they were added, not associated at first.
  void AddInterface(const std::string& name) {
    std::lock_guard g(mutex_);
    interfaces_.emplace_back(name, std::nullopt);
  }
  // The SSID exactly as given, any bytes; nothing: not associated.
  void Associate(const std::string& name, const std::optional<std::string>& ssid) {
    std::lock_guard g(mutex_);
    for (auto& [interface, associated] : interfaces_) {
      if (interface == name) associated = ssid;
    }
  }
  std::atomic<DWORD> openError = ERROR_SUCCESS;

  DWORD Open(std::unique_ptr<platform::net::WlanClient>* client) override {
    if (openError == ERROR_SUCCESS) *client = std::make_unique<Client>(shared_from_this());
    return openError;
  }
  void* Allocate(std::size_t size) override { return std::calloc(1, size); }
  void Free(void* block) override { std::free(block); }

 private:
  class Client final : public platform::net::WlanClient {
   public:
    explicit Client(std::shared_ptr<FakeWlanService> service) : service_(std::move(service)) {}
    DWORD EnumInterfaces(std::vector<platform::net::WlanInterfaceEntry>* entries) override {
      std::lock_guard g(service_->mutex_);
      for (const auto& [name, ssid] : service_->interfaces_) entries->push_back({name, name, ssid.has_value()});
      return ERROR_SUCCESS;
    }
    DWORD QueryCurrentConnection(std::string_view name, platform::net::WlanConnection* connection) override {
      std::lock_guard g(service_->mutex_);
      for (const auto& [interface, ssid] : service_->interfaces_) {
        if (interface != name) continue;
        if (ssid) connection->ssid.assign(ssid->begin(), ssid->end());
        return ssid ? ERROR_SUCCESS : ERROR_INVALID_STATE;
      }
      return ERROR_NOT_FOUND;
    }
    DWORD Close() override { return ERROR_SUCCESS; }

   private:
    std::shared_ptr<FakeWlanService> service_;
  };

  std::mutex mutex_;
  std::vector<std::pair<std::string, std::optional<std::string>>> interfaces_;
};

}  // namespace velmor::test
