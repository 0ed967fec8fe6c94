// GetAdaptersInfo over a scripted adapter list: a buffer must hold every record, and texts that do
// not fit. (The defaults of missing texts are seen over rtnetlink, in linux_adapters_test.)
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "tests/support/fake_net/fake_adapters.h"

TEST(AdaptersInfo, ABufferMustHoldEveryRecordAndOversizedTextsAreCutInsideTheirFields) {
  auto fake = std::make_shared<velmor::test::FakeAdapterSource>();
  platform::net::SetAdapterSource(fake);
  fake->Add("eth0", "10.0.0.1", "255.255.255.255.255", std::string(500, 'd'));  // longer than any address

  IP_ADAPTER_INFO info[2];
  std::memset(info, 0x5A, sizeof info);
  ULONG size = sizeof(IP_ADAPTER_INFO) - 1;
  ASSERT_EQ(GetAdaptersInfo(info, &size), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, sizeof(IP_ADAPTER_INFO));
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(info)[0], 0x5A) << "a buffer too small is left alone";
  ASSERT_EQ(GetAdaptersInfo(info, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(info[0].Description), std::string(MAX_ADAPTER_DESCRIPTION_LENGTH + 3, 'd'));
  EXPECT_EQ(std::string(info[0].GatewayList.IpAddress.String), "") << "a cut address would be another address";
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&info[1])[0], 0x5A) << "written past the records";
  platform::net::SetAdapterSource(nullptr);
}
