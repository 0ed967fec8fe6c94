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

class AdaptersInfo : public testing::Test {
 protected:
  std::shared_ptr<FakeAdapterSource> fake_ = std::make_shared<FakeAdapterSource>();
  velmor::test::ScopedAdapterSource scope_{fake_};
};

TEST_F(AdaptersInfo, TheBufferMustHoldEveryRecordAndIsUntouchedWhenTooSmall) {
  ULONG size = sizeof(IP_ADAPTER_INFO);
  IP_ADAPTER_INFO one{};
  EXPECT_EQ(GetAdaptersInfo(&one, &size), ERROR_NO_DATA);
  EXPECT_EQ(GetAdaptersInfo(&one, nullptr), ERROR_INVALID_PARAMETER);

  for (int i = 0; i < 20; ++i) fake_->Add("eth" + std::to_string(i));
  size = 0;
  EXPECT_EQ(GetAdaptersInfo(nullptr, &size), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 20 * sizeof(IP_ADAPTER_INFO));
  std::vector<IP_ADAPTER_INFO> sixteen(16);
  sixteen[0].Index = 12345;
  size = static_cast<ULONG>(16 * sizeof(IP_ADAPTER_INFO));
  EXPECT_EQ(GetAdaptersInfo(sixteen.data(), &size), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 20 * sizeof(IP_ADAPTER_INFO));
  EXPECT_EQ(sixteen[0].Index, 12345u);

  std::vector<IP_ADAPTER_INFO> twenty(20);
  EXPECT_EQ(GetAdaptersInfo(twenty.data(), &size), ERROR_SUCCESS);
  int count = 0;
  for (const IP_ADAPTER_INFO* p = twenty.data(); p != nullptr; p = p->Next, ++count) {
    EXPECT_EQ(p, &twenty[static_cast<std::size_t>(count)]);  // chained in order, inside the buffer
    EXPECT_EQ(std::string(p->AdapterName), "eth" + std::to_string(count));
  }
  EXPECT_EQ(count, 20);
}

// The plain copies of the fields are checked over real links (linux_adapters_test) and by the
// program's own tests; here the texts that are missing or do not fit.
TEST_F(AdaptersInfo, MissingTextsHaveTheirDefaultsAndOversizedOnesAreCutInsideTheirFields) {
  auto record = FakeAdapterSource::Record("eth0", 2, "10.0.0.1", "10.0.0.254");
  record.description = std::string(500, 'd');
  record.address.assign(20, 0xAB);
  record.gateway = "255.255.255.255.255";  // longer than any dotted address
  fake_->Add(record);
  fake_->Add(FakeAdapterSource::Record("eth1", 7));  // without an address or a default route

  IP_ADAPTER_INFO info[3];
  std::memset(info, 0x5A, sizeof info);
  ULONG size = 2 * sizeof(IP_ADAPTER_INFO);
  ASSERT_EQ(GetAdaptersInfo(info, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(info[0].Description), std::string(MAX_ADAPTER_DESCRIPTION_LENGTH + 3, 'd'));
  EXPECT_EQ(info[0].AddressLength, MAX_ADAPTER_ADDRESS_LENGTH);
  EXPECT_EQ(std::string(info[0].GatewayList.IpAddress.String), "") << "a cut address would be another address";
  EXPECT_EQ(info[0].IpAddressList.Next, nullptr);
  EXPECT_EQ(info[0].GatewayList.Next, nullptr);
  EXPECT_EQ(std::string(info[1].IpAddressList.IpAddress.String), "0.0.0.0");
  EXPECT_EQ(std::string(info[1].IpAddressList.IpMask.String), "0.0.0.0");
  EXPECT_EQ(std::string(info[1].GatewayList.IpAddress.String), "");
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&info[2])[0], 0x5A) << "written past the records";
}

}  // namespace
