// The HTTP identification probe against the router simulator: its result and its exact trace.
#include "probe/check_velmor_web.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"

namespace {

using velmor::test::RefusingPeer;
using velmor::test::RouterAnswer;
using velmor::test::RouterSim;
using velmor::test::TraceCapture;
using Behaviour = RouterAnswer::Behaviour;
using Traces = std::vector<std::string>;

const std::string kFound = "Found K7100 code in html head\n";
const std::string kNotFound = "Not found 7100 code in html head\n";
const std::string kOpenFail = "OpenURL Fail\n";
const std::string kReadFail = "Web ReadFail\n";

std::string Status(int code) { return "QueryStatus code: " + std::to_string(code); }

Traces Repeat(const std::string& line, std::size_t times) { return Traces(times, line); }

Traces operator+(Traces a, const Traces& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { g_bDebugMessage = true; }
  void TearDown() override { g_bDebugMessage = false; }
  TraceCapture trace_;
};

// ---- one row per answer the router may give ----

struct AnswerCase {
  const char* name;
  RouterSim::Answers answers;
  BOOL result;
  Traces traces;
};

void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

RouterSim::Answers Page(RouterAnswer answer) { return {{velmor::test::kProbePath, std::move(answer)}}; }

RouterAnswer With(RouterAnswer answer, Behaviour behaviour) {
  answer.behaviour = behaviour;
  return answer;
}

RouterAnswer Chunked(RouterAnswer answer, std::size_t chunkSize) {
  answer.chunked = true;
  answer.chunkSize = chunkSize;
  return answer;
}

RouterAnswer WithHeader(RouterAnswer answer, std::string line) {
  answer.extraHeaders.push_back(std::move(line));
  return answer;
}

std::string Lines(int count) {
  std::string body;
  for (int i = 0; i < count; ++i) body += "<p>line " + std::to_string(i) + "</p>\r\n";
  return body;
}

std::vector<AnswerCase> AnswerCases() {
  const RouterAnswer realm = RouterAnswer::Challenge("Kavel-7100 Web CU");
  const RouterAnswer realmOtherCase = RouterAnswer::Challenge("kavel-7100 web cu");
  const RouterAnswer realmElsewhere = WithHeader(RouterAnswer::Challenge("admin"), "X-Model: Kavel-7100 Web CU");
  const RouterAnswer realmEndless = With(RouterAnswer::Challenge("Kavel-7100 Web CU"), Behaviour::kEndless);
  const std::string line1024 = std::string(1023, 'x') + "\n";
  const std::size_t piecesInBound = platform::inet::kMaxBodyBytes / line1024.size();

  RouterSim::Answers redirected;
  redirected[velmor::test::kProbePath] = RouterAnswer::Redirect(302, "/index.asp");
  redirected["/index.asp"] = RouterAnswer::Status(200, "<title>Kavel-7100 </title>\n");

  return {
      {"MarkerOnTheSecondLine", Page(RouterAnswer::Status(200, "<html><head>\n<title>Kavel-7100 Settings</title>\n")),
       TRUE, {Status(200), Status(200), kNotFound, kFound}},
      {"MarkerWithoutItsBlank", Page(RouterAnswer::Status(200, "<title>Kavel-7100</title>\nKavel-7100\n")), FALSE,
       Traces{Status(200), Status(200)} + Repeat(kNotFound, 2)},
      {"MarkerIsCaseSensitive", Page(RouterAnswer::Status(200, "kavel-7100 \n")), FALSE,
       {Status(200), Status(200), kNotFound}},
      {"MarkerInA203", Page(RouterAnswer::Status(203, "Kavel-7100 \n")), TRUE, {Status(203), Status(203), kFound}},
      {"MarkerInA299", Page(RouterAnswer::Status(299, "x Kavel-7100 x")), TRUE, {Status(299), Status(299), kFound}},
      {"MarkerAcrossChunks", Page(Chunked(RouterAnswer::Status(200, "line one\nline Kavel-7100 two\n"), 4)), TRUE,
       {Status(200), Status(200), kNotFound, kFound}},
      {"MarkerEndingAtThePiecesEnd", Page(RouterAnswer::Status(200, std::string(2035, 'x') + "Kavel-7100 \n")), TRUE,
       {Status(200), Status(200), kFound}},
      {"MarkerSplitByALongLine", Page(RouterAnswer::Status(200, std::string(2040, 'x') + "Kavel-7100 \n")), FALSE,
       Traces{Status(200), Status(200)} + Repeat(kNotFound, 2)},
      {"MarkerAfterAZeroByte", Page(RouterAnswer::Status(200, std::string("abc\0Kavel-7100 \n", 16))), FALSE,
       {Status(200), Status(200), kNotFound}},
      {"ZeroByteOnAnEarlierLine", Page(RouterAnswer::Status(200, std::string("abc\0\nKavel-7100 \n", 17))), TRUE,
       {Status(200), Status(200), kNotFound, kFound}},
      {"EmptyBody", Page(RouterAnswer::Status(200)), FALSE, {Status(200), Status(200)}},
      {"ManyLinesWithoutMarker", Page(RouterAnswer::Status(200, Lines(50))), FALSE,
       Traces{Status(200), Status(200)} + Repeat(kNotFound, 50)},
      {"MarkerIn404", Page(RouterAnswer::Status(404, "Kavel-7100 \n")), FALSE, {Status(404)}},
      {"MarkerIn500", Page(RouterAnswer::Status(500, "Kavel-7100 \n")), FALSE, {Status(500)}},
      {"RedirectWithoutLocation", Page(RouterAnswer::Status(302, "Kavel-7100 \n")), FALSE, {Status(302)}},
      {"RedirectToThePage", redirected, TRUE, {Status(200), Status(200), kFound}},
      {"Realm", Page(realm), TRUE, {Status(401), "QueryStatus is 401", realm.Head()}},
      {"RealmInOtherLetterCase", Page(realmOtherCase), FALSE, {Status(401), "QueryStatus is 401", realmOtherCase.Head()}},
      {"RealmTextInAnotherHeader", Page(realmElsewhere), TRUE,
       {Status(401), "QueryStatus is 401", realmElsewhere.Head()}},
      // The body of a 401 is never read: an endless one changes nothing.
      {"RealmWithEndlessBody", Page(realmEndless), TRUE, {Status(401), "QueryStatus is 401", realmEndless.Head()}},
      {"RealmOutsideA401", Page(WithHeader(RouterAnswer::Status(200, "page\n"), "WWW-Authenticate: Basic realm=\"Kavel-7100 Web CU\"")),
       FALSE, {Status(200), Status(200), kNotFound}},
      // Reading stops at the marker, so the rest of an endless body is never fetched.
      {"MarkerFirstInAnEndlessBody", Page(With(RouterAnswer::Status(200, "Kavel-7100 \n"), Behaviour::kEndless)), TRUE,
       {Status(200), Status(200), kFound}},
      {"EndlessBodyWithoutMarker", Page(With(RouterAnswer::Status(200, line1024), Behaviour::kEndless)), FALSE,
       Traces{Status(200), Status(200)} + Repeat(kNotFound, piecesInBound) + Traces{kReadFail}},
      {"BodyCutBeforeTheMarker", Page(With(RouterAnswer::Status(200, "line\nline\nKavel-7100 \nline\n"), Behaviour::kCloseMidBody)),
       FALSE, Traces{Status(200), Status(200)} + Repeat(kNotFound, 3) + Traces{kReadFail}},
      {"BodyCutAfterTheMarker", Page(With(RouterAnswer::Status(200, "Kavel-7100 \nmore\nmore\nmore\n"), Behaviour::kCloseMidBody)),
       TRUE, {Status(200), Status(200), kFound}},
  };
}

class ProbeAnswers : public ProbeTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ProbeAnswers, ResultAndTrace) {
  const AnswerCase& c = GetParam();
  RouterSim sim(c.answers);
  EXPECT_EQ(CheckVelmorWeb(sim.ProbeAddress().c_str()), c.result);
  EXPECT_EQ(trace_.Lines(), c.traces);
  // One request per probe, never a retry.
  EXPECT_EQ(sim.Requests().size(), c.answers.size());
}

