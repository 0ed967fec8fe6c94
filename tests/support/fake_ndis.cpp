#include "tests/support/fake_ndis.h"

#include <cstring>

namespace velmor::test {
namespace {
std::vector<BYTE> DwordBytes(DWORD v) {
  std::vector<BYTE> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}
}  // namespace

void FakeNdisDevices::AddAdapter(const std::string& name) {
  std::lock_guard g(mutex_);
  adapters_[name];
}

void FakeNdisDevices::RemoveAdapter(const std::string& name) {
  std::lock_guard g(mutex_);
  adapters_.erase(name);
}

void FakeNdisDevices::SetAnswer(const std::string& name, DWORD oid, Answer answer) {
  std::lock_guard g(mutex_);
  adapters_[name][oid] = std::move(answer);
}

void FakeNdisDevices::SetError(const std::string& name, DWORD oid, DWORD error) {
  SetAnswer(name, oid, Answer{error, {}});
}

void FakeNdisDevices::SetMedium(const std::string& name, DWORD medium) {
  SetAnswer(name, OID_GEN_PHYSICAL_MEDIUM, Answer{ERROR_SUCCESS, DwordBytes(medium)});
}

void FakeNdisDevices::SetConnectStatus(const std::string& name, DWORD status) {
  SetAnswer(name, OID_GEN_MEDIA_CONNECT_STATUS, Answer{ERROR_SUCCESS, DwordBytes(status)});
}

void FakeNdisDevices::SetSsid(const std::string& name, const std::string& ssid) {
  SetSsidRecord(name, static_cast<ULONG>(ssid.size()), ssid);
}

void FakeNdisDevices::SetSsidRecord(const std::string& name, ULONG length, const std::string& bytes) {
  NDIS_802_11_SSID record{};
  record.SsidLength = length;
  std::memcpy(record.Ssid, bytes.data(), bytes.size() < sizeof record.Ssid ? bytes.size() : sizeof record.Ssid);
  std::vector<BYTE> raw(sizeof record);
  std::memcpy(raw.data(), &record, sizeof record);
  SetAnswer(name, OID_802_11_SSID, Answer{ERROR_SUCCESS, std::move(raw)});
}

int FakeNdisDevices::QueryCount(const std::string& name, DWORD oid) const {
  std::lock_guard g(mutex_);
  auto it = counts_.find({name, oid});
  return it == counts_.end() ? 0 : it->second;
}

bool FakeNdisDevices::Exists(std::string_view name) {
  std::lock_guard g(mutex_);
  return adapters_.find(name) != adapters_.end();
}

void FakeNdisDevices::SetQueryHook(std::function<void(const std::string&, DWORD)> hook) {
  std::lock_guard g(mutex_);
  hook_ = std::move(hook);
}

DWORD FakeNdisDevices::Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) {
  std::function<void(const std::string&, DWORD)> hook;
  {
    std::lock_guard g(mutex_);
    hook = hook_;
  }
  if (hook) hook(std::string(name), oid);
  std::lock_guard g(mutex_);
  *written = 0;
  auto adapter = adapters_.find(name);
  if (adapter == adapters_.end()) return ERROR_FILE_NOT_FOUND;
  ++counts_[{std::string(name), oid}];
  auto it = adapter->second.find(oid);
  if (it == adapter->second.end()) return ERROR_NOT_SUPPORTED;
  const Answer& a = it->second;
  if (a.error != ERROR_SUCCESS) return a.error;
  if (a.bytes.size() > answer.size()) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(answer.data(), a.bytes.data(), a.bytes.size());
  *written = static_cast<DWORD>(a.bytes.size());
  return ERROR_SUCCESS;
}

}  // namespace velmor::test
