// A scripted adapter list for GetAdaptersInfo.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "tests/support/fake_net/scoped_backend.h"

namespace velmor::test {

class FakeAdapterSource final : public platform::net::AdapterSource {
 public:
  // An Ethernet-type adapter with the given first address (/24) and gateway; empty texts leave
  // them out.
  static platform::net::AdapterRecord Record(const std::string& name, DWORD index, const std::string& ipAddress = "",
                                             const std::string& gateway = "");

  // Adapters are listed in the order they were added. The short form numbers them 2, 3, ...
  void Add(platform::net::AdapterRecord record);
  void Add(const std::string& name, const std::string& ipAddress = "", const std::string& gateway = "");
  void Clear();
  // Every List gives this error from now on; ERROR_SUCCESS lifts it.
  void SetError(DWORD error);
  int ListCount() const;

  DWORD List(std::vector<platform::net::AdapterRecord>* adapters) override;

 private:
  mutable std::mutex mutex_;
  std::vector<platform::net::AdapterRecord> records_;
  DWORD error_ = ERROR_SUCCESS;
  int listCount_ = 0;
};

using ScopedAdapterSource = ScopedBackend<platform::net::AdapterSource, platform::net::SetAdapterSource>;

}  // namespace velmor::test