INSTANTIATE_TEST_SUITE_P(ProbeRouter, ProbeAnswers, ::testing::ValuesIn(AnswerCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- failures before any answer ----

TEST_F(ProbeTest, ARefusedConnectionIsNoRouter) {
  RefusingPeer peer;
  EXPECT_EQ(CheckVelmorWeb((peer.HostPort() + velmor::test::kProbePath).c_str()), FALSE);
  EXPECT_EQ(trace_.Lines(), Traces{kOpenFail});
}

TEST_F(ProbeTest, AnAddressTooLongForTheUrlIsNeverRequested) {
  RouterSim sim(RouterAnswer::Status(200, "Kavel-7100 \n"));
  // Cut to the URL buffer, this would still name the simulator's page.
  const std::string address = sim.ProbeAddress() + "?" + std::string(200, 'a');
  EXPECT_EQ(CheckVelmorWeb(address.c_str()), FALSE);
  EXPECT_EQ(trace_.Lines(), Traces{kOpenFail});
  EXPECT_TRUE(sim.Requests().empty());
}

TEST_F(ProbeTest, TheRequestIsTheProbesPageByGet) {
  RouterSim sim(RouterAnswer::Status(200, "Kavel-7100 \n"));
  ASSERT_TRUE(CheckVelmorWeb(sim.ProbeAddress().c_str()));
  const auto requests = sim.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/admin/pcapp.asp");
  EXPECT_EQ(requests[0].Header("User-Agent"), "check_velmor_web_test");
}

// ---- stop requests ----

// Runs the probe on a platform thread, asks the thread to stop once `ready` holds, and checks
// that the probe then ends at once, with FALSE.
void ExpectStopEndsProbe(const std::string& address, const std::function<bool()>& ready) {
  HANDLE thread = platform::kernel::StartThread([address] { return static_cast<DWORD>(CheckVelmorWeb(address.c_str())); });
  ASSERT_TRUE(ready());
  const auto start = std::chrono::steady_clock::now();
  TerminateThread(thread, 0);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  DWORD result = STILL_ACTIVE;
  GetExitCodeThread(thread, &result);
  EXPECT_EQ(result, static_cast<DWORD>(FALSE));
  CloseHandle(thread);
}

TEST_F(ProbeTest, AStopWhileThePeerIsSilentEndsTheProbe) {
  RouterAnswer answer;
  answer.behaviour = Behaviour::kSilent;
  RouterSim sim(answer);
  ExpectStopEndsProbe(sim.ProbeAddress(), [&] { return sim.WaitForRequests(1, std::chrono::seconds(5)); });
  EXPECT_EQ(trace_.Lines(), Traces{kOpenFail});
}

TEST_F(ProbeTest, AStopWhileTheBodyStallsEndsTheProbe) {
  // Half of the body arrives: one whole piece, and the start of the next, which never ends.
  RouterAnswer answer = RouterAnswer::Status(200, std::string(6000, 'x'));
  answer.behaviour = Behaviour::kStallMidBody;
  RouterSim sim(answer);
  HANDLE firstPiece = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Traces lines;
  std::mutex mutex;
  platform::kernel::SetDebugOutputSink([&](std::u16string_view text) {
    std::lock_guard lock(mutex);
    lines.push_back(platform::Utf16ToUtf8(text));
    if (lines.back() == kNotFound) SetEvent(firstPiece);
  });
  ExpectStopEndsProbe(sim.ProbeAddress(), [&] { return WaitForSingleObject(firstPiece, 5000) == WAIT_OBJECT_0; });
  platform::kernel::SetDebugOutputSink(nullptr);
  CloseHandle(firstPiece);
  // What had arrived is still searched; then the failure ends the search.
  EXPECT_EQ(lines, (Traces{Status(200), Status(200), kNotFound, kNotFound, kReadFail}));
}

}  // namespace
