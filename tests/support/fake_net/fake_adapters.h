// A scripted adapter list for GetAdaptersInfo.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"

namespace velmor::test {

class FakeAdapterSource final : public platform::net::AdapterSource {
 public:
  // An Ethernet-type adapter with its first address (/24) and gateway, empty for none, listed in
  // the order added and numbered 2, 3, ...; its description is "NAME (fake)" unless given.
  void Add(const std::string& name, const std::string& ipAddress = "", const std::string& gateway = "",
           const std::string& description = "") {
    std::lock_guard g(mutex_);
    records_.push_back({name, description.empty() ? name + " (fake)" : description,
                        static_cast<DWORD>(records_.size() + 2), ipAddress, ipAddress.empty() ? "" : "255.255.255.0",
                        gateway});
  }
  void Clear() {
    std::lock_guard g(mutex_);
    records_.clear();
  }
  DWORD List(std::vector<platform::net::AdapterRecord>* adapters) override {
    std::lock_guard g(mutex_);
    *adapters = records_;
    return ERROR_SUCCESS;
  }

 private:
  std::mutex mutex_;
  std::vector<platform::net::AdapterRecord> records_;
};

}  // namespace velmor::test
