#include <algorithm>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "platform/base/errors.h"
#include "platform/base/service.h"
#include "platform/net/iphlpapi.h"

namespace platform::net {
namespace {

// Copies text into a fixed field, cut to leave room for the terminating zero.
template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), n, field);
  field[n] = '\0';
}

// An address cut short would be another address; one that does not fit is left out instead.
template <std::size_t N>
void CopyAddress(char (&field)[N], std::string_view text) {
  CopyText(field, text.size() < N ? text : std::string_view());
}

void FillAddress(IP_ADDR_STRING& entry, std::string_view address, std::string_view mask) {
  entry.Next = nullptr;
  CopyAddress(entry.IpAddress.String, address);
  CopyAddress(entry.IpMask.String, mask);
}

void FillRecord(IP_ADAPTER_INFO& info, const AdapterRecord& record) {
  CopyText(info.AdapterName, record.name);
  CopyText(info.Description, record.description);
  if (record.ipAddress.empty()) {
    FillAddress(info.IpAddressList, "0.0.0.0", "0.0.0.0");
  } else {
    FillAddress(info.IpAddressList, record.ipAddress, record.ipMask.empty() ? "0.0.0.0" : record.ipMask);
  }
  FillAddress(info.GatewayList, record.gateway, record.gateway.empty() ? "" : "255.255.255.255");
}

constinit Service<AdapterSource> g_source(
    []() -> std::shared_ptr<AdapterSource> { return std::make_shared<LinuxAdapterSource>(); });

}  // namespace

std::shared_ptr<AdapterSource> CurrentAdapterSource() { return g_source.Get(); }

void SetAdapterSource(std::shared_ptr<AdapterSource> source) { g_source.Set(std::move(source)); }

}  // namespace platform::net

ULONG GetAdaptersInfo(PIP_ADAPTER_INFO adapterInfo, PULONG outBufLen) {
  using namespace platform::net;
  if (outBufLen == nullptr) return ERROR_INVALID_PARAMETER;

  std::vector<AdapterRecord> records;
  const DWORD error = CurrentAdapterSource()->List(&records);
  if (error != ERROR_SUCCESS) return error;
  if (records.empty()) return ERROR_NO_DATA;

  constexpr std::size_t kMaxRecords = std::numeric_limits<ULONG>::max() / sizeof(IP_ADAPTER_INFO);
  if (records.size() > kMaxRecords) return ERROR_NOT_ENOUGH_MEMORY;
  const ULONG needed = static_cast<ULONG>(records.size() * sizeof(IP_ADAPTER_INFO));
  if (adapterInfo == nullptr || *outBufLen < needed) {
    *outBufLen = needed;
    return ERROR_BUFFER_OVERFLOW;
  }

  const std::span<IP_ADAPTER_INFO> infos(adapterInfo, records.size());
  std::memset(infos.data(), 0, infos.size_bytes());
  for (std::size_t i = 0; i < records.size(); ++i) {
    FillRecord(infos[i], records[i]);
    infos[i].Next = i + 1 < records.size() ? &infos[i + 1] : nullptr;
  }
  return ERROR_SUCCESS;
}
