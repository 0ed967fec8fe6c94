// A scripted Wi-Fi service: its interfaces, their associations, an error for every call, and
// counts of what was opened, closed, allocated and freed.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/wlanapi.h"
#include "tests/support/fake_net/scoped_backend.h"

namespace velmor::test {

class FakeWlanService final : public platform::net::WlanService {
 public:
  // Interfaces are listed in the order they were added, not connected at first.
  void AddInterface(const std::string& name, const std::string& description = "");
  void RemoveInterface(const std::string& name);
  // The SSID exactly as given: any bytes, zero bytes and more than 32 of them included.
  void Associate(const std::string& name, const std::string& ssid);
  void Disassociate(const std::string& name);

  // Errors the calls give from now on; ERROR_SUCCESS lifts them.
  void SetOpenError(DWORD error);
  void SetEnumError(DWORD error);
  void SetQueryError(const std::string& name, DWORD error);
  void SetCloseError(DWORD error);

  int Opens() const;       // clients opened
  int Closes() const;      // clients closed
  int Allocations() const;
  int Frees() const;       // frees of blocks this service handed out
  int StrayFrees() const;  // frees of anything else, a second free of a block included
  int EnumCount() const;
  int QueryCount(const std::string& name) const;

  DWORD Open(std::unique_ptr<platform::net::WlanClient>* client) override;
  void* Allocate(std::size_t size) override;
  void Free(void* block) override;

 private:
  class Client;
  struct Interface {
    std::string name;
    std::string description;
    std::optional<std::string> ssid;
    DWORD queryError = ERROR_SUCCESS;
  };
  Interface* Find(const std::string& name);
  DWORD Enum(std::vector<platform::net::WlanInterfaceEntry>* entries);
  DWORD Query(std::string_view name, platform::net::WlanConnection* connection);
  DWORD CloseClient();

  mutable std::mutex mutex_;
  std::vector<Interface> interfaces_;
  DWORD openError_ = ERROR_SUCCESS;
  DWORD enumError_ = ERROR_SUCCESS;
  DWORD closeError_ = ERROR_SUCCESS;
  int opens_ = 0;
  int closes_ = 0;
  int allocations_ = 0;
  int frees_ = 0;
  int strayFrees_ = 0;
  int enumCount_ = 0;
  std::map<std::string, int> queryCounts_;
  std::set<void*> live_;
};

using ScopedWlanService = ScopedBackend<platform::net::WlanService, platform::net::SetWlanService>;

}  // namespace velmor::test
