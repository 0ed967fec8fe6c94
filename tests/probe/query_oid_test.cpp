// QueryOID over scripted drivers: the answer, the trace of each way it fails, and the device
// closed on every way.
#include "probe/query_oid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/handle.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/trace_capture.h"
#include "trace/debug_trace.h"

TEST(QueryOid, AnswersOrTracesWhyNot) {
  auto fake = std::make_shared<velmor::test::FakeNdisDevices>();
  platform::net::SetNdisDevices(fake);
  fake->SetMedium("wlan0", NdisPhysicalMediumNative802_11);
  fake->SetMedium("wl\xff" "0", NdisPhysicalMediumNative802_11);
  fake->AddAdapter("eth0");  // its driver knows no OID
  struct Case {
    std::string name;
    BOOL result;
    std::vector<std::string> traces;
  } const cases[] = {
      {"wlan0", TRUE, {}},
      // A name that is not valid UTF-8 reaches the driver byte for byte.
      {"wl\xff" "0", TRUE, {}},
      {"eth0", FALSE, {"QueryOID DeviceIoControl Fail: 50"}},
      {"missing0", FALSE, {"QueryOID CreateFile Fail"}},
      {std::string(200, 'e'), FALSE, {"QueryOID CreateFile Fail"}},
  };
  g_bDebugMessage = true;
  const std::size_t handles = platform::kernel::OpenHandleCount();
  for (const Case& c : cases) {
    velmor::test::TraceCapture trace;
    BYTE buffer[36];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(QueryOID(c.name.c_str(), OID_GEN_PHYSICAL_MEDIUM, buffer, sizeof buffer), c.result) << c.name;
    EXPECT_EQ(trace.Lines(), c.traces) << c.name;
    EXPECT_EQ(platform::kernel::OpenHandleCount(), handles) << c.name << ": the device left open";
    if (c.result) {
      EXPECT_EQ(buffer[0], NdisPhysicalMediumNative802_11);
      EXPECT_EQ(std::vector<BYTE>(buffer + 4, buffer + 36), std::vector<BYTE>(32, 0xEE)) << "the rest is the caller's";
    }
  }
  g_bDebugMessage = false;
  platform::net::SetNdisDevices(nullptr);
}
