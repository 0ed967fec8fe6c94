// The Wi-Fi service API over the scripted service, GUID texts, and the Linux service on a machine
// without nl80211.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/base/errors.h"
#include "platform/kernel/handle.h"
#include "platform/net/guid.h"
#include "platform/net/wlanapi.h"
#include "tests/support/fake_net/fake_wlan.h"

namespace {

using platform::net::GuidFromInterfaceName;
using velmor::test::FakeWlanService;
using velmor::test::ScopedWlanService;

std::string GuidText(const GUID& guid, int room = 39) {
  WCHAR text[64] = {};
  const int n = StringFromGUID2(guid, text, room);
  return n == 0 ? "<failed>" : std::string(text, text + n - 1);
}

GUID RawGuid(const char (&bytes)[17]) {
  GUID guid;
  std::memcpy(&guid, bytes, sizeof guid);
  return guid;
}

TEST(Guid, CarriesTheInterfaceNameAsItsText) {
  EXPECT_EQ(GuidText(GuidFromInterfaceName("wlan0")), "wlan0");
  EXPECT_EQ(GuidText(GuidFromInterfaceName("wlp0s20f3abcdef")), "wlp0s20f3abcdef");  // 15 bytes, the most
  WCHAR text[8] = {};
  EXPECT_EQ(StringFromGUID2(GuidFromInterfaceName("wlan0"), text, 6), 6);  // counts the zero
  EXPECT_EQ(StringFromGUID2(GuidFromInterfaceName("wlan0"), text, 5), 0);  // no room for it
  EXPECT_EQ(StringFromGUID2(GuidFromInterfaceName("wlan0"), nullptr, 39), 0);
}

TEST(Guid, AGuidThatCarriesNoNameHasNoText) {
  EXPECT_EQ(GuidText(GUID{}), "<failed>");
  EXPECT_EQ(GuidText(GuidFromInterfaceName("")), "<failed>");
  EXPECT_EQ(GuidText(GuidFromInterfaceName("has space")), "<failed>");
  EXPECT_EQ(GuidText(GuidFromInterfaceName("sixteen-bytes-xx")), "<failed>");
  EXPECT_EQ(GuidText(RawGuid("wlan0\0\0\0\0\0\0\0\0\0\0x")), "<failed>");  // bytes after the name
  EXPECT_EQ(GuidText(RawGuid("0123456789abcdef")), "<failed>");            // no terminator
}

class WlanApi : public testing::Test {
 protected:
  void SetUp() override { baseHandles_ = platform::kernel::OpenHandleCount(); }
  void TearDown() override {
    EXPECT_EQ(fake_->Opens(), fake_->Closes());
    EXPECT_EQ(fake_->Allocations(), fake_->Frees());
    EXPECT_EQ(fake_->StrayFrees(), 0);
    EXPECT_EQ(platform::kernel::OpenHandleCount(), baseHandles_);
  }

  HANDLE Open() {
    HANDLE client = nullptr;
    DWORD version = 0;
    EXPECT_EQ(WlanOpenHandle(2, nullptr, &version, &client), ERROR_SUCCESS);
    EXPECT_EQ(version, 2u);
    return client;
  }

  std::shared_ptr<FakeWlanService> fake_ = std::make_shared<FakeWlanService>();
  ScopedWlanService scope_{fake_};
  std::size_t baseHandles_ = 0;
};

TEST_F(WlanApi, ListsTheInterfacesWithTheirNamesAsGuids) {
  fake_->AddInterface("wlan0", "wlan0 (iwlwifi)");
  fake_->AddInterface("wlx001122", "wlx001122 (rtl8xxxu)");
  fake_->Associate("wlx001122", "cafe");
  HANDLE client = Open();
  PWLAN_INTERFACE_INFO_LIST list = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_SUCCESS);
  ASSERT_EQ(list->dwNumberOfItems, 2u);
  const WLAN_INTERFACE_INFO* infos = list->InterfaceInfo;
  EXPECT_EQ(GuidText(infos[0].InterfaceGuid), "wlan0");
  EXPECT_EQ(std::u16string(infos[0].strInterfaceDescription), u"wlan0 (iwlwifi)");
  EXPECT_EQ(infos[0].isState, wlan_interface_state_disconnected);
  EXPECT_EQ(GuidText(infos[1].InterfaceGuid), "wlx001122");
  EXPECT_EQ(infos[1].isState, wlan_interface_state_connected);
  WlanFreeMemory(list);
  EXPECT_EQ(WlanCloseHandle(client, nullptr), ERROR_SUCCESS);
}

