// The Wi-Fi service (Native Wi-Fi API): clients, the interface list and the current connection.
//
// On Linux the service is nl80211. An interface is a wireless network interface; its GUID
// carries the interface name (platform/net/guid.h). In the interface list a station is connected
// when the kernel names an SSID for it (NL80211_CMD_GET_INTERFACE) or its link is running. Its
// current connection's SSID is the one named for the interface, else the one in the information
// elements of the BSS the scan results (NL80211_CMD_GET_SCAN) mark as associated; only that query
// reads the scan results, so nothing wrong with them keeps an interface out of the list.
//
// Memory the service returns stays valid until WlanFreeMemory, even past WlanCloseHandle.
// WlanFreeMemory ignores pointers it did not hand out, so a stray or second free does nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"
#include "platform/net/guid.h"

using PHANDLE = HANDLE*;
using PDWORD = DWORD*;

inline constexpr std::size_t WLAN_MAX_NAME_LENGTH = 256;
inline constexpr std::size_t DOT11_SSID_MAX_LENGTH = 32;

enum WLAN_INTERFACE_STATE : int {
  wlan_interface_state_not_ready = 0,
  wlan_interface_state_connected = 1,
  wlan_interface_state_ad_hoc_network_formed = 2,
  wlan_interface_state_disconnecting = 3,
  wlan_interface_state_disconnected = 4,
  wlan_interface_state_associating = 5,
  wlan_interface_state_discovering = 6,
  wlan_interface_state_authenticating = 7,
};

enum WLAN_CONNECTION_MODE : int {
  wlan_connection_mode_profile = 0,
  wlan_connection_mode_temporary_profile = 1,
  wlan_connection_mode_discovery_secure = 2,
  wlan_connection_mode_discovery_unsecure = 3,
  wlan_connection_mode_auto = 4,
  wlan_connection_mode_invalid = 5,
};

enum DOT11_BSS_TYPE : int {
  dot11_BSS_type_infrastructure = 1,
  dot11_BSS_type_independent = 2,
  dot11_BSS_type_any = 3,
};

enum DOT11_PHY_TYPE : int {
  dot11_phy_type_unknown = 0,
  dot11_phy_type_any = 0,
};

enum DOT11_AUTH_ALGORITHM : int {
  DOT11_AUTH_ALGO_80211_OPEN = 1,
};

enum DOT11_CIPHER_ALGORITHM : int {
  DOT11_CIPHER_ALGO_NONE = 0,
};

enum WLAN_INTF_OPCODE : int {
  wlan_intf_opcode_autoconf_start = 0,
  wlan_intf_opcode_autoconf_enabled = 1,
  wlan_intf_opcode_background_scan_enabled = 2,
  wlan_intf_opcode_media_streaming_mode = 3,
  wlan_intf_opcode_radio_state = 4,
  wlan_intf_opcode_bss_type = 5,
  wlan_intf_opcode_interface_state = 6,
  wlan_intf_opcode_current_connection = 7,
};

enum WLAN_OPCODE_VALUE_TYPE : int {
  wlan_opcode_value_type_query_only = 0,
  wlan_opcode_value_type_set_by_group_policy = 1,
  wlan_opcode_value_type_set_by_user = 2,
  wlan_opcode_value_type_invalid = 3,
};
using PWLAN_OPCODE_VALUE_TYPE = WLAN_OPCODE_VALUE_TYPE*;

using WLAN_SIGNAL_QUALITY = ULONG;
using DOT11_MAC_ADDRESS = UCHAR[6];

struct WLAN_INTERFACE_INFO {
  GUID InterfaceGuid;
  WCHAR strInterfaceDescription[WLAN_MAX_NAME_LENGTH];
  WLAN_INTERFACE_STATE isState;
};
using PWLAN_INTERFACE_INFO = WLAN_INTERFACE_INFO*;

// InterfaceInfo holds dwNumberOfItems entries; the block is allocated to that size.
struct WLAN_INTERFACE_INFO_LIST {
  DWORD dwNumberOfItems;
  DWORD dwIndex;
  WLAN_INTERFACE_INFO InterfaceInfo[1];
};
using PWLAN_INTERFACE_INFO_LIST = WLAN_INTERFACE_INFO_LIST*;

