// Close at random moments of a pass and of a launch's wait: DoModal returns at once, no worker
// outlives close by a second, nothing crashes.
#include <gtest/gtest.h>

#include <random>

#include "platform/kernel/sync.h"
#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::ProgramTest;
using velmor::test::RouterAnswer;

class CloseAnywhere : public ProgramTest {};

TEST_F(CloseAnywhere, TwoHundredClosesAtRandomMoments) {
  std::mt19937 random(20261207);
  RouterAnswer silentAnswer;
  silentAnswer.behaviour = RouterAnswer::Behaviour::kSilent;
  const std::string router = StartRouter();
  const std::string silent = StartRouter(silentAnswer);

  for (int run = 0; run < 200; ++run) {
    adapters_->Clear();
    wlan_->RemoveInterface("wlan0");
    const bool blocked = run % 4 == 3;  // every fourth run: the probe hangs on a silent gateway
    AddWirelessAdapter("wlan0", blocked ? silent : router, NdisPhysicalMediumNative802_11, "HomeNet");
    // Each driver query takes a random little while, so that close lands anywhere in a pass.
    const int spread = static_cast<int>(random() % 4);
    ndis_->SetQueryHook([spread](const std::string&, DWORD) { std::this_thread::sleep_for(std::chrono::microseconds(spread * 300)); });

    StartDialog();
    if (run % 2 == 1) {
      // A launch waiting for the pass.
      PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_BUTTON, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Control(IDC_SETTINGS_BUTTON)));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));

    const std::size_t launchesBefore = Launches().size();
    const auto start = std::chrono::steady_clock::now();
    CloseDialog();
    ASSERT_LT(std::chrono::steady_clock::now() - start, 2s) << "close waited, run " << run;
    ASSERT_TRUE(platform::kernel::WaitForAllThreads(1s)) << "a worker outlived close by a second, run " << run;
    // With the probe hanging, no pass can have signalled a launch before close: a launch woken
    // by close itself must not open the page.
    if (blocked) {
      ASSERT_EQ(Launches().size(), launchesBefore) << "run " << run;
    }
    ndis_->SetQueryHook(nullptr);
    dlg_.reset();
  }
}
