// Scripted adapter drivers: which adapters exist and what each OID query answers.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/ndis.h"

namespace velmor::test {

class FakeNdisDevices final : public platform::net::NdisDevices {
 public:
  // An adapter whose driver answers no OID until one is set.
  void AddAdapter(const std::string& name) { Set(name, 0, {}); }
  void SetMedium(const std::string& name, DWORD medium) { Set(name, OID_GEN_PHYSICAL_MEDIUM, Bytes(medium)); }
  void SetConnectStatus(const std::string& name, DWORD status) { Set(name, OID_GEN_MEDIA_CONNECT_STATUS, Bytes(status)); }
  // An OID_802_11_SSID answer: the SSID's length and its bytes, up to 32 of them.
  void SetSsid(const std::string& name, const std::string& ssid) {
    NDIS_802_11_SSID record{static_cast<ULONG>(ssid.size()), {}};
    std::memcpy(record.Ssid, ssid.data(), std::min(ssid.size(), sizeof record.Ssid));
    Set(name, OID_802_11_SSID, Bytes(record));
  }
  int QueryCount(const std::string& name, DWORD oid) const {
    std::lock_guard g(mutex_);
    return counts_.contains({name, oid}) ? counts_.at({name, oid}) : 0;
  }
  // Runs before every query, outside the fake's lock, on the querying thread: a test can hold a
  // pass there.
  void SetQueryHook(std::function<void(const std::string& name, DWORD oid)> hook) {
    std::lock_guard g(mutex_);
    hook_ = std::move(hook);
  }

  bool Exists(std::string_view name) override {
    std::lock_guard g(mutex_);
    return answers_.contains(std::make_pair(std::string(name), DWORD{0}));
  }
  DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) override {
    std::unique_lock g(mutex_);
    if (const auto hook = hook_) {
      g.unlock();
      hook(std::string(name), oid);
      g.lock();
    }
    *written = 0;
    const std::pair<std::string, DWORD> key(name, oid);
    if (!answers_.contains({key.first, 0})) return ERROR_FILE_NOT_FOUND;
    ++counts_[key];
    if (!answers_.contains(key)) return ERROR_NOT_SUPPORTED;
    const std::vector<BYTE>& bytes = answers_.at(key);
    if (bytes.size() > answer.size()) return ERROR_INSUFFICIENT_BUFFER;
    *written = static_cast<DWORD>(std::copy(bytes.begin(), bytes.end(), answer.begin()) - answer.begin());
    return ERROR_SUCCESS;
  }

 private:
  template <class T>
  static std::vector<BYTE> Bytes(const T& value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(bytes, bytes + sizeof value);
  }
  // The answers by adapter and OID; OID 0 marks that the adapter exists.
  void Set(const std::string& name, DWORD oid, std::vector<BYTE> bytes) {
    std::lock_guard g(mutex_);
    answers_[{name, 0}];
    answers_[{name, oid}] = std::move(bytes);
  }

  mutable std::mutex mutex_;
  std::map<std::pair<std::string, DWORD>, std::vector<BYTE>> answers_;
  std::map<std::pair<std::string, DWORD>, int> counts_;
  std::function<void(const std::string&, DWORD)> hook_;
};

}  // namespace velmor::test
