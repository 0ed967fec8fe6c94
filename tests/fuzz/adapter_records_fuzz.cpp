// Feeds arbitrary adapter records to GetAdaptersInfo, with arbitrary buffer sizes.
//
// The input is: four bytes of buffer size (as the caller claims it), then records separated by
// 0xFF bytes, each split into its fields (name, description, address, IP, mask, gateway) at 0xFE
// bytes. The buffer is exactly as large as claimed, so a write past it is caught. The chain that
// comes back must be well formed and every text in it terminated within its field.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"

namespace {

class FuzzSource final : public platform::net::AdapterSource {
 public:
  std::vector<platform::net::AdapterRecord> records;
  DWORD List(std::vector<platform::net::AdapterRecord>* adapters) override {
    *adapters = records;
    return ERROR_SUCCESS;
  }
};

std::vector<std::string_view> Split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t end = text.find(at);
    parts.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return parts;
    text.remove_prefix(end + 1);
  }
}

template <std::size_t N>
void CheckTerminated(const char (&field)[N]) {
  if (std::memchr(field, 0, N) == nullptr) __builtin_trap();
}

void CheckAddress(const IP_ADDR_STRING& entry) {
  CheckTerminated(entry.IpAddress.String);
  CheckTerminated(entry.IpMask.String);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t claimed = 0;
  std::memcpy(&claimed, data, 4);
  claimed %= 64 * 1024;
  const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);

  auto source = std::make_shared<FuzzSource>();
  DWORD index = 1;
  for (const std::string_view record : Split(text, '\xFF')) {
    const std::vector<std::string_view> f = Split(record, '\xFE');
    platform::net::AdapterRecord r;
    r.name = f[0];
    if (f.size() > 1) r.description = f[1];
    if (f.size() > 2) r.address.assign(f[2].begin(), f[2].end());
    if (f.size() > 3) r.ipAddress = f[3];
    if (f.size() > 4) r.ipMask = f[4];
    if (f.size() > 5) r.gateway = f[5];
    r.index = index++;
    r.type = static_cast<UINT>(record.size());
    source->records.push_back(std::move(r));
  }
  const std::size_t count = source->records.size();
  platform::net::SetAdapterSource(source);

  std::unique_ptr<std::uint8_t[]> buffer(claimed > 0 ? new std::uint8_t[claimed] : nullptr);
  ULONG length = claimed;
  const ULONG result = GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.get()), &length);
  if (result == ERROR_BUFFER_OVERFLOW) {
    if (length <= claimed && buffer) __builtin_trap();
    if (length != count * sizeof(IP_ADAPTER_INFO)) __builtin_trap();
  } else if (result == ERROR_SUCCESS) {
    if (claimed < count * sizeof(IP_ADAPTER_INFO)) __builtin_trap();
    std::size_t seen = 0;
    for (auto* info = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.get()); info != nullptr; info = info->Next) {
      if (++seen > count) __builtin_trap();
      CheckTerminated(info->AdapterName);
      CheckTerminated(info->Description);
      if (info->AddressLength > MAX_ADAPTER_ADDRESS_LENGTH) __builtin_trap();
      CheckAddress(info->IpAddressList);
      CheckAddress(info->GatewayList);
      if (info->IpAddressList.Next != nullptr || info->GatewayList.Next != nullptr) __builtin_trap();
    }
    if (seen != count) __builtin_trap();
  } else {
    __builtin_trap();  // records are always there, so nothing else may come back
  }
  platform::net::SetAdapterSource(nullptr);
  return 0;
}
