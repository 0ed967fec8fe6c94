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
  std::string gateway_;
};

}  // namespace

TEST_F(SettingsLaunch, OpensTheRoutersPageOnceAsOneArgument) {
  StartConnected();
  TraceOn();
  Click();
  WaitForWorkers();
  EXPECT_EQ(Launches(), (std::vector<std::vector<std::string>>{{"xdg-open", "http://" + gateway_}}));
  for (const char* line : {"+ConnectionCheckWaitThread", "Signaled", "Found", "-ConnectionCheckWaitThread"}) {
    EXPECT_EQ(CountTrace(line), 1) << line;
  }
}

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
  EXPECT_EQ(Launches().size(), 1u);
}

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
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));

  gate_.Open();
  WaitForWorkers();
  EXPECT_TRUE(ShowsConnected()) << "the late pass found the router again";
  EXPECT_TRUE(Launches().empty());
}

// A launch woken by the pass that found the router while the window closes: it must open nothing
// for a window that is gone. The launch is held between its wait and what follows until close is
// done, so that close lands there in every run.
TEST_F(SettingsLaunch, ALaunchWokenAsTheWindowClosesOpensNothing) {
  StartConnected();
  std::atomic<std::thread::id> launch{};
  platform::kernel::SetDebugOutputSink([&launch](std::u16string_view text) {
    if (text == u"+ConnectionCheckWaitThread") launch = std::this_thread::get_id();
  });
  velmor::test::Gate held;
  desktop_.Clock().OnWaitMet([&] {
    if (launch == std::this_thread::get_id()) held.Pass();
  });
  TraceOn();
  Click();
  EXPECT_TRUE(held.WaitForArrival()) << "the launch saw the pass end";
  CloseDialog();
  held.Open();
  EXPECT_TRUE(platform::kernel::WaitForAllThreads(std::chrono::seconds(10)));
  EXPECT_TRUE(Launches().empty());
  desktop_.Clock().OnWaitMet(nullptr);
  platform::kernel::SetDebugOutputSink(nullptr);
}

TEST_F(SettingsLaunch, APassThatLosesTheRouterOpensNothing) {
  StartConnected();
  ndis_->SetConnectStatus("wlan0", NdisMediaStateDisconnected);
  TraceOn();
  Click();
  WaitForWorkers();
  EXPECT_EQ(CountTrace("Not Found"), 1);
  EXPECT_TRUE(Launches().empty());
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
}
