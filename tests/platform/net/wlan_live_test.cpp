// The Wi-Fi backends against a real kernel's Wi-Fi stack, through the calls the program makes.
// Run where a station exists (the virtual machine stage does), with:
//   VELMOR_LIVE_IFACE         the station's network interface; without it every case is skipped
//   VELMOR_LIVE_SSID_HEX      the SSID the station is associated with, in lower-case hex; set but
//                             empty when it is not associated
//   VELMOR_LIVE_OTHER_IFACES  optional: other links of the namespace that are no Wi-Fi adapter
//                             (the radio's monitor link), separated by spaces
#include <net/if.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/kernel/handle.h"
#include "platform/net/device.h"
#include "platform/net/guid.h"
#include "platform/net/ndis.h"
#include "platform/net/wlanapi.h"

namespace {

class Live : public testing::Test {
 protected:
  void SetUp() override {
    const char* iface = std::getenv("VELMOR_LIVE_IFACE");
    if (iface == nullptr || *iface == '\0') GTEST_SKIP() << "VELMOR_LIVE_IFACE names no station";
    iface_ = iface;
    const char* hex = std::getenv("VELMOR_LIVE_SSID_HEX");
    ASSERT_NE(hex, nullptr) << "VELMOR_LIVE_SSID_HEX must be set (empty: not associated)";
    const std::string digits = hex;
    ASSERT_TRUE(digits.size() % 2 == 0 && digits.find_first_not_of("0123456789abcdef") == std::string::npos) << hex;
    for (std::size_t i = 0; i < digits.size(); i += 2) ssid_ += char(std::stoi(digits.substr(i, 2), nullptr, 16));
    associated_ = !ssid_.empty();
    const char* others = std::getenv("VELMOR_LIVE_OTHER_IFACES");
    std::istringstream names(others != nullptr ? others : "");
    for (std::string name; names >> name;) others_.push_back(name);
  }

  std::string iface_;
  std::string ssid_;
  bool associated_ = false;
  std::vector<std::string> others_;
};

struct WlanFree {
  void operator()(void* memory) const { WlanFreeMemory(memory); }
};
struct WlanClose {
  void operator()(void* client) const { WlanCloseHandle(client, nullptr); }
};

TEST_F(Live, TheWlanServiceListsTheStationWithItsStateAndReadsItsSsid) {
  HANDLE handle = nullptr;
  DWORD version = 0;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &handle), ERROR_SUCCESS);
  const std::unique_ptr<void, WlanClose> client(handle);

  PWLAN_INTERFACE_INFO_LIST raw = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(handle, nullptr, &raw), ERROR_SUCCESS);
  const std::unique_ptr<WLAN_INTERFACE_INFO_LIST, WlanFree> list(raw);
  const WLAN_INTERFACE_INFO* infos = list->InterfaceInfo;
  int listed = 0;
  for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
    const std::string name = platform::net::InterfaceNameFromGuid(infos[i].InterfaceGuid);
    EXPECT_NE(if_nametoindex(name.c_str()), 0u) << "listed without a network interface: '" << name << "'";
    if (name != iface_) continue;
    ++listed;
    EXPECT_EQ(infos[i].isState, associated_ ? wlan_interface_state_connected : wlan_interface_state_disconnected);
  }
  EXPECT_EQ(listed, 1);

  const GUID guid = platform::net::GuidFromInterfaceName(iface_);
  DWORD size = 0;
  PWLAN_CONNECTION_ATTRIBUTES answer = nullptr;
  const DWORD result = WlanQueryInterface(handle, &guid, wlan_intf_opcode_current_connection, nullptr, &size,
                                          reinterpret_cast<PVOID*>(&answer), nullptr);
  const std::unique_ptr<WLAN_CONNECTION_ATTRIBUTES, WlanFree> attributes(answer);
  if (!associated_) {
    EXPECT_EQ(result, ERROR_INVALID_STATE);
    return;
  }
  ASSERT_EQ(result, ERROR_SUCCESS);
  const DOT11_SSID& ssid = attributes->wlanAssociationAttributes.dot11Ssid;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ssid.ucSSID), ssid.uSSIDLength), ssid_);
}

// The driver's answer to one OID for one link, as QueryOID asks it.
DWORD Query(const std::string& name, DWORD oid, void* answer, DWORD size) {
  const std::u16string path = u"\\\\.\\" + std::u16string(name.begin(), name.end());
  const HANDLE device = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, INVALID_HANDLE_VALUE);
  if (device == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD returned = 0;
  const DWORD error = DeviceIoControl(device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, answer, size,
                                      &returned, nullptr)
                          ? ERROR_SUCCESS
                          : GetLastError();
  CloseHandle(device);
  return error;
}

TEST_F(Live, TheDriverAnswersMediumStateAndSsidForTheStationAndRefusesTheOtherLinks) {
  DWORD medium = 0;
  EXPECT_EQ(Query(iface_, OID_GEN_PHYSICAL_MEDIUM, &medium, sizeof medium), ERROR_SUCCESS);
  EXPECT_EQ(medium, NdisPhysicalMediumNative802_11);

  std::string operstate;
  std::ifstream("/sys/class/net/" + iface_ + "/operstate") >> operstate;
  DWORD state = 0xFFFF;
  EXPECT_EQ(Query(iface_, OID_GEN_MEDIA_CONNECT_STATUS, &state, sizeof state), ERROR_SUCCESS);
  EXPECT_EQ(state, associated_ && operstate == "up" ? NdisMediaStateConnected : NdisMediaStateDisconnected)
      << "operstate " << operstate;

  NDIS_802_11_SSID ssid;
  std::memset(&ssid, 0xEE, sizeof ssid);
  ASSERT_EQ(Query(iface_, OID_802_11_SSID, &ssid, sizeof ssid), ERROR_SUCCESS);
  ASSERT_LE(ssid.SsidLength, sizeof ssid.Ssid);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ssid.Ssid), ssid.SsidLength), ssid_);

  for (const std::string& other : others_) {
    EXPECT_EQ(Query(other, OID_GEN_PHYSICAL_MEDIUM, &medium, sizeof medium), ERROR_NOT_SUPPORTED) << other;
  }
}

}  // namespace
