// One detection pass over scripted adapters, with real HTTP probes of routers on loopback.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/kernel/handle.h"
#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::ProgramTest;
using velmor::test::RouterAnswer;

namespace {

class DetectionPass : public ProgramTest {
 protected:
  // Runs one timer-driven pass, with the trace on, and waits for its end.
  void RunPass() {
    TraceOn();
    Advance(dlg_->m_bConnected ? 30s : 10s);
  }
  // The descriptors open once every router has closed its side of the probes' connections.
  long OpenFds() const {
    for (const auto& router : routers_) EXPECT_TRUE(router->WaitUntilIdle());
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
  }
};

}  // namespace

TEST_F(DetectionPass, DisplayFollowsTheSsidItFinds) {
  const std::string gateway = StartRouter();
  AddWirelessAdapter("wlan0", gateway, NdisPhysicalMediumNative802_11, "HomeNet");
  StartDialog();
  // The first pass, at start-up: the router with a new SSID.
  EXPECT_TRUE(ShowsConnected());
  EXPECT_EQ(dlg_->m_lblStatus.GetTextColor(), RGB(0, 0, 0));
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), u"SSID: HomeNet");
  // A pass leaves as many handles and descriptors open as it found.
  const std::size_t handles = platform::kernel::OpenHandleCount();
  const long fds = OpenFds();

  // The same SSID: nothing on the screen is touched.
  RunPass();
  EXPECT_EQ(CountTrace("found SSID\n"), 1);
  EXPECT_EQ(CountTrace("[Velmor]Ready to connect with Velmor\n"), 0);

  // Another SSID while connected: the line changes; the state, and with it the timer, stays.
  wlan_->Associate("wlan0", "Cafe");
  RunPass();
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), u"SSID: Cafe");
  EXPECT_EQ(CountTrace("[QXJ]Status is same"), 1);
  // A change of letter case alone is another SSID.
  wlan_->Associate("wlan0", "CAFE");
  RunPass();
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), u"SSID: CAFE");

  // Lost, then found again with the same SSID: the window shows it again.
  ndis_->SetConnectStatus("wlan0", NdisMediaStateDisconnected);
  RunPass();
  ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
  RunPass();
  EXPECT_TRUE(ShowsConnected());

  // The same router with an SSID that cannot be read: connected, with the bare line.
  wlan_->Associate("wlan0", std::nullopt);
  RunPass();
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), u"SSID: ");
  EXPECT_STREQ(dlg_->m_szLastSsid, "");

  // Lost, though no SSID was remembered: the disconnected state, no gateway.
  ndis_->SetConnectStatus("wlan0", NdisMediaStateDisconnected);
  RunPass();
  EXPECT_FALSE(ShowsConnected());
  EXPECT_STREQ(dlg_->m_szGateway, "");
  EXPECT_EQ(CountTrace("WLAN disconnect state\n"), 1);

  // Still lost (connected, but nothing listens at the gateway) with nothing shown: the window is
  // left alone, the event still signalled.
  ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
  adapters_->Clear();
  adapters_->Add("wlan0", "192.0.2.10", "127.0.0.1:1");
  ResetEvent(dlg_->m_hCheckDoneEvent);
  RunPass();
  EXPECT_EQ(CountTrace("OpenURL Fail\n"), 1);
  EXPECT_EQ(CountTrace("[Velmor]Disconnect to Velmor\n"), 0);
  EXPECT_EQ(WaitForSingleObject(dlg_->m_hCheckDoneEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(platform::kernel::OpenHandleCount(), handles);
  EXPECT_LE(OpenFds(), fds);
}

TEST_F(DetectionPass, LegacyWirelessReadsTheSsidFromTheDriver) {
  const std::string gateway = StartRouter(RouterAnswer::Challenge("Kavel-7100 Web CU"));
  AddWirelessAdapter("wlan1", gateway, NdisPhysicalMediumWirelessLan, std::string(32, 'S'));
  // The adapter's texts come from outside: the trace shows their control characters, and bytes
  // that are no text, as escapes.
  adapters_->Clear();
  adapters_->Add("wlan1", "192.0.2.10", gateway, "d\x1b]0;t\x07\r\n\x7f\xc2\x9b%s\xff");
  StartDialog();
  EXPECT_EQ(dlg_->m_szLastSsid, std::string(32, 'S')) << "32 bytes without a terminator";
  RunPass();
  EXPECT_EQ(CountTrace("d\\x1B]0;t\\x07\\x0D\\x0A\\x7F\\x9B%s\\xFF"), 1);

  // An answer with no SSID bytes is a failure of this adapter.
  ndis_->SetSsid("wlan1", "");
  RunPass();
  EXPECT_EQ(CountTrace("Get SSID Fail\n"), 1);
  EXPECT_FALSE(ShowsConnected());
}

// The walk goes past the sixteenth adapter, skips wired ones and ends at the first router.
TEST_F(DetectionPass, TheWalkTakesTheFirstConnectedWirelessAdapterWithTheRouter) {
  for (int i = 0; i < 19; ++i) adapters_->Add("veth" + std::to_string(i));
  const std::string router = StartRouter();
  const std::string other = StartRouter(RouterAnswer::Status(200, "<html>another box</html>"));
  adapters_->Add("eth0", "192.0.2.20", router);  // wired: never probed, whatever answers there
  ndis_->SetMedium("eth0", NdisPhysicalMedium802_3);
  AddWirelessAdapter("wlan0", other, NdisPhysicalMediumNative802_11, "Other");
  AddWirelessAdapter("wlan1", router, NdisPhysicalMediumNative802_11, "First");
  AddWirelessAdapter("wlan2", router, NdisPhysicalMediumNative802_11, "Second");
  StartDialog();
  EXPECT_STREQ(dlg_->m_szLastSsid, "First");
  EXPECT_EQ(ndis_->QueryCount("eth0", OID_GEN_MEDIA_CONNECT_STATUS), 0);
  EXPECT_EQ(ndis_->QueryCount("wlan2", OID_GEN_PHYSICAL_MEDIUM), 0) << "the walk ends at the first router";
}

// Close stops the walk where it is: no later adapter's driver is asked.
TEST_F(DetectionPass, CloseStopsTheWalk) {
  for (const char* name : {"wlan0", "wlan1"}) {
    adapters_->Add(name);
    ndis_->AddAdapter(name);
  }
  StartDialog();
  HoldPassesAt("wlan0");
  desktop_.Advance(10s, hwnd_);
  ASSERT_TRUE(gate_.WaitForArrival());
  CloseDialog();
  gate_.Open();
  ASSERT_TRUE(platform::kernel::WaitForAllThreads(10s));
  EXPECT_EQ(ndis_->QueryCount("wlan1", OID_GEN_PHYSICAL_MEDIUM), 1) << "asked by the first pass alone";
}
