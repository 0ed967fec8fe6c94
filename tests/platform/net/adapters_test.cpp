// GetAdaptersInfo's buffer contract and records, over the scripted adapter list.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "tests/support/fake_net/fake_adapters.h"

namespace {

using velmor::test::FakeAdapterSource;
using velmor::test::ScopedAdapterSource;

class AdaptersInfo : public testing::Test {
 protected:
  std::shared_ptr<FakeAdapterSource> fake_ = std::make_shared<FakeAdapterSource>();
  ScopedAdapterSource scope_{fake_};
};

TEST_F(AdaptersInfo, AskingForTheSizeGivesRoomForEveryRecord) {
  for (int i = 0; i < 20; ++i) fake_->Add("eth" + std::to_string(i));
  ULONG size = 0;
  EXPECT_EQ(GetAdaptersInfo(nullptr, &size), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 20 * sizeof(IP_ADAPTER_INFO));

  // A 16-record buffer is too small and is left untouched.
  std::vector<IP_ADAPTER_INFO> sixteen(16);
  sixteen[0].Index = 12345;
  size = static_cast<ULONG>(16 * sizeof(IP_ADAPTER_INFO));
  EXPECT_EQ(GetAdaptersInfo(sixteen.data(), &size), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 20 * sizeof(IP_ADAPTER_INFO));
  EXPECT_EQ(sixteen[0].Index, 12345u);

  std::vector<IP_ADAPTER_INFO> twenty(20);
  EXPECT_EQ(GetAdaptersInfo(twenty.data(), &size), ERROR_SUCCESS);
  int count = 0;
  for (const IP_ADAPTER_INFO* p = twenty.data(); p != nullptr; p = p->Next) {
    EXPECT_EQ(p, &twenty[static_cast<std::size_t>(count)]);  // chained in order, inside the buffer
    EXPECT_EQ(std::string(p->AdapterName), "eth" + std::to_string(count));
    ++count;
  }
  EXPECT_EQ(count, 20);
}

TEST_F(AdaptersInfo, NoAdapterIsNoData) {
  ULONG size = sizeof(IP_ADAPTER_INFO);
  IP_ADAPTER_INFO info{};
  EXPECT_EQ(GetAdaptersInfo(&info, &size), ERROR_NO_DATA);
  EXPECT_EQ(GetAdaptersInfo(&info, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(AdaptersInfo, RecordsCarryTheFieldsTheProgramReads) {
  auto wireless = FakeAdapterSource::Record("wlan0", 3, "192.168.100.23", "192.168.100.1");
  wireless.description = "wlan0 (iwlwifi)";
  wireless.dhcpEnabled = true;
  fake_->Add(wireless);
  fake_->Add(FakeAdapterSource::Record("eth1", 7));

  IP_ADAPTER_INFO infos[16];
  ULONG size = sizeof infos;
  ASSERT_EQ(GetAdaptersInfo(infos, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(infos[0].AdapterName), "wlan0");
  EXPECT_EQ(std::string(infos[0].Description), "wlan0 (iwlwifi)");
  EXPECT_EQ(std::string(infos[0].IpAddressList.IpAddress.String), "192.168.100.23");
  EXPECT_EQ(std::string(infos[0].IpAddressList.IpMask.String), "255.255.255.0");
  EXPECT_EQ(std::string(infos[0].GatewayList.IpAddress.String), "192.168.100.1");
  EXPECT_EQ(infos[0].IpAddressList.Next, nullptr);
  EXPECT_EQ(infos[0].GatewayList.Next, nullptr);
  EXPECT_EQ(infos[0].Index, 3u);
  EXPECT_EQ(infos[0].ComboIndex, 3u);
  EXPECT_EQ(infos[0].Type, MIB_IF_TYPE_ETHERNET);
  EXPECT_EQ(infos[0].DhcpEnabled, 1u);
  EXPECT_EQ(infos[0].AddressLength, 6u);
  EXPECT_EQ(infos[0].Address[5], 3);
  EXPECT_EQ(infos[0].Next, &infos[1]);

  // Without an address or a default route.
  EXPECT_EQ(std::string(infos[1].IpAddressList.IpAddress.String), "0.0.0.0");
  EXPECT_EQ(std::string(infos[1].IpAddressList.IpMask.String), "0.0.0.0");
  EXPECT_EQ(std::string(infos[1].GatewayList.IpAddress.String), "");
  EXPECT_EQ(infos[1].Next, nullptr);
}

TEST_F(AdaptersInfo, OversizedTextsAreCutInsideTheirFields) {
  auto record = FakeAdapterSource::Record("eth0", 2, "10.0.0.1", "10.0.0.254");
  record.description = std::string(500, 'd');
  record.address.assign(20, 0xAB);
  record.gateway = "255.255.255.255.255";  // longer than any dotted address
  fake_->Add(record);

  IP_ADAPTER_INFO info[2];
  std::memset(info, 0x5A, sizeof info);
  ULONG size = sizeof(IP_ADAPTER_INFO);
  ASSERT_EQ(GetAdaptersInfo(info, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(info[0].Description), std::string(MAX_ADAPTER_DESCRIPTION_LENGTH + 3, 'd'));
  EXPECT_EQ(info[0].AddressLength, MAX_ADAPTER_ADDRESS_LENGTH);
  // An address cut short would be another address.
  EXPECT_EQ(std::string(info[0].GatewayList.IpAddress.String), "");
  // Nothing past the one record it had room for.
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&info[1])[0], 0x5A);
}

}  // namespace
