// When passes run: at start-up, on timer 100 at the period of the state shown, after a settled
// network change (a lost link waited out), and one at a time.
#include <gtest/gtest.h>

#include "tests/support/program/program_fixture.h"

namespace {

using namespace std::chrono_literals;
using platform::net::NetworkChange;

class Cadence : public velmor::test::ProgramTest {
 protected:
  int Passes() const { return CountTrace("+ConnectionCheckThread"); }
  // An adapter whose later passes the test holds at their first driver query until `gate_` opens.
  void StartHeld() {
    ndis_->AddAdapter("wlan0");
    adapters_->Add("wlan0");
    StartDialog();
    HoldPassesAt("wlan0");
  }
  void Announce(NetworkChange change) {
    changes_->Announce(change);
    Settle();
  }
  // With the trace on: no pass until `after` has passed, then one.
  void ExpectOnePassAfter(std::chrono::milliseconds after) {
    TraceOn();
    Advance(after - 1ms);
    EXPECT_EQ(CountTrace("+RunVelmorCheckThread"), 0);
    Advance(1ms);
    EXPECT_EQ(Passes(), 1);
  }
};

TEST_F(Cadence, FirstPassRunsAtStartUpAndTicksCountFromEachChangeOfState) {
  AddWirelessAdapter("wlan0", StartRouter(), NdisPhysicalMediumNative802_11, "HomeNet", /*connected=*/false);
  StartDialog();
  // 4 s into the period the router appears; the tick at 10 s finds it and changes the state.
  Advance(4s);
  ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
  TraceOn();
  Advance(6s);
  ASSERT_EQ(CountTrace("[QXJ]Set the Timer duration 30s"), 1);
  // The next tick comes 30 s after that change, not 30 s after an earlier tick.
  ExpectOnePassAfter(30s);
  // Back to disconnected: a fresh 10 s countdown from that pass.
  ndis_->SetConnectStatus("wlan0", NdisMediaStateDisconnected);
  TraceOn();
  Advance(30s);
  ASSERT_EQ(CountTrace("[QXJ]Set the Timer duration 10s"), 1);
  ExpectOnePassAfter(10s);
}

TEST_F(Cadence, RequestsInABurstStartOnePassAndOtherTimersNone) {
  StartHeld();
  TraceOn();
  // Between a thread's start and its pass's first step, a second request must find the pass
  // under way. A timer other than 100 asks for nothing.
  PostMessageW(hwnd_, WM_TIMER, 7, 0);
  for (int i = 0; i < 20; ++i) PostMessageW(hwnd_, WM_TIMER, 100, 0);
  Settle();
  gate_.Open();
  WaitForWorkers();
  EXPECT_EQ(Passes(), 1);
}

TEST_F(Cadence, ABurstOfChangesStartsOnePass200MillisecondsAfterItsLast) {
  StartDialog();
  TraceOn();
  for (int i = 0; i < 3; ++i) {
    changes_->Announce();
    Settle();
    Advance(150ms);
  }
  Advance(49ms);
  EXPECT_TRUE(Trace().empty()) << "the settle time alone writes nothing";
  Advance(1ms);
  ASSERT_EQ(Passes(), 1);
  // Timer 100 keeps its countdown from start-up: its tick comes at 10 s, the settle timer is done.
  ExpectOnePassAfter(10'000ms - 500ms);
}

TEST_F(Cadence, AChangeDuringAPassAsksForTheNextOneWhenItEnds) {
  StartHeld();
  desktop_.Advance(10s, hwnd_);
  ASSERT_TRUE(gate_.WaitForArrival());
  TraceOn();
  changes_->Announce();
  Settle();
  desktop_.Advance(300ms, hwnd_);
  desktop_.Advance(300ms, hwnd_);
  // The pass that runs may have read the network before the change: the request waits for it, and
  // writes no trace while it waits.
  EXPECT_TRUE(Trace().empty());
  gate_.Open();
  WaitForWorkers();
  EXPECT_EQ(Passes(), 0);
  Advance(50ms);
  EXPECT_EQ(Passes(), 1);
  Advance(1s);
  EXPECT_EQ(Passes(), 1);
}

TEST_F(Cadence, ALostLinkIsWaitedOutUntilItIsBackOrThreeSecondsAfterTheLoss) {
  StartDialog();
  Advance(9s);
  TraceOn();
  // A roam: the loss, the station's own announcements while it reassociates, the link back.
  // Timer 100 ticks inside the gap, at 10 s: its pass too is left to the wait's own.
  Announce(NetworkChange::kLinkLoss);
  Advance(1s);
  Announce(NetworkChange::kChange);
  Advance(1500ms);
  EXPECT_EQ(Passes(), 0) << "a pass inside the gap";
  Announce(NetworkChange::kLinkBack);
  Advance(900ms);
  Announce(NetworkChange::kChange);
  Advance(99ms);
  EXPECT_EQ(Passes(), 0) << "a pass before the link has been back for a second";
  Advance(1ms);
  EXPECT_EQ(Passes(), 1);
  // Something that goes ends the wait at the settle pace.
  Announce(NetworkChange::kLinkLoss);
  Advance(1s);
  Announce(NetworkChange::kLinkOutcome);
  Advance(200ms);
  EXPECT_EQ(Passes(), 2);
  // A link that stays down: one pass 3 s after the loss, whatever is announced meanwhile.
  Announce(NetworkChange::kLinkLoss);
  Advance(1s);
  Announce(NetworkChange::kLinkLoss);
  Advance(1s);
  Announce(NetworkChange::kChange);
  Advance(999ms);
  EXPECT_EQ(Passes(), 2);
  Advance(1ms);
  EXPECT_EQ(Passes(), 3);
}

}  // namespace
