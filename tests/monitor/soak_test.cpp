// Many passes in one process, alternating a found router, a lost one and a silent gateway:
// descriptors, threads and heap stay flat.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::ProgramTest;
using velmor::test::RefusingPeer;

namespace {

std::size_t Entries(const char* dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

struct Usage {
  std::size_t fds;
  std::size_t threads;
  std::size_t heap;
};

// Waits (real time, at most a second) until the process has no more than `count` threads.
void WaitForThreadCountImpl(std::size_t count) {
  for (int i = 0; i < 1000 && Entries("/proc/self/task") > count; ++i) std::this_thread::sleep_for(1ms);
}

Usage Measure() { return Usage{Entries("/proc/self/fd"), Entries("/proc/self/task"), mallinfo2().uordblks}; }

int PassCount() {
  const char* env = std::getenv("VELMOR_SOAK_PASSES");
  return env ? std::atoi(env) : 600;
}

}  // namespace

TEST(SoakEnvironment, CountIsSane) { EXPECT_GT(PassCount(), 0); }

class Soak : public ProgramTest {};

TEST_F(Soak, PassesLeaveNothingBehind) {
  const std::string router = StartRouter();
  RefusingPeer silent;
  AddWirelessAdapter("wlan0", router, NdisPhysicalMediumNative802_11, "HomeNet");
  StartDialog();
  WaitForWorkers();

  const int passes = PassCount();
  const int warmUp = 60;
  Usage before{};
  for (int i = 0; i < passes + warmUp; ++i) {
    if (i == warmUp) {
      malloc_trim(0);
      before = Measure();
    }
    switch (i % 3) {
      case 0:  // found
        adapters_->Clear();
        adapters_->Add("wlan0", "192.0.2.10", router);
        ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
        break;
      case 1:  // lost
        ndis_->SetConnectStatus("wlan0", NdisMediaStateDisconnected);
        break;
      case 2:  // silent: the gateway refuses the connection
        adapters_->Clear();
        adapters_->Add("wlan0", "192.0.2.10", silent.HostPort());
        ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
        break;
    }
    // Every pass is a timer tick, as in the program; the period follows the state shown.
    Advance(dlg_->m_bConnected ? 30s : 10s);
    routers_[0]->ClearRequests();
  }
  // A worker counts as ended a moment before its kernel thread is gone.
  WaitForThreadCountImpl(before.threads);
  malloc_trim(0);
  const Usage after = Measure();
  RecordProperty("passes", passes);
  RecordProperty("heap_growth_bytes", static_cast<int>(after.heap) - static_cast<int>(before.heap));
  std::printf("soak: %d passes; fds %zu -> %zu, threads %zu -> %zu, heap in use %zu -> %zu bytes\n", passes,
              before.fds, after.fds, before.threads, after.threads, before.heap, after.heap);
  EXPECT_EQ(after.fds, before.fds);
  EXPECT_LE(after.threads, before.threads);
  EXPECT_LT(after.heap, before.heap + 256 * 1024) << "heap grew by " << after.heap - before.heap << " bytes";
  EXPECT_TRUE(TextOf(IDC_STATUS_LABEL).size() > 0);
}
