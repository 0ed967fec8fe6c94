// The HTTP probe against routers that misbehave on purpose: each answer has one verdict, a trace
// that says what happened, and an end well before the probe's time-outs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/debug_trace.h"
#include "platform/base/codepage.h"
#include "platform/inet/internet.h"
#include "platform/kernel/debug_output.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/sync.h"
#include "probe/check_velmor_web.h"
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"

namespace {

using velmor::test::RouterAnswer;
using velmor::test::RouterSim;
using velmor::test::TraceCapture;
using Behaviour = RouterAnswer::Behaviour;
using Traces = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

const std::string kFound = "Found K7100 code in html head\n";
const std::string kNotFound = "Not found 7100 code in html head\n";
const std::string kOpenFail = "OpenURL Fail\n";
const std::string kReadFail = "Web ReadFail\n";
const std::string k401 = "QueryStatus is 401";
const std::string kRealm = "Kavel-7100 Web CU";

std::string Status(int code) { return "QueryStatus code: " + std::to_string(code); }

// The head as the probe traces it: through the code-page conversion, invalid bytes included.
std::string Traced(const std::string& head) { return platform::Utf16ToUtf8(platform::AnsiToWide(head)); }

RouterAnswer With(RouterAnswer answer, Behaviour behaviour) {
  answer.behaviour = behaviour;
  return answer;
}

RouterAnswer Raw(std::string bytes) {
  RouterAnswer answer;
  answer.behaviour = Behaviour::kRaw;
  answer.body = std::move(bytes);
  return answer;
}

RouterAnswer WithHeaders(RouterAnswer answer, std::vector<std::string> lines) {
  for (std::string& line : lines) answer.extraHeaders.push_back(std::move(line));
  return answer;
}

std::vector<std::string> Filler(std::size_t count, std::size_t length) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < count; ++i) lines.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(length, 'f'));
  return lines;
}

std::vector<std::string> Challenges(std::size_t count, std::size_t realmAt) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string realm = i == realmAt ? kRealm : "realm " + std::to_string(i);
    lines.push_back("WWW-Authenticate: Basic realm=\"" + realm + "\"");
  }
  return lines;
}

class HostileRouterTest : public ::testing::Test {
 protected:
  void SetUp() override { g_bDebugMessage = true; }
  void TearDown() override { g_bDebugMessage = false; }

  // Probes the simulator's page and checks that the probe ended well inside its time-outs.
  BOOL Probe(const RouterSim& sim) {
    const auto start = Clock::now();
    const BOOL result = CheckVelmorWeb(sim.ProbeAddress().c_str());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    return result;
  }

  TraceCapture trace_;
};

// ---- one answer, one verdict ----