TEST_F(WlanApi, TheCurrentConnectionCarriesTheSsid) {
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", std::string("a\0b", 3));
  HANDLE client = Open();
  const GUID guid = GuidFromInterfaceName("wlan0");
  DWORD size = 0;
  PWLAN_CONNECTION_ATTRIBUTES attributes = nullptr;
  WLAN_OPCODE_VALUE_TYPE valueType = wlan_opcode_value_type_invalid;
  ASSERT_EQ(WlanQueryInterface(client, &guid, wlan_intf_opcode_current_connection, nullptr, &size,
                               reinterpret_cast<PVOID*>(&attributes), &valueType),
            ERROR_SUCCESS);
  EXPECT_EQ(size, sizeof(WLAN_CONNECTION_ATTRIBUTES));
  EXPECT_EQ(valueType, wlan_opcode_value_type_query_only);
  EXPECT_EQ(attributes->isState, wlan_interface_state_connected);
  const DOT11_SSID& ssid = attributes->wlanAssociationAttributes.dot11Ssid;
  ASSERT_EQ(ssid.uSSIDLength, 3u);
  EXPECT_EQ(std::string(ssid.ucSSID, ssid.ucSSID + 3), std::string("a\0b", 3));
  // What the service returned outlives the client.
  WlanCloseHandle(client, nullptr);
  EXPECT_EQ(ssid.ucSSID[0], 'a');
  WlanFreeMemory(attributes);
}

struct QueryCase {
  const char* what;
  const char* interfaceName;  // the GUID asked for
  WLAN_INTF_OPCODE opCode;
  DWORD expected;
  int backendQueries;
};

class WlanQueryFailure : public WlanApi, public testing::WithParamInterface<QueryCase> {};

TEST_P(WlanQueryFailure, GivesNoMemory) {
  fake_->AddInterface("wlan0");
  fake_->AddInterface("wlan1");
  fake_->Associate("wlan1", "x");
  fake_->SetQueryError("wlan1", ERROR_NOT_READY);
  fake_->AddInterface("wlan2");
  fake_->Associate("wlan2", std::string(33, 'y'));  // more than any SSID can be
  HANDLE client = Open();
  const GUID guid = GuidFromInterfaceName(GetParam().interfaceName);
  DWORD size = 0;
  PVOID data = reinterpret_cast<PVOID>(1);
  EXPECT_EQ(WlanQueryInterface(client, &guid, GetParam().opCode, nullptr, &size, &data, nullptr), GetParam().expected);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(fake_->QueryCount(GetParam().interfaceName), GetParam().backendQueries);
  EXPECT_EQ(fake_->Allocations(), 0);
  WlanCloseHandle(client, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WlanQueryFailure,
    testing::Values(QueryCase{"not_associated", "wlan0", wlan_intf_opcode_current_connection, ERROR_INVALID_STATE, 1},
                    QueryCase{"scripted_error", "wlan1", wlan_intf_opcode_current_connection, ERROR_NOT_READY, 1},
                    QueryCase{"ssid_too_long", "wlan2", wlan_intf_opcode_current_connection, ERROR_GEN_FAILURE, 1},
                    QueryCase{"no_such_interface", "wlan9", wlan_intf_opcode_current_connection, ERROR_NOT_FOUND, 1},
                    QueryCase{"guid_without_a_name", "", wlan_intf_opcode_current_connection, ERROR_NOT_FOUND, 0},
                    QueryCase{"other_opcode", "wlan0", wlan_intf_opcode_radio_state, ERROR_NOT_SUPPORTED, 0}),
    [](const testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.what); });

