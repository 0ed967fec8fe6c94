// Many probes in a row leave nothing behind: no descriptor, no handle, no heap.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <string>

#include "trace/debug_trace.h"
#include "platform/kernel/handle.h"
#include "probe/check_velmor_web.h"
#include "tests/support/router_sim/router_sim.h"

namespace {

using velmor::test::RouterAnswer;
using velmor::test::RouterSim;

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

// Probes `count` times, half of them recognising the router, half failing on a 404.
void Probes(RouterSim& sim, int count) {
  const std::string found = sim.ProbeAddress();
  const std::string missing = sim.HostPort() + "/missing";
  for (int i = 0; i < count; ++i) {
    const bool expectFound = i % 2 == 0;
    ASSERT_EQ(CheckVelmorWeb((expectFound ? found : missing).c_str()), expectFound ? TRUE : FALSE) << i;
  }
}

TEST(ProbeSoak, TenThousandProbesLeaveNothingBehind) {
  g_bDebugMessage = false;
  RouterSim sim(RouterAnswer::Status(200, "<html>\n<title>Kavel-7100 Settings</title>\n</html>\n"));
  // The first probes fill the library's caches that live as long as the process.
  Probes(sim, 200);
  ASSERT_TRUE(sim.WaitForIdle(std::chrono::seconds(5)));
  sim.ClearRequests();
  const std::size_t descriptors = OpenDescriptors();
  const std::size_t handles = platform::kernel::OpenHandleCount();
  [[maybe_unused]] const std::size_t heap = mallinfo2().uordblks;

  Probes(sim, 10000);

  ASSERT_TRUE(sim.WaitForIdle(std::chrono::seconds(5)));
  sim.ClearRequests();
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(platform::kernel::OpenHandleCount(), handles);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The sanitizers keep freed memory in quarantine; their builds find leaks by themselves.
  const std::size_t grown = mallinfo2().uordblks > heap ? mallinfo2().uordblks - heap : 0;
  EXPECT_LT(grown, std::size_t{64} * 1024) << "heap grew by " << grown << " bytes";
#endif
  EXPECT_EQ(sim.ConnectionCount(), 10200u);
}

}  // namespace
