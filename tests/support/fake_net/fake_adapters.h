// A scripted adapter list for GetAdaptersInfo.
#pragma once

#include <atomic>
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
                        static_cast<DWORD>(records_.size() + 2), MIB_IF_TYPE_ETHERNET, {}, ipAddress,
                        ipAddress.empty() ? "" : "255.255.255.0", gateway, false});
  }
  void Clear() {
    std::lock_guard g(mutex_);
    records_.clear();
  }
  // Every List gives this error from now on; ERROR_SUCCESS lifts it.
  void SetError(DWORD error) { error_ = error; }

  DWORD List(std::vector<platform::net::AdapterRecord>* adapters) override {
    std::lock_guard g(mutex_);
    *adapters = error_ == ERROR_SUCCESS ? records_ : std::vector<platform::net::AdapterRecord>{};
    return error_;
  }

 private:
  std::mutex mutex_;
  std::vector<platform::net::AdapterRecord> records_;
  std::atomic<DWORD> error_ = ERROR_SUCCESS;
};

}  // namespace velmor::test
