// Long runs of the whole dialog: many passes in one process, and close at any moment.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/kernel/handle.h"
#include "tests/support/program/program_fixture.h"

namespace {

using namespace std::chrono_literals;

class Endurance : public velmor::test::ProgramTest {};

std::size_t Entries(const char* dir) {
  const std::filesystem::directory_iterator entries(dir);
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

// Passes alternate a found router, a lost one and a gateway that refuses the connection (nothing
// listens at port 1 of the loopback): descriptors, handles, threads and heap stay flat.
// VELMOR_SOAK_PASSES raises the count (the figure in the notes used 10000).
TEST_F(Endurance, PassesLeaveNothingBehind) {
  const std::string router = StartRouter();
  AddWirelessAdapter("wlan0", router, NdisPhysicalMediumNative802_11, "HomeNet");
  StartDialog();
  WaitForWorkers();
  const int passes = std::getenv("VELMOR_SOAK_PASSES") ? std::atoi(std::getenv("VELMOR_SOAK_PASSES")) : 600;
  std::vector<std::size_t> before;
  for (int i = -60; i < passes; ++i) {
    if (i == 0) {
      malloc_trim(0);
      before = {Entries("/proc/self/fd"), platform::kernel::OpenHandleCount(), mallinfo2().uordblks};
    }
    adapters_->Clear();
    adapters_->Add("wlan0", "192.0.2.10", i % 3 == 2 ? "127.0.0.1:1" : router);
    ndis_->SetConnectStatus("wlan0", i % 3 == 1 ? NdisMediaStateDisconnected : NdisMediaStateConnected);
    // Every pass is a timer tick, as in the program; the period follows the state shown.
    Advance(dlg_->m_bConnected ? 30s : 10s);
    routers_[0]->ClearRequests();
  }
  malloc_trim(0);
  const std::vector<std::size_t> after{Entries("/proc/self/fd"), platform::kernel::OpenHandleCount(), mallinfo2().uordblks};
  EXPECT_EQ(after[0], before[0]) << "descriptors";
  EXPECT_EQ(after[1], before[1]) << "handles";
  EXPECT_LT(after[2], before[2] + 256 * 1024) << "heap grew by " << after[2] - before[2] << " bytes";
}

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
    StartDialog();
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
