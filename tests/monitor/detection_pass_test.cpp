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

  // Another SSID while connected, even one that differs in letter case alone: the line changes.
  wlan_->Associate("wlan0", "HOMENET");
  RunPass();
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), u"SSID: HOMENET");

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

  // Lost (nothing listens at the gateway now), though no SSID was remembered: the disconnected
  // state. The probe that failed gave back what it opened too.
  adapters_->Clear();
  adapters_->Add("wlan0", "192.0.2.10", "127.0.0.1:1");
  RunPass();
  EXPECT_FALSE(ShowsConnected());
  EXPECT_EQ(platform::kernel::OpenHandleCount(), handles);
  EXPECT_LE(OpenFds(), fds);
}

TEST_F(DetectionPass, LegacyWirelessReadsTheSsidFromTheDriver) {
  const std::string gateway = StartRouter(RouterAnswer::Challenge("Kavel-7100 Web CU"));
  AddWirelessAdapter("wlan1", gateway, NdisPhysicalMediumWirelessLan, std::string(32, 'S'));
  StartDialog();
  EXPECT_EQ(dlg_->m_szLastSsid, std::string(32, 'S')) << "32 bytes without a terminator";
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