struct HostileCase {
  const char* name;
  RouterSim::Answers answers;
  BOOL result;
  Traces traces;
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

RouterSim::Answers Page(RouterAnswer answer) { return {{velmor::test::kProbePath, std::move(answer)}}; }

std::vector<HostileCase> HostileCases() {
  const std::string marker = "<title>Kavel-7100 </title>\n";
  // Large but within what a head may be: the answer still counts.
  const RouterAnswer bigHead = WithHeaders(RouterAnswer::Status(200, marker), Filler(100, 1000));
  // A head beyond any router's: the exchange ends before a status is known.
  const RouterAnswer hugeHead = WithHeaders(RouterAnswer::Status(200, marker), Filler(400, 1000));
  const RouterAnswer hugeLine = WithHeaders(RouterAnswer::Status(200, marker), {"X-Huge: " + std::string(300000, 'h')});
  const RouterAnswer hundredWithRealm = WithHeaders(RouterAnswer::Status(401), Challenges(100, 73));
  const RouterAnswer hundredWithout = WithHeaders(RouterAnswer::Status(401), Challenges(100, 100));
  const RouterAnswer binaryHeaders = WithHeaders(RouterAnswer::Challenge(kRealm),
                                                 {"X-Bytes: \xff\xfe\xc3\x28\xa0\xa1\xe2\x82\x01\x1b[31m",
                                                  "X-\x80\x81: \xf0\x9f\x98"});
  const RouterAnswer binaryAroundRealm = RouterAnswer::Challenge("\xff" + kRealm + "\xc3");
  const RouterAnswer binaryInsideRealm = RouterAnswer::Challenge("Kavel-7100\xa0Web CU");

  RouterSim::Answers loop;
  loop[velmor::test::kProbePath] = RouterAnswer::Redirect(302, "/a");
  loop["/a"] = RouterAnswer::Redirect(301, "/admin/pcapp.asp");
  RouterSim::Answers toFile = Page(RouterAnswer::Redirect(302, "file:///etc/passwd"));
  RouterSim::Answers toOtherScheme = Page(RouterAnswer::Redirect(307, "ftp://127.0.0.1/Kavel-7100"));

  return {
      {"LargeHeadWithinBound", Page(bigHead), TRUE, {Status(200), Status(200), kFound}},
      {"GiganticHead", Page(hugeHead), FALSE, {kOpenFail}},
      {"GiganticHeaderLine", Page(hugeLine), FALSE, {kOpenFail}},
      {"InvalidStatusLine", Page(Raw("HTTP/1.1 abc Kavel-7100 \r\nContent-Length: 12\r\n\r\nKavel-7100 \n")), FALSE,
       {kOpenFail}},
      {"StatusLineOfAnotherProtocol", Page(Raw("RTSP/1.0 200 OK\r\nContent-Length: 12\r\n\r\nKavel-7100 \n")), FALSE,
       {kOpenFail}},
      {"StatusLineWithoutHeaders", Page(Raw("HTTP/1.1 200 OK\r\n")), FALSE, {kOpenFail}},
      // No status line at all: the marker in it does not count.
      {"Http09", Page(Raw("<html><title>Kavel-7100 </title></html>\n")), FALSE, {kOpenFail}},
      {"EmptyAnswer", Page(Raw("")), FALSE, {kOpenFail}},
      {"RedirectLoop", loop, FALSE, {kOpenFail}},
      {"RedirectToFile", toFile, FALSE, {kOpenFail}},
      {"RedirectToAnotherScheme", toOtherScheme, FALSE, {kOpenFail}},
      {"HundredChallengesOneWithRealm", Page(hundredWithRealm), TRUE, {Status(401), k401, Traced(hundredWithRealm.Head())}},
      {"HundredChallengesNoneWithRealm", Page(hundredWithout), FALSE, {Status(401), k401, Traced(hundredWithout.Head())}},
      {"NonUtf8HeaderBytes", Page(binaryHeaders), TRUE, {Status(401), k401, Traced(binaryHeaders.Head())}},
      {"NonUtf8BytesAroundRealm", Page(binaryAroundRealm), TRUE, {Status(401), k401, Traced(binaryAroundRealm.Head())}},
      {"NonUtf8ByteInsideRealm", Page(binaryInsideRealm), FALSE, {Status(401), k401, Traced(binaryInsideRealm.Head())}},
      {"ResetDuringHead", Page(With(RouterAnswer::Challenge(kRealm), Behaviour::kResetInHead)), FALSE, {kOpenFail}},
  };
}

class HostileAnswers : public HostileRouterTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileAnswers, VerdictAndTrace) {
  RouterSim sim(GetParam().answers);
  EXPECT_EQ(Probe(sim), GetParam().result);
  EXPECT_EQ(trace_.Lines(), GetParam().traces);
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileAnswers, ::testing::ValuesIn(HostileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- chunk boundaries are the transport's business, never the reader's ----

TEST_F(HostileRouterTest, MarkerSplitAtEveryChunkBoundaryIsFound) {
  for (std::size_t chunk = 1; chunk <= 12; ++chunk) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    RouterAnswer answer = RouterAnswer::Status(200, "<html>\n<title>Kavel-7100 </title>\n");
    answer.chunked = true;
    answer.chunkSize = chunk;
    RouterSim sim(answer);
    trace_.Clear();
    EXPECT_EQ(Probe(sim), TRUE);
    EXPECT_EQ(trace_.Lines(), (Traces{Status(200), Status(200), kNotFound, kFound}));
  }
}

// ---- bounds ----

TEST_F(HostileRouterTest, EndlessBodyEndsAtTheBoundWithNoRouter) {
  RouterSim sim(With(RouterAnswer::Status(200, std::string(4095, 'e') + "\n"), Behaviour::kEndless));
  EXPECT_EQ(Probe(sim), FALSE);
  const Traces lines = trace_.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), kReadFail);
  // Every piece of the first MiB was read and searched; nothing after it.
  const std::size_t pieces = platform::inet::kMaxBodyBytes / 2046 + 1;
  EXPECT_GE(trace_.Count(kNotFound), pieces - 1);
  EXPECT_LE(trace_.Count(kNotFound), pieces + platform::inet::kMaxBodyBytes / 4096);
}

