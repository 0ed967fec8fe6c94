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

TEST(Guid, CarriesAnInterfaceNameAsItsTextAndNothingElse) {
  EXPECT_EQ(GuidText(GuidFromInterfaceName("wlan0")), "wlan0");
  EXPECT_EQ(GuidText(GuidFromInterfaceName("wlp0s20f3abcdef")), "wlp0s20f3abcdef");  // 15 bytes, the most
  WCHAR text[8] = {};
  EXPECT_EQ(StringFromGUID2(GuidFromInterfaceName("wlan0"), text, 6), 6);  // counts the zero
  EXPECT_EQ(StringFromGUID2(GuidFromInterfaceName("wlan0"), text, 5), 0);  // no room for it
  EXPECT_EQ(StringFromGUID2(GuidFromInterfaceName("wlan0"), nullptr, 39), 0);
  const std::pair<const char*, GUID> noName[] = {
      {"zero", GUID{}},
      {"empty name", GuidFromInterfaceName("")},
      {"blank in the name", GuidFromInterfaceName("has space")},
      {"16 bytes", GuidFromInterfaceName("sixteen-bytes-xx")},
      {"bytes after the name", RawGuid("wlan0\0\0\0\0\0\0\0\0\0\0x")},
      {"no terminator", RawGuid("0123456789abcdef")},
  };
  for (const auto& [what, guid] : noName) EXPECT_EQ(GuidText(guid), "<failed>") << what;
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

// Listing and querying as the program does are checked with the program's probe
// (query_wlan_ssid_test); here the memory rules around them.
TEST_F(WlanApi, MemoryOutlivesItsClientAndOnlyWhatWasHandedOutIsFreed) {
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", "abc");
  HANDLE client = Open();
  PWLAN_INTERFACE_INFO_LIST list = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_SUCCESS);
  const GUID guid = list->InterfaceInfo[0].InterfaceGuid;
  DWORD size = 0;
  PWLAN_CONNECTION_ATTRIBUTES attributes = nullptr;
  ASSERT_EQ(WlanQueryInterface(client, &guid, wlan_intf_opcode_current_connection, nullptr, &size,
                               reinterpret_cast<PVOID*>(&attributes), nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(WlanCloseHandle(client, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(attributes->wlanAssociationAttributes.dot11Ssid.ucSSID[0], 'a');
  EXPECT_EQ(GuidText(list->InterfaceInfo[0].InterfaceGuid), "wlan0");
  WlanFreeMemory(attributes);
  WlanFreeMemory(list);
  WlanFreeMemory(list);  // a second free
  int local = 0;
  WlanFreeMemory(&local);
  WlanFreeMemory(nullptr);
  EXPECT_EQ(fake_->Frees(), 2);
}

TEST_F(WlanApi, FailedQueriesHandBackNoMemory) {
  fake_->AddInterface("wlan0");
  fake_->AddInterface("wlan1");
  fake_->Associate("wlan1", "x");
  fake_->SetQueryError("wlan1", ERROR_NOT_READY);
  fake_->AddInterface("wlan2");
  fake_->Associate("wlan2", std::string(33, 'y'));  // more than any SSID can be
  HANDLE client = Open();
  struct Case {
    const char* what;
    const char* interfaceName;  // the GUID asked for
    WLAN_INTF_OPCODE opCode;
    DWORD expected;
    int backendQueries;
  } const cases[] = {
      {"not associated", "wlan0", wlan_intf_opcode_current_connection, ERROR_INVALID_STATE, 1},
      {"scripted error", "wlan1", wlan_intf_opcode_current_connection, ERROR_NOT_READY, 1},
      {"SSID too long", "wlan2", wlan_intf_opcode_current_connection, ERROR_GEN_FAILURE, 1},
      {"no such interface", "wlan9", wlan_intf_opcode_current_connection, ERROR_NOT_FOUND, 1},
      {"GUID without a name", "", wlan_intf_opcode_current_connection, ERROR_NOT_FOUND, 0},
      {"other opcode", "wlan0", wlan_intf_opcode_radio_state, ERROR_NOT_SUPPORTED, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const GUID guid = GuidFromInterfaceName(c.interfaceName);
    const int queries = fake_->QueryCount(c.interfaceName);
    DWORD size = 0;
    PVOID data = reinterpret_cast<PVOID>(1);
    EXPECT_EQ(WlanQueryInterface(client, &guid, c.opCode, nullptr, &size, &data, nullptr), c.expected);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(fake_->QueryCount(c.interfaceName) - queries, c.backendQueries);
    EXPECT_EQ(fake_->Allocations(), 0);
  }
  WlanCloseHandle(client, nullptr);
}

TEST_F(WlanApi, RefusalsAndScriptedErrorsComeBackFromEachCall) {
  HANDLE client = reinterpret_cast<HANDLE>(1);
  DWORD version = 0;
  EXPECT_EQ(WlanOpenHandle(3, nullptr, &version, &client), ERROR_NOT_SUPPORTED);
  fake_->SetOpenError(ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(WlanOpenHandle(2, nullptr, &version, &client), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(fake_->Opens(), 0);
  fake_->SetOpenError(ERROR_SUCCESS);

  client = Open();
  fake_->SetEnumError(ERROR_NOT_ENOUGH_MEMORY);
  PWLAN_INTERFACE_INFO_LIST list = reinterpret_cast<PWLAN_INTERFACE_INFO_LIST>(1);
  EXPECT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(WlanEnumInterfaces(INVALID_HANDLE_VALUE, nullptr, &list), ERROR_INVALID_HANDLE);
  // A close that reports an error still ends the client.
  fake_->SetCloseError(ERROR_GEN_FAILURE);
  EXPECT_EQ(WlanCloseHandle(client, nullptr), ERROR_GEN_FAILURE);
  EXPECT_EQ(WlanEnumInterfaces(client, nullptr, &list), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WlanCloseHandle(client, nullptr), ERROR_INVALID_HANDLE);
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
