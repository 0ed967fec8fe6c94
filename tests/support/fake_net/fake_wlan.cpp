#include "tests/support/fake_net/fake_wlan.h"

#include <algorithm>
#include <cstdlib>

namespace velmor::test {

// The service outlives its clients: the platform keeps it alive for as long as a client is open.
class FakeWlanService::Client final : public platform::net::WlanClient {
 public:
  explicit Client(FakeWlanService* service) : service_(service) {}
  DWORD EnumInterfaces(std::vector<platform::net::WlanInterfaceEntry>* interfaces) override {
    return service_->Enum(interfaces);
  }
  DWORD QueryCurrentConnection(std::string_view name, platform::net::WlanConnection* connection) override {
    return service_->Query(name, connection);
  }
  DWORD Close() override { return service_->CloseClient(); }

 private:
  FakeWlanService* service_;
};

FakeWlanService::Interface* FakeWlanService::Find(const std::string& name) {
  const auto it = std::find_if(interfaces_.begin(), interfaces_.end(),
                               [&](const Interface& interface) { return interface.name == name; });
  return it == interfaces_.end() ? nullptr : &*it;
}

void FakeWlanService::AddInterface(const std::string& name, const std::string& description) {
  std::lock_guard g(mutex_);
  interfaces_.push_back(Interface{name, description, std::nullopt, ERROR_SUCCESS});
}

void FakeWlanService::RemoveInterface(const std::string& name) {
  std::lock_guard g(mutex_);
  std::erase_if(interfaces_, [&](const Interface& interface) { return interface.name == name; });
}

void FakeWlanService::Associate(const std::string& name, const std::string& ssid) {
  std::lock_guard g(mutex_);
  if (Interface* interface = Find(name)) interface->ssid = ssid;
}

void FakeWlanService::Disassociate(const std::string& name) {
  std::lock_guard g(mutex_);
  if (Interface* interface = Find(name)) interface->ssid.reset();
}

void FakeWlanService::SetOpenError(DWORD error) {
  std::lock_guard g(mutex_);
  openError_ = error;
}

void FakeWlanService::SetEnumError(DWORD error) {
  std::lock_guard g(mutex_);
  enumError_ = error;
}

void FakeWlanService::SetQueryError(const std::string& name, DWORD error) {
  std::lock_guard g(mutex_);
  if (Interface* interface = Find(name)) interface->queryError = error;
}

void FakeWlanService::SetCloseError(DWORD error) {
  std::lock_guard g(mutex_);
  closeError_ = error;
}

int FakeWlanService::Opens() const {
  std::lock_guard g(mutex_);
  return opens_;
}

int FakeWlanService::Closes() const {
  std::lock_guard g(mutex_);
  return closes_;
}

int FakeWlanService::Allocations() const {
  std::lock_guard g(mutex_);
  return allocations_;
}

int FakeWlanService::Frees() const {
  std::lock_guard g(mutex_);
  return frees_;
}

int FakeWlanService::StrayFrees() const {
  std::lock_guard g(mutex_);
  return strayFrees_;
}

int FakeWlanService::EnumCount() const {
  std::lock_guard g(mutex_);
  return enumCount_;
}

int FakeWlanService::QueryCount(const std::string& name) const {
  std::lock_guard g(mutex_);
  const auto it = queryCounts_.find(name);
  return it == queryCounts_.end() ? 0 : it->second;
}

DWORD FakeWlanService::Open(std::unique_ptr<platform::net::WlanClient>* client) {
  std::lock_guard g(mutex_);
  if (openError_ != ERROR_SUCCESS) return openError_;
  ++opens_;
  *client = std::make_unique<Client>(this);
  return ERROR_SUCCESS;
}

void* FakeWlanService::Allocate(std::size_t size) {
  void* block = std::calloc(1, size);
  if (block == nullptr) return nullptr;
  std::lock_guard g(mutex_);
  ++allocations_;
  live_.insert(block);
  return block;
}

void FakeWlanService::Free(void* block) {
  {
    std::lock_guard g(mutex_);
    if (live_.erase(block) == 0) {
      ++strayFrees_;
      return;
    }
    ++frees_;
  }
  std::free(block);
}

DWORD FakeWlanService::Enum(std::vector<platform::net::WlanInterfaceEntry>* entries) {
  std::lock_guard g(mutex_);
  ++enumCount_;
  if (enumError_ != ERROR_SUCCESS) return enumError_;
  entries->clear();
  for (const Interface& interface : interfaces_) {
    entries->push_back({interface.name, interface.description, interface.ssid.has_value()});
  }
  return ERROR_SUCCESS;
}

DWORD FakeWlanService::Query(std::string_view name, platform::net::WlanConnection* connection) {
  std::lock_guard g(mutex_);
  ++queryCounts_[std::string(name)];
  Interface* interface = Find(std::string(name));
  if (interface == nullptr) return ERROR_NOT_FOUND;
  if (interface->queryError != ERROR_SUCCESS) return interface->queryError;
  if (!interface->ssid) return ERROR_INVALID_STATE;
  connection->ssid.assign(interface->ssid->begin(), interface->ssid->end());
  return ERROR_SUCCESS;
}

DWORD FakeWlanService::CloseClient() {
  std::lock_guard g(mutex_);
  ++closes_;
  return closeError_;
}

}  // namespace velmor::test
