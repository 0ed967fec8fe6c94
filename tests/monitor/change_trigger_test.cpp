// Passes asked for by network-change announcements, settled for 300 ms.
#include <gtest/gtest.h>

#include "tests/support/fake_net/fake_changes.h"
#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::Gate;
using velmor::test::ProgramTest;

namespace {

class ChangeTrigger : public ProgramTest {
 protected:
  // Announces a change and lets the window thread take it in.
  void Announce() {
    changes_->Announce();
    Settle();
  }
  int Passes() const { return CountTrace("+ConnectionCheckThread"); }
};

}  // namespace

TEST_F(ChangeTrigger, ABurstStartsOnePassThreeHundredMillisecondsAfterItsLastChange) {
  StartDialog();
  WaitForWorkers();
  TraceOn();
  Announce();
  Advance(200ms);
  Announce();
  Advance(200ms);
  Announce();
  Advance(299ms);
  EXPECT_TRUE(Trace().empty()) << "the settle time alone writes nothing";
  Advance(1ms);
  ASSERT_EQ(Passes(), 1);
  // The request goes through RunVelmorCheckThread (its lines and the worker's interleave).
  EXPECT_EQ(Trace().front(), "+RunVelmorCheckThread");
  EXPECT_EQ(CountTrace("+RunVelmorCheckThread"), 1);
  EXPECT_EQ(CountTrace("-RunVelmorCheckThread: Check complete"), 1);

  // Timer 100 keeps its countdown from start-up: its tick comes at 10 s, the settle timer is done.
  TraceOn();
  Advance(10'000ms - 700ms - 1ms);
  EXPECT_EQ(CountTrace("+RunVelmorCheckThread"), 0);
  Advance(1ms);
  EXPECT_EQ(Passes(), 1);
}

TEST_F(ChangeTrigger, TheRouterIsShownWithoutWaitingForTheTick) {
  const std::string gateway = StartRouter();
  AddWirelessAdapter("wlan0", gateway, NdisPhysicalMediumNative802_11, "HomeNet", /*connected=*/false);
  StartDialog();
  WaitForWorkers();
  ASSERT_FALSE(dlg_->m_bConnected);
  ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
  Announce();
  Advance(300ms);
  EXPECT_TRUE(dlg_->m_bConnected);
  EXPECT_EQ(TextOf(IDC_SSID_LABEL).find(u"HomeNet") != std::u16string::npos, true);
}

TEST_F(ChangeTrigger, AChangeDuringAPassAsksForTheNextOneWhenItEnds) {
  Gate gate;
  adapters_->Add("wlan0", "192.0.2.10", "");
  ndis_->AddAdapter("wlan0");
  StartDialog();
  WaitForWorkers();
  HoldPassesAt("wlan0", gate);
  desktop_.Advance(10s, hwnd_);
  ASSERT_TRUE(gate.WaitForArrival());
  TraceOn();
  Announce();
  desktop_.Advance(300ms, hwnd_);
  desktop_.Advance(300ms, hwnd_);
  // The pass that runs may have read the network before the change: nothing is dropped, and
  // the waiting writes no trace of its own.
  EXPECT_TRUE(Trace().empty());
  gate.Open();
  WaitForWorkers();
  EXPECT_EQ(Passes(), 0);
  Advance(300ms);
  EXPECT_EQ(Passes(), 1);
  EXPECT_EQ(CountTrace("-RunVelmorCheckThread: Check processor not complete"), 0);
  Advance(1s);
  EXPECT_EQ(Passes(), 1);
}

TEST_F(ChangeTrigger, CloseStopsWatchingAndForgetsASettlingChange) {
  StartDialog();
  WaitForWorkers();
  EXPECT_EQ(changes_->OpenMonitors(), 1);
  TraceOn();
  Announce();
  CloseDialog();
  EXPECT_EQ(changes_->OpenMonitors(), 0);
  desktop_.Clock().Advance(1s);
  EXPECT_EQ(Passes(), 0);
}
