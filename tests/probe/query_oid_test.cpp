#include "probe/query_oid.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "trace/debug_trace.h"
#include "platform/kernel/handle.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/trace_capture.h"

namespace {

using velmor::test::FakeNdisDevices;
using Traces = std::vector<std::string>;

int OpenDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

class QueryOid : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::net::SetNdisDevices(fake_);
    g_bDebugMessage = true;
  }
  void TearDown() override {
    g_bDebugMessage = false;
    platform::net::SetNdisDevices(nullptr);
  }
  std::shared_ptr<FakeNdisDevices> fake_ = std::make_shared<FakeNdisDevices>();
  velmor::test::TraceCapture trace_;
};

TEST_F(QueryOid, AnswersTheDriversValueAndKeepsTheRestOfTheBuffer) {
  fake_->AddAdapter("wlan0");
  fake_->SetMedium("wlan0", NdisPhysicalMediumNative802_11);
  fake_->SetAnswer("wlan0", OID_802_11_SSID, {ERROR_SUCCESS, {4, 0, 0, 0, 'a', 'b'}});
  DWORD medium = 0;
  EXPECT_TRUE(QueryOID("wlan0", OID_GEN_PHYSICAL_MEDIUM, &medium, sizeof medium));
  EXPECT_EQ(medium, 9u);
  BYTE buffer[36];
  std::memset(buffer, 0xEE, sizeof buffer);
  EXPECT_TRUE(QueryOID("wlan0", OID_802_11_SSID, buffer, sizeof buffer));
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(buffer[5], 'b');
  EXPECT_EQ(buffer[6], 0xEE);
  EXPECT_EQ(buffer[35], 0xEE);
  // An interface name that is not valid UTF-8 reaches the driver byte for byte.
  fake_->SetMedium("wl\xff" "0", NdisPhysicalMediumNative802_11);
  EXPECT_TRUE(QueryOID("wl\xff" "0", OID_GEN_PHYSICAL_MEDIUM, &medium, sizeof medium));
  EXPECT_TRUE(trace_.Lines().empty());
}

TEST_F(QueryOid, FailuresAreTracedAndFalse) {
  fake_->AddAdapter("eth0");
  fake_->SetError("eth0", OID_GEN_PHYSICAL_MEDIUM, ERROR_NOT_SUPPORTED);
  DWORD v = 0;
  EXPECT_FALSE(QueryOID("eth0", OID_GEN_PHYSICAL_MEDIUM, &v, sizeof v));
  EXPECT_FALSE(QueryOID("missing0", OID_GEN_PHYSICAL_MEDIUM, &v, sizeof v));
  EXPECT_EQ(fake_->QueryCount("missing0", OID_GEN_PHYSICAL_MEDIUM), 0) << "no control call without a device";
  // A name too long for the device path names no device, rather than a cut-off one.
  EXPECT_FALSE(QueryOID(std::string(200, 'e').c_str(), OID_GEN_PHYSICAL_MEDIUM, &v, sizeof v));
  EXPECT_EQ(trace_.Lines(), (Traces{"QueryOID DeviceIoControl Fail: 50", "QueryOID CreateFile Fail",
                                    "QueryOID CreateFile Fail"}));
}

TEST_F(QueryOid, ManyQueriesLeaveNothingOpen) {
  fake_->AddAdapter("wlan0");
  fake_->SetConnectStatus("wlan0", NdisMediaStateConnected);
  const int fds = OpenDescriptors();
  const std::size_t handles = platform::kernel::OpenHandleCount();
  g_bDebugMessage = false;
  for (int i = 0; i < 10000; ++i) {
    DWORD v = 0;
    QueryOID(i % 3 == 0 ? "gone0" : "wlan0", i % 2 ? OID_GEN_MEDIA_CONNECT_STATUS : OID_GEN_PHYSICAL_MEDIUM, &v,
             sizeof v);
  }
  EXPECT_EQ(OpenDescriptors(), fds);
  EXPECT_EQ(platform::kernel::OpenHandleCount(), handles);
}

TEST(QueryOidLinux, MachineInterfacesAnswer) {
  g_bDebugMessage = true;
  velmor::test::TraceCapture trace;
  DWORD v = 0;
  EXPECT_FALSE(QueryOID("lo", OID_GEN_PHYSICAL_MEDIUM, &v, sizeof v));
  EXPECT_FALSE(QueryOID("nosuch0", OID_GEN_PHYSICAL_MEDIUM, &v, sizeof v));
  EXPECT_EQ(trace.Lines(), (Traces{"QueryOID DeviceIoControl Fail: 50", "QueryOID CreateFile Fail"}));
  // The loopback link is up, whatever its medium.
  EXPECT_TRUE(QueryOID("lo", OID_GEN_MEDIA_CONNECT_STATUS, &v, sizeof v));
  EXPECT_EQ(v, static_cast<DWORD>(NdisMediaStateConnected));
  g_bDebugMessage = false;
}

}  // namespace
