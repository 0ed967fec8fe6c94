#include "tests/support/fake_net/fake_adapters.h"

namespace velmor::test {

platform::net::AdapterRecord FakeAdapterSource::Record(const std::string& name, DWORD index,
                                                       const std::string& ipAddress, const std::string& gateway) {
  platform::net::AdapterRecord record;
  record.name = name;
  record.description = name + " (fake)";
  record.index = index;
  record.type = MIB_IF_TYPE_ETHERNET;
  record.address = {0x02, 0x00, 0x00, 0x00, 0x00, static_cast<BYTE>(index)};
  record.ipAddress = ipAddress;
  record.ipMask = ipAddress.empty() ? "" : "255.255.255.0";
  record.gateway = gateway;
  return record;
}

void FakeAdapterSource::Add(platform::net::AdapterRecord record) {
  std::lock_guard g(mutex_);
  records_.push_back(std::move(record));
}

void FakeAdapterSource::Add(const std::string& name, const std::string& ipAddress, const std::string& gateway) {
  std::lock_guard g(mutex_);
  records_.push_back(Record(name, static_cast<DWORD>(records_.size() + 2), ipAddress, gateway));
}

void FakeAdapterSource::Clear() {
  std::lock_guard g(mutex_);
  records_.clear();
}

void FakeAdapterSource::SetError(DWORD error) {
  std::lock_guard g(mutex_);
  error_ = error;
}

int FakeAdapterSource::ListCount() const {
  std::lock_guard g(mutex_);
  return listCount_;
}

DWORD FakeAdapterSource::List(std::vector<platform::net::AdapterRecord>* adapters) {
  std::lock_guard g(mutex_);
  ++listCount_;
  adapters->clear();
  if (error_ != ERROR_SUCCESS) return error_;
  *adapters = records_;
  return ERROR_SUCCESS;
}

}  // namespace velmor::test