// ---- other hosts ----

TEST_F(HostileRouterTest, RedirectToAnotherLoopbackHostIsFollowed) {
  RouterSim other(RouterAnswer::Status(200, "<title>Kavel-7100 </title>\n"), "127.0.0.2");
  RouterSim sim(RouterAnswer::Redirect(302, "http://" + other.ProbeAddress()));
  EXPECT_EQ(Probe(sim), TRUE);
  EXPECT_EQ(trace_.Lines(), (Traces{Status(200), Status(200), kFound}));
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].target, velmor::test::kProbePath);
}

TEST_F(HostileRouterTest, RedirectToAnotherHostsFileIsNotFollowed) {
  RouterSim other(RouterAnswer::Status(200, "<title>Kavel-7100 </title>\n"), "127.0.0.2");
  RouterSim sim(RouterAnswer::Redirect(302, "file://127.0.0.2" + std::string(velmor::test::kProbePath)));
  EXPECT_EQ(Probe(sim), FALSE);
  EXPECT_EQ(trace_.Lines(), Traces{kOpenFail});
  EXPECT_EQ(other.ConnectionCount(), 0u);
}

// ---- a slow drip ----

TEST_F(HostileRouterTest, SlowDripKeepsTheProbeWaitingUntilItIsStopped) {
  // One byte a second, each a line of its own: the probe keeps reading and searching, with no
  // failure, for as long as the router keeps sending; only a stop request ends it.
  RouterAnswer answer = RouterAnswer::Status(200, std::string(60, '\n'));
  answer.behaviour = Behaviour::kDrip;
  answer.dripInterval = std::chrono::milliseconds(1000);
  RouterSim sim(answer);

  HANDLE thirdPiece = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Traces lines;
  std::mutex mutex;
  platform::kernel::SetDebugOutputSink([&](std::u16string_view text) {
    std::lock_guard lock(mutex);
    lines.push_back(platform::Utf16ToUtf8(text));
    if (std::count(lines.begin(), lines.end(), kNotFound) == 3) SetEvent(thirdPiece);
  });
  const std::string address = sim.ProbeAddress();
  HANDLE thread = platform::kernel::StartThread([address] { return static_cast<DWORD>(CheckVelmorWeb(address.c_str())); });
  ASSERT_EQ(WaitForSingleObject(thirdPiece, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  const auto stop = Clock::now();
  TerminateThread(thread, 0);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_LT(Clock::now() - stop, std::chrono::milliseconds(100));
  DWORD result = STILL_ACTIVE;
  GetExitCodeThread(thread, &result);
  EXPECT_EQ(result, static_cast<DWORD>(FALSE));
  CloseHandle(thread);
  CloseHandle(thirdPiece);
  platform::kernel::SetDebugOutputSink(nullptr);

  std::lock_guard lock(mutex);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(Traces(lines.begin(), lines.begin() + 5), (Traces{Status(200), Status(200), kNotFound, kNotFound, kNotFound}));
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i], kNotFound);
}

}  // namespace