struct DOT11_SSID {
  ULONG uSSIDLength;
  UCHAR ucSSID[DOT11_SSID_MAX_LENGTH];
};

struct WLAN_ASSOCIATION_ATTRIBUTES {
  DOT11_SSID dot11Ssid;
  DOT11_BSS_TYPE dot11BssType;
  DOT11_MAC_ADDRESS dot11Bssid;
  DOT11_PHY_TYPE dot11PhyType;
  ULONG uDot11PhyIndex;
  WLAN_SIGNAL_QUALITY wlanSignalQuality;
  ULONG ulRxRate;
  ULONG ulTxRate;
};

struct WLAN_SECURITY_ATTRIBUTES {
  BOOL bSecurityEnabled;
  BOOL bOneXEnabled;
  DOT11_AUTH_ALGORITHM dot11AuthAlgorithm;
  DOT11_CIPHER_ALGORITHM dot11CipherAlgorithm;
};

struct WLAN_CONNECTION_ATTRIBUTES {
  WLAN_INTERFACE_STATE isState;
  WLAN_CONNECTION_MODE wlanConnectionMode;
  WCHAR strProfileName[WLAN_MAX_NAME_LENGTH];
  WLAN_ASSOCIATION_ATTRIBUTES wlanAssociationAttributes;
  WLAN_SECURITY_ATTRIBUTES wlanSecurityAttributes;
};
using PWLAN_CONNECTION_ATTRIBUTES = WLAN_CONNECTION_ATTRIBUTES*;

// Opens a client of the service. Client versions 1 and 2 are known; the negotiated version is
// the client's. ERROR_SERVICE_NOT_ACTIVE when the service cannot be reached (no nl80211 here).
DWORD WlanOpenHandle(DWORD clientVersion, PVOID reserved, PDWORD negotiatedVersion, PHANDLE clientHandle);
DWORD WlanCloseHandle(HANDLE clientHandle, PVOID reserved);
DWORD WlanEnumInterfaces(HANDLE clientHandle, PVOID reserved, PWLAN_INTERFACE_INFO_LIST* interfaceList);
// Only wlan_intf_opcode_current_connection is answered (ERROR_NOT_SUPPORTED otherwise). An
// interface that is not connected gives ERROR_INVALID_STATE, one that does not exist
// ERROR_NOT_FOUND.
DWORD WlanQueryInterface(HANDLE clientHandle, const GUID* interfaceGuid, WLAN_INTF_OPCODE opCode, PVOID reserved,
                         PDWORD dataSize, PVOID* data, PWLAN_OPCODE_VALUE_TYPE opcodeValueType);
void WlanFreeMemory(PVOID memory);

namespace platform::net {

// One wireless interface as a backend lists it.
struct WlanInterfaceEntry {
  std::string name;  // the interface name; it becomes the GUID
  std::string description;
  bool connected = false;
};

// The current connection of a connected interface.
struct WlanConnection {
  std::vector<BYTE> ssid;  // at most 32 bytes
};

// One open client. Its owner calls Close() once; destroying it without that must still release
// whatever it holds.
class WlanClient {
 public:
  virtual ~WlanClient() = default;
  virtual DWORD EnumInterfaces(std::vector<WlanInterfaceEntry>* interfaces) = 0;
  virtual DWORD QueryCurrentConnection(std::string_view name, WlanConnection* connection) = 0;
  virtual DWORD Close() = 0;
};

class WlanService {
 public:
  virtual ~WlanService() = default;
  // A new client, or why there is none.
  virtual DWORD Open(std::unique_ptr<WlanClient>* client) = 0;
  // The memory that WlanEnumInterfaces and WlanQueryInterface hand out: zero-filled, aligned for
  // any of the structures above. Free gets each block once.
  virtual void* Allocate(std::size_t size);
  virtual void Free(void* block);
};

// nl80211 over generic netlink, in the network namespace of the calling thread.
class LinuxWlanService final : public WlanService {
 public:
  DWORD Open(std::unique_ptr<WlanClient>* client) override;
};

// The backend in force; the Linux one unless the executable or a test chose another. Clients and
// memory stay with the backend that made them.
std::shared_ptr<WlanService> CurrentWlanService();
void SetWlanService(std::shared_ptr<WlanService> service);

}  // namespace platform::net
