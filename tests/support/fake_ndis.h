// Scripted adapter drivers: which adapters exist and what each OID query answers.
#pragma once

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
  struct Answer {
    DWORD error = ERROR_SUCCESS;
    std::vector<BYTE> bytes;  // written at the start of the caller's buffer
  };

  void AddAdapter(const std::string& name);
  void RemoveAdapter(const std::string& name);
  void SetAnswer(const std::string& name, DWORD oid, Answer answer);
  void SetError(const std::string& name, DWORD oid, DWORD error);
  void SetMedium(const std::string& name, DWORD medium);
  void SetConnectStatus(const std::string& name, DWORD status);
  // An OID_802_11_SSID answer: the length field and up to 32 SSID bytes.
  void SetSsid(const std::string& name, const std::string& ssid);
  void SetSsidRecord(const std::string& name, ULONG length, const std::string& bytes);

  // How many queries reached an adapter, per OID.
  int QueryCount(const std::string& name, DWORD oid) const;
  // Runs before every query (outside the fake's lock), on the querying thread: a test can hold
  // a pass there.
  void SetQueryHook(std::function<void(const std::string& name, DWORD oid)> hook);

  bool Exists(std::string_view name) override;
  DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) override;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::map<DWORD, Answer>, std::less<>> adapters_;
  std::map<std::pair<std::string, DWORD>, int> counts_;
  std::function<void(const std::string&, DWORD)> hook_;
};

}  // namespace velmor::test
