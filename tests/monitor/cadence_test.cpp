// When passes run: at start-up, on timer 100, one at a time.
#include <gtest/gtest.h>

#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::Gate;
using velmor::test::ProgramTest;

namespace {

class Cadence : public ProgramTest {
 protected:
  int Passes() const { return CountTrace("+ConnectionCheckThread"); }
};

}  // namespace

TEST_F(Cadence, TicksEveryTenSecondsWhileDisconnected) {
  StartDialog();
  WaitForWorkers();
  TraceOn();
  Advance(9999ms);
  EXPECT_EQ(Passes(), 0);
  Advance(1ms);
  EXPECT_EQ(Passes(), 1);
  Advance(10s);
  EXPECT_EQ(Passes(), 2);
}

TEST_F(Cadence, FirstPassRunsAtStartUpAndConnectedTicksCountFromTheChange) {
  const std::string gateway = StartRouter();
  AddWirelessAdapter("wlan0", gateway, NdisPhysicalMediumNative802_11, "HomeNet", /*connected=*/false);
  StartDialog();
  WaitForWorkers();
  EXPECT_EQ(ndis_->QueryCount("wlan0", OID_GEN_PHYSICAL_MEDIUM), 1) << "the first pass ran before any tick";

  // 4 s into the period the router appears; the tick at 10 s finds it and changes the state.
  Advance(4s);
  ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
  TraceOn();
  Advance(6s);
  ASSERT_EQ(CountTrace("[QXJ]Set the Timer duration 30s"), 1);
  // The next tick comes 30 s after that change, not 30 s after an earlier tick.
  TraceOn();
  Advance(29999ms);
  EXPECT_EQ(Passes(), 0);
  Advance(1ms);
  EXPECT_EQ(Passes(), 1);
  // Back to disconnected: a fresh 10 s countdown from that pass.
  ndis_->SetConnectStatus("wlan0", NdisMediaStateDisconnected);
  TraceOn();
  Advance(30s);
  ASSERT_EQ(CountTrace("[QXJ]Set the Timer duration 10s"), 1);
  TraceOn();
  Advance(9999ms);
  EXPECT_EQ(Passes(), 0);
  Advance(1ms);
  EXPECT_EQ(Passes(), 1);
}

TEST_F(Cadence, ATickDuringAPassStartsNothingAndIsNotRemembered) {
  Gate gate;
  adapters_->Add("wlan0", "192.0.2.10", "");
  ndis_->AddAdapter("wlan0");
  StartDialog();
  WaitForWorkers();
  HoldPassesAt("wlan0", gate);
  desktop_.Advance(10s, hwnd_);
  ASSERT_TRUE(gate.WaitForArrival());
  TraceOn();
  desktop_.Advance(10s, hwnd_);
  desktop_.Advance(10s, hwnd_);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"+RunVelmorCheckThread", "-RunVelmorCheckThread: Check processor not complete",
                                               "+RunVelmorCheckThread", "-RunVelmorCheckThread: Check processor not complete"}));
  gate.Open();
  WaitForWorkers();
  // The pass is over; the next tick starts the next pass, no tick is replayed.
  EXPECT_EQ(Passes(), 0);
  Advance(10s);
  EXPECT_EQ(Passes(), 1);
}

TEST_F(Cadence, OtherTimerIdsStartNothing) {
  StartDialog();
  WaitForWorkers();
  TraceOn();
  SendMessageW(hwnd_, WM_TIMER, 7, 0);
  WaitForWorkers();
  EXPECT_TRUE(Trace().empty());
  SendMessageW(hwnd_, WM_TIMER, 100, 0);
  WaitForWorkers();
  EXPECT_EQ(Passes(), 1);
}

TEST_F(Cadence, ConcurrentRequestsNeverOverlapPasses) {
  Gate gate;
  adapters_->Add("wlan0", "192.0.2.10", "");
  ndis_->AddAdapter("wlan0");
  StartDialog();
  WaitForWorkers();
  HoldPassesAt("wlan0", gate);
  TraceOn();
  // Requests from the window thread in a burst: exactly one thread is created.
  for (int i = 0; i < 20; ++i) PostMessageW(hwnd_, WM_TIMER, 100, 0);
  Settle();
  ASSERT_TRUE(gate.WaitForArrival());
  EXPECT_EQ(CountTrace("-RunVelmorCheckThread: Check complete"), 1);
  EXPECT_EQ(CountTrace("-RunVelmorCheckThread: Check processor not complete"), 19);
  gate.Open();
  WaitForWorkers();
  EXPECT_EQ(Passes(), 1);
}
