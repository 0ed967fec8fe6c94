// A long run of the whole dialog: close at any moment of a pass or a launch.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/program/program_fixture.h"

namespace {

using namespace std::chrono_literals;

class Endurance : public velmor::test::ProgramTest {};

// DoModal returns at once, no worker outlives close by a second, nothing crashes.
TEST_F(Endurance, TwoHundredClosesAtRandomMoments) {
  std::mt19937 random(20261207);
  const std::string router = StartRouter();
  const std::string silent = StartRouter(velmor::test::RouterAnswer::Silent());
  AddWirelessAdapter("wlan0", router, NdisPhysicalMediumNative802_11, "HomeNet");
  for (int run = 0; run < 200; ++run) {
    const bool blocked = run % 4 == 3;  // every fourth run: the probe hangs on a silent gateway
    adapters_->Clear();
    adapters_->Add("wlan0", "192.0.2.10", blocked ? silent : router);
    // Each driver query takes a random little while, so that close lands anywhere in a pass.
    const auto spread = std::chrono::microseconds(random() % 4 * 300);
    ndis_->SetQueryHook([spread](const std::string&, DWORD) { std::this_thread::sleep_for(spread); });
    StartDialog(/*waitForFirstPass=*/false);
    if (run % 2 == 1) {  // a launch waiting for the pass
      PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_BUTTON, BN_CLICKED), 0);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    const auto start = std::chrono::steady_clock::now();
    CloseDialog();
    ASSERT_LT(std::chrono::steady_clock::now() - start, 2s) << "close waited, run " << run;
    ASSERT_TRUE(platform::kernel::WaitForAllThreads(1s)) << "a worker outlived close by a second, run " << run;
    ndis_->SetQueryHook(nullptr);
    dlg_.reset();
  }
}

}  // namespace
