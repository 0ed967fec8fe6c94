// The adapter list: GetAdaptersInfo and its records.
//
// On Linux an adapter is a network link other than the loopback, listed in ascending order of
// the interface index:
//   AdapterName   the interface name ("wlp3s0");
//   Description   the interface name and its driver ("wlp3s0 (iwlwifi)"), or the name alone when
//                 the link has no driver to name;
//   IpAddressList the link's first IPv4 address and its mask, "0.0.0.0" for both when it has none;
//   GatewayList   the gateway of the IPv4 default route through the link with the lowest metric,
//                 main routing table only. With no such route the text is empty, not "0.0.0.0":
//                 here 0.0.0.0 reaches this very host, and a caller that connects to the gateway
//                 must not end up there.
// Each list holds one entry; Next of every IP_ADDR_STRING is null. The record holds only what the
// program reads of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"

inline constexpr std::size_t MAX_ADAPTER_NAME_LENGTH = 256;
inline constexpr std::size_t MAX_ADAPTER_DESCRIPTION_LENGTH = 128;

struct IP_ADDRESS_STRING {
  char String[4 * 4];
};
using IP_MASK_STRING = IP_ADDRESS_STRING;

struct IP_ADDR_STRING {
  IP_ADDR_STRING* Next;
  IP_ADDRESS_STRING IpAddress;
  IP_MASK_STRING IpMask;
};

struct IP_ADAPTER_INFO {
  IP_ADAPTER_INFO* Next;
  char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
  char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
  IP_ADDR_STRING IpAddressList;
  IP_ADDR_STRING GatewayList;
};
using PIP_ADAPTER_INFO = IP_ADAPTER_INFO*;
using PULONG = ULONG*;

// Fills `adapterInfo` with one record per adapter, chained through Next, and returns
// ERROR_SUCCESS. ERROR_BUFFER_OVERFLOW with the size needed in *outBufLen when the buffer is null
// or smaller than that; ERROR_NO_DATA when there is no adapter; ERROR_INVALID_PARAMETER when
// outBufLen is null; the backend's error when the list cannot be read.
ULONG GetAdaptersInfo(PIP_ADAPTER_INFO adapterInfo, PULONG outBufLen);

namespace platform::net {

// One adapter as a backend sees it. Names and descriptions longer than their record fields are cut
// there; an address text that does not fit is left out.
struct AdapterRecord {
  std::string name;
  std::string description;
  DWORD index = 0;        // the interface index: the list's order
  std::string ipAddress;  // dotted IPv4, empty for none
  std::string ipMask;     // dotted IPv4, empty for none
  std::string gateway;    // dotted IPv4, empty for none
};

class AdapterSource {
 public:
  virtual ~AdapterSource() = default;
  // The adapters in the order GetAdaptersInfo lists them; ERROR_SUCCESS or why they cannot be
  // read.
  virtual DWORD List(std::vector<AdapterRecord>* adapters) = 0;
};

// Reads links, addresses and routes over rtnetlink, in the network namespace of the calling
// thread.
class LinuxAdapterSource final : public AdapterSource {
 public:
  DWORD List(std::vector<AdapterRecord>* adapters) override;
};

// The backend in force; the Linux one unless the executable or a test chose another.
std::shared_ptr<AdapterSource> CurrentAdapterSource();
void SetAdapterSource(std::shared_ptr<AdapterSource> source);

}  // namespace platform::net
