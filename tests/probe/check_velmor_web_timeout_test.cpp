// The probe under the HTTP client's default time-outs, on real time: a gateway that takes the
// connection but never answers, and one that never completes the connection.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "trace/debug_trace.h"
#include "probe/check_velmor_web.h"
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"

namespace {

using std::chrono::milliseconds;
using velmor::test::RouterAnswer;
using velmor::test::RouterSim;
using velmor::test::TraceCapture;

struct Timed {
  BOOL result;
  milliseconds took;
};

Timed Probe(const std::string& address) {
  const auto start = std::chrono::steady_clock::now();
  const BOOL result = CheckVelmorWeb(address.c_str());
  return {result, std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start)};
}

class ProbeTimeouts : public ::testing::Test {
 protected:
  void SetUp() override { g_bDebugMessage = true; }
  void TearDown() override { g_bDebugMessage = false; }
  TraceCapture trace_;
};

TEST_F(ProbeTimeouts, APeerThatNeverAnswersFailsAfterTenSeconds) {
  RouterAnswer silent;
  silent.behaviour = RouterAnswer::Behaviour::kSilent;
  RouterSim sim(silent);
  const Timed probe = Probe(sim.ProbeAddress());
  EXPECT_EQ(probe.result, FALSE);
  EXPECT_GE(probe.took, milliseconds(10000));
  EXPECT_LT(probe.took, milliseconds(11500));
  EXPECT_EQ(trace_.Lines(), std::vector<std::string>{"OpenURL Fail\n"});
  EXPECT_EQ(sim.Requests().size(), 1u);
}

TEST_F(ProbeTimeouts, APeerThatNeverCompletesTheConnectionFailsAfterFiveSeconds) {
  velmor::test::UnconnectablePeer peer;
  const Timed probe = Probe(peer.HostPort() + velmor::test::kProbePath);
  EXPECT_EQ(probe.result, FALSE);
  EXPECT_GE(probe.took, milliseconds(5000));
  EXPECT_LT(probe.took, milliseconds(6500));
  EXPECT_EQ(trace_.Lines(), std::vector<std::string>{"OpenURL Fail\n"});
}

}  // namespace
