// Scripted adapter drivers: which adapters exist and what each OID query answers.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/ndis.h"

namespace velmor::test {

class FakeNdisDevices final : public platform::net::NdisDevices {
 public:
  // An adapter whose driver answers no OID until one is set.
  void AddAdapter(const std::string& name) {
    std::lock_guard g(mutex_);
    answers_[name];
  }
  void SetMedium(const std::string& name, DWORD medium) { Set(name, OID_GEN_PHYSICAL_MEDIUM, medium); }
  void SetConnectStatus(const std::string& name, DWORD status) { Set(name, OID_GEN_MEDIA_CONNECT_STATUS, status); }
  // An OID_802_11_SSID answer: the SSID's length and its bytes, up to 32 of them.
  void SetSsid(const std::string& name, const std::string& ssid) {
    NDIS_802_11_SSID record{static_cast<ULONG>(ssid.size()), {}};
    std::memcpy(record.Ssid, ssid.data(), std::min(ssid.size(), sizeof record.Ssid));
    Set(name, OID_802_11_SSID, record);
  }
  int QueryCount(const std::string& name, DWORD oid) const {
    std::lock_guard g(mutex_);
    const auto found = counts_.find({name, oid});
    return found != counts_.end() ? found->second : 0;
  }
  // Runs before every query, outside the fake's lock, on the querying thread: a test can hold a
  // pass there.
  void SetQueryHook(std::function<void(const std::string& name, DWORD oid)> hook) {
    std::lock_guard g(mutex_);
    hook_ = std::move(hook);
  }

  bool Exists(std::string_view name) override {
    std::lock_guard g(mutex_);
    return answers_.contains(name);
  }
  DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) override {
    std::unique_lock g(mutex_);
    if (const auto hook = hook_) {
      g.unlock();
      hook(std::string(name), oid);
      g.lock();
    }
    *written = 0;
    const auto adapter = answers_.find(name);
    if (adapter == answers_.end()) return ERROR_FILE_NOT_FOUND;
    ++counts_[{std::string(name), oid}];
    const auto found = adapter->second.find(oid);
    if (found == adapter->second.end()) return ERROR_NOT_SUPPORTED;
    if (found->second.size() > answer.size()) return ERROR_INSUFFICIENT_BUFFER;
    *written = static_cast<DWORD>(std::ranges::copy(found->second, answer.begin()).out - answer.begin());
    return ERROR_SUCCESS;
  }

 private:
  template <class T>
  void Set(const std::string& name, DWORD oid, const T& value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    std::lock_guard g(mutex_);
    answers_[name][oid].assign(bytes, bytes + sizeof value);
  }

  mutable std::mutex mutex_;
  std::map<std::string, std::map<DWORD, std::vector<BYTE>>, std::less<>> answers_;  // by adapter, OID
  std::map<std::pair<std::string, DWORD>, int> counts_;
  std::function<void(const std::string&, DWORD)> hook_;
};

}  // namespace velmor::test