TEST_F(WlanApi, ScriptedErrorsComeBackFromEachCall) {
  fake_->SetOpenError(ERROR_SERVICE_NOT_ACTIVE);
  HANDLE client = reinterpret_cast<HANDLE>(1);
  DWORD version = 0;
  EXPECT_EQ(WlanOpenHandle(2, nullptr, &version, &client), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(fake_->Opens(), 0);
  fake_->SetOpenError(ERROR_SUCCESS);

  client = Open();
  fake_->SetEnumError(ERROR_NOT_ENOUGH_MEMORY);
  PWLAN_INTERFACE_INFO_LIST list = reinterpret_cast<PWLAN_INTERFACE_INFO_LIST>(1);
  EXPECT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(list, nullptr);

  // A close that reports an error still ends the client.
  fake_->SetCloseError(ERROR_GEN_FAILURE);
  EXPECT_EQ(WlanCloseHandle(client, nullptr), ERROR_GEN_FAILURE);
  EXPECT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_INVALID_HANDLE);
}

TEST_F(WlanApi, RefusesUnknownVersionsAndClosedHandles) {
  HANDLE client = nullptr;
  DWORD version = 0;
  EXPECT_EQ(WlanOpenHandle(3, nullptr, &version, &client), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(fake_->Opens(), 0);
  client = Open();
  EXPECT_EQ(WlanCloseHandle(client, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(WlanCloseHandle(client, nullptr), ERROR_INVALID_HANDLE);
  PWLAN_INTERFACE_INFO_LIST list = nullptr;
  EXPECT_EQ(WlanEnumInterfaces(INVALID_HANDLE_VALUE, nullptr, &list), ERROR_INVALID_HANDLE);
}

TEST_F(WlanApi, FreeingWhatWasNotHandedOutDoesNothing) {
  HANDLE client = Open();
  PWLAN_INTERFACE_INFO_LIST list = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_SUCCESS);
  WlanFreeMemory(list);
  WlanFreeMemory(list);  // a second free
  int local = 0;
  WlanFreeMemory(&local);
  WlanFreeMemory(nullptr);
  WlanCloseHandle(client, nullptr);
  EXPECT_EQ(fake_->Frees(), 1);
}

TEST_F(WlanApi, ClientsAndMemoryStayWithTheServiceThatMadeThem) {
  HANDLE client = Open();
  auto other = std::make_shared<FakeWlanService>();
  other->AddInterface("other0");
  platform::net::SetWlanService(other);
  PWLAN_INTERFACE_INFO_LIST list = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_SUCCESS);
  EXPECT_EQ(list->dwNumberOfItems, 0u);  // the first service's (empty) list
  platform::net::SetWlanService(fake_);
  WlanFreeMemory(list);
  WlanCloseHandle(client, nullptr);
  EXPECT_EQ(other->Opens() + other->Allocations(), 0);
}

std::size_t OpenFdCount() {
  std::size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

// This machine has no nl80211: the service is "not running", and asking again and again leaves
// nothing behind.
TEST(LinuxWlanService, WithoutNl80211TheServiceIsNotActiveAndNothingLeaks) {
  platform::net::SetWlanService(nullptr);
  const std::size_t fds = OpenFdCount();
  const std::size_t handles = platform::kernel::OpenHandleCount();
  for (int i = 0; i < 20; ++i) {
    HANDLE client = reinterpret_cast<HANDLE>(1);
    DWORD version = 0;
    const DWORD result = WlanOpenHandle(2, nullptr, &version, &client);
    if (result == ERROR_SUCCESS) {
      WlanCloseHandle(client, nullptr);
      GTEST_SKIP() << "this machine has nl80211";
    }
    ASSERT_EQ(result, ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(client, nullptr);
  }
  EXPECT_EQ(OpenFdCount(), fds);
  EXPECT_EQ(platform::kernel::OpenHandleCount(), handles);
}

}  // namespace
