// The settings button: a fresh pass, then the router's page in the browser, or the give-up.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/kernel/debug_output.h"
#include "platform/kernel/sync.h"
#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::ProgramTest;

namespace {

class SettingsLaunch : public ProgramTest {
 protected:
  // Every held worker goes before the hooks that name this object.
  ~SettingsLaunch() override {
    woken_.Open();
    gate_.Open();
    EXPECT_TRUE(platform::kernel::WaitForAllThreads(10s));
    desktop_.Clock().OnWaitMet(nullptr);
    platform::kernel::SetDebugOutputSink(nullptr);
  }
  void StartConnected() {
    gateway_ = StartRouter();
    AddWirelessAdapter("wlan0", gateway_, NdisPhysicalMediumNative802_11, "HomeNet");
    StartDialog();
    ASSERT_TRUE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
  }
  void Click() {
    desktop_.Host().ClickAt(Control(IDC_SETTINGS_BUTTON), POINT{80, 29});
    Settle();
  }
  // A click whose pass the test holds at its first driver query until `gate_` opens.
  void ClickHeld() {
    StartConnected();
    HoldPassesAt("wlan0");
    TraceOn();
    Click();
    ASSERT_TRUE(gate_.WaitForArrival());
  }
  static bool WaitUntilWorkersAre(std::size_t count) {
    for (int i = 0; i < 1000 && platform::kernel::RunningThreadCount() > count; ++i) std::this_thread::sleep_for(10ms);
    return platform::kernel::RunningThreadCount() <= count;
  }
  std::string gateway_;
  std::atomic<std::thread::id> launch_{};
  velmor::test::Gate woken_;
};

}  // namespace

TEST_F(SettingsLaunch, TabThenSpaceOpensThePageAndSpaceShowsThePressedFace) {
  StartConnected();
  desktop_.Host().TypeKey(VK_TAB);
  desktop_.Host().KeyDown(VK_SPACE);
  Settle();
  EXPECT_EQ(dlg_->m_btnSettings.GetLookState(), CHoverButton::kPressed);
  EXPECT_TRUE(Launches().empty());
  desktop_.Host().KeyUp(VK_SPACE);
  Settle();
  WaitForWorkers();
  EXPECT_EQ(Launches(), (std::vector<std::vector<std::string>>{{"xdg-open", "http://" + gateway_}}));
}

// Both launches wait for the one pass; its end wakes them both, or the one left waiting would
// give up and show a router that is there as gone.
TEST_F(SettingsLaunch, TwoClicksDuringOnePassOpenThePageTwice) {
  ClickHeld();
  Click();
  gate_.Open();
  WaitForWorkers();
  EXPECT_EQ(Launches().size(), 2u);
}

TEST_F(SettingsLaunch, APassLongerThanFiveSecondsGivesUpThenTheRouterComesBack) {
  ClickHeld();
  ASSERT_TRUE(desktop_.Clock().WaitForWaiters(1)) << "the launch waits for the pass";
  desktop_.Advance(4999ms, hwnd_);
  EXPECT_EQ(CountTrace("ConnectionCheckWaitThread TimeOut"), 0);
  desktop_.Advance(1ms, hwnd_);
  // The wait thread gives up while the pass still runs.
  for (int i = 0; i < 500 && CountTrace("-ConnectionCheckWaitThread") == 0; ++i) std::this_thread::sleep_for(10ms);
  Settle();
  EXPECT_EQ(CountTrace("ConnectionCheckWaitThread TimeOut"), 1);
  EXPECT_FALSE(ShowsConnected());

  gate_.Open();
  WaitForWorkers();
  EXPECT_TRUE(ShowsConnected()) << "the late pass found the router again";
  EXPECT_TRUE(Launches().empty());
}

// A pass that begins after the one that woke the launch clears the gateway it works with; the
// launch opens the page of the pass that woke it all the same.
TEST_F(SettingsLaunch, ALaunchOpensThePageOfThePassThatWokeItThoughAnotherHasBegun) {
  StartConnected();
  // The launch is held between the end of its wait and what follows until `woken_` opens.
  platform::kernel::SetDebugOutputSink([this](std::u16string_view text) {
    if (text == u"+ConnectionCheckWaitThread") launch_ = std::this_thread::get_id();
  });
  desktop_.Clock().OnWaitMet([this] {
    if (launch_ == std::this_thread::get_id()) woken_.Pass();
  });
  TraceOn();
  Click();
  ASSERT_TRUE(woken_.WaitForArrival()) << "the launch saw the pass end";
  // Once the pass that woke it has ended, the next tick starts another.
  ASSERT_TRUE(WaitUntilWorkersAre(1));
  HoldPassesAt("wlan0");
  desktop_.Advance(30s, hwnd_);
  ASSERT_TRUE(gate_.WaitForArrival()) << "the next pass began";
  woken_.Open();
  EXPECT_TRUE(WaitUntilWorkersAre(1)) << "the launch ended while the next pass was held";
  EXPECT_EQ(Launches(), (std::vector<std::vector<std::string>>{{"xdg-open", "http://" + gateway_}}));
}

TEST_F(SettingsLaunch, APassThatLosesTheRouterOpensNothing) {
  StartConnected();
  ndis_->SetConnectStatus("wlan0", NdisMediaStateDisconnected);
  Click();
  WaitForWorkers();
  EXPECT_TRUE(Launches().empty());
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
}
