// Adapter drivers as the program asks them: the NDIS device of an adapter and its OID queries.
//
// On Linux an adapter's "device" is its network interface, named by the interface name. The
// answers come from a backend: the Linux one reads the kernel's view of the interface, and tests
// put in one of their own.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "platform/base/types.h"

inline constexpr DWORD OID_GEN_PHYSICAL_MEDIUM = 0x00010202;
inline constexpr DWORD OID_GEN_MEDIA_CONNECT_STATUS = 0x00010114;
inline constexpr DWORD OID_802_11_SSID = 0x0D010102;

inline constexpr DWORD IOCTL_NDIS_QUERY_GLOBAL_STATS = 0x00170002;

enum NDIS_PHYSICAL_MEDIUM : DWORD {
  NdisPhysicalMediumUnspecified = 0,
  NdisPhysicalMediumWirelessLan = 1,
  NdisPhysicalMediumNative802_11 = 9,
  NdisPhysicalMedium802_3 = 14,
};

enum NDIS_MEDIA_STATE : DWORD {
  NdisMediaStateConnected = 0,
  NdisMediaStateDisconnected = 1,
};

inline constexpr std::size_t NDIS_802_11_LENGTH_SSID = 32;

struct NDIS_802_11_SSID {
  ULONG SsidLength;
  UCHAR Ssid[NDIS_802_11_LENGTH_SSID];
};
static_assert(sizeof(NDIS_802_11_SSID) == 36);

namespace platform::net {

class NdisDevices {
 public:
  virtual ~NdisDevices() = default;
  // Whether an adapter of this name exists now.
  virtual bool Exists(std::string_view name) = 0;
  // Writes the answer to `oid` at the start of `answer` and its length to *written; returns
  // ERROR_SUCCESS, or the error the driver gives (ERROR_NOT_SUPPORTED for an OID it does not
  // know, ERROR_INSUFFICIENT_BUFFER when the answer does not fit, ERROR_FILE_NOT_FOUND when the
  // adapter has gone). Bytes of `answer` past the answer are left as they are.
  virtual DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) = 0;
};

// The Linux backend:
//   OID_GEN_PHYSICAL_MEDIUM: 9 with a cfg80211 driver (/sys/class/net/NAME/phy80211), 1 with only
//     wireless extensions (.../wireless), 14 for any other Ethernet-type link, else not supported;
//   OID_GEN_MEDIA_CONNECT_STATUS: 0 when the operstate is up (or unknown with carrier), else 1;
//   OID_802_11_SSID: the SIOCGIWESSID answer.
class LinuxNdisDevices final : public NdisDevices {
 public:
  bool Exists(std::string_view name) override;
  DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) override;
};

// The backend in force; the Linux one unless the executable or a test chose another.
std::shared_ptr<NdisDevices> CurrentNdisDevices();
void SetNdisDevices(std::shared_ptr<NdisDevices> devices);

// Interface names are at most 15 bytes of anything but '/', NUL and white space; anything else
// never names an adapter (and never reaches a path).
bool IsValidInterfaceName(std::string_view name);

}  // namespace platform::net
