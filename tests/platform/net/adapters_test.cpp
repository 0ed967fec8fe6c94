// GetAdaptersInfo over a scripted adapter list: a buffer must hold every record, and texts that are
// missing or do not fit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "tests/support/fake_net/fake_adapters.h"

TEST(AdaptersInfo, MissingTextsHaveTheirDefaultsAndOversizedOnesAreCutInsideTheirFields) {
  auto fake = std::make_shared<velmor::test::FakeAdapterSource>();
  platform::net::SetAdapterSource(fake);
  fake->Add("eth0", "10.0.0.1", "255.255.255.255.255", std::string(500, 'd'));  // longer than any address
  fake->Add("eth1");  // without an address or a default route

  IP_ADAPTER_INFO info[3];
  std::memset(info, 0x5A, sizeof info);
  ULONG size = 2 * sizeof(IP_ADAPTER_INFO) - 1;
  ASSERT_EQ(GetAdaptersInfo(info, &size), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 2 * sizeof(IP_ADAPTER_INFO));
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(info)[0], 0x5A) << "a buffer too small is left alone";
  ASSERT_EQ(GetAdaptersInfo(info, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(info[0].Description), std::string(MAX_ADAPTER_DESCRIPTION_LENGTH + 3, 'd'));
  EXPECT_EQ(std::string(info[0].GatewayList.IpAddress.String), "") << "a cut address would be another address";
  EXPECT_EQ(std::string(info[1].IpAddressList.IpAddress.String), "0.0.0.0");
  EXPECT_EQ(std::string(info[1].GatewayList.IpAddress.String), "");
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&info[2])[0], 0x5A) << "written past the records";
  platform::net::SetAdapterSource(nullptr);
}
