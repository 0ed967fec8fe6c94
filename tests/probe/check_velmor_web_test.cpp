// The HTTP identification probe against the router simulator, well-behaved and hostile: each answer
// has one verdict, an exact trace, and an end well before the probe's time-outs.
#include "probe/check_velmor_web.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "trace/debug_trace.h"
#include "platform/base/codepage.h"
#include "platform/inet/internet.h"
#include "platform/kernel/debug_output.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/sync.h"
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"

namespace {

using velmor::test::kProbePath;
using velmor::test::RefusingPeer;
using velmor::test::RouterAnswer;
using velmor::test::RouterSim;
using velmor::test::TraceCapture;
using Behaviour = RouterAnswer::Behaviour;
using Clock = std::chrono::steady_clock;
using Traces = std::vector<std::string>;

const std::string kFound = "Found K7100 code in html head\n";
const std::string kNotFound = "Not found 7100 code in html head\n";
const std::string kOpenFail = "OpenURL Fail\n";
const std::string kReadFail = "Web ReadFail\n";
const std::string kRealm = "Kavel-7100 Web CU";

std::string Status(int code) { return "QueryStatus code: " + std::to_string(code); }

Traces Repeat(const std::string& line, std::size_t times) { return Traces(times, line); }

Traces operator+(Traces a, const Traces& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The trace of a successful answer: its status twice, then what searching the body gave.
Traces Searched(int status, const Traces& search) { return Traces{Status(status), Status(status)} + search; }

RouterAnswer With(RouterAnswer answer, Behaviour behaviour) {
  answer.behaviour = behaviour;
  return answer;
}

RouterAnswer WithHeaders(RouterAnswer answer, const std::vector<std::string>& lines) {
  answer.extraHeaders.insert(answer.extraHeaders.end(), lines.begin(), lines.end());
  return answer;
}

RouterSim::Answers Page(RouterAnswer answer) { return {{kProbePath, std::move(answer)}}; }

RouterSim::Answers Answer(int status, std::string body = {}, Behaviour behaviour = Behaviour::kRespond) {
  return Page(With(RouterAnswer::Status(status, std::move(body)), behaviour));
}

// `bytes` as the whole answer, with no head of the simulator's.
RouterSim::Answers Raw(std::string bytes) {
  RouterAnswer answer = With(RouterAnswer(), Behaviour::kRaw);
  answer.body = std::move(bytes);
  return Page(std::move(answer));
}

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { g_bDebugMessage = true; }
  void TearDown() override { g_bDebugMessage = false; }

  // Probes the simulator's page and checks that the probe ended well inside its time-outs.
  static BOOL Probe(const RouterSim& sim) {
    const auto start = Clock::now();
    const BOOL result = CheckVelmorWeb(sim.ProbeAddress().c_str());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    return result;
  }

  TraceCapture trace_;
};

// ---- one row per answer the router may give ----

struct AnswerCase {
  const char* name;
  RouterSim::Answers answers;
  BOOL result;
  Traces traces;
  std::size_t requests = 0;  // 0: one per page answered, never a retry
};

void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

// A 401 answer: its trace ends in the head as the probe traces it, through the code-page conversion,
// with `shown` in place of `sent` where the two differ.
AnswerCase Challenged(const char* name, const RouterAnswer& answer, BOOL result, const std::string& sent = "",
                      const std::string& shown = "") {
  std::string head = platform::Utf16ToUtf8(platform::AnsiToWide(answer.Head()));
  if (!sent.empty()) head.replace(head.find(sent), sent.size(), shown);
  return {name, Page(answer), result, {Status(401), "QueryStatus is 401", head}};
}

std::vector<AnswerCase> AnswerCases() {
  const std::string marker = "<title>Kavel-7100 </title>\n";
  std::vector<std::string> filler, challenges;
  for (int i = 0; i < 400; ++i) filler.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'f'));
  for (int i = 0; i < 100; ++i) {
    challenges.push_back("WWW-Authenticate: Basic realm=\"" + (i == 73 ? kRealm : "realm " + std::to_string(i)) + "\"");
  }
  const auto head = [&](std::size_t lines) {
    return WithHeaders(RouterAnswer::Status(200, marker), std::vector<std::string>(filler.begin(), filler.begin() + lines));
  };
  const RouterAnswer realm = RouterAnswer::Challenge(kRealm);

  RouterSim::Answers redirected = Page(RouterAnswer::Redirect(302, "/index.asp"));
  redirected["/index.asp"] = RouterAnswer::Status(200, "<title>Kavel-7100 </title>\n");
  RouterSim::Answers loop = Page(RouterAnswer::Redirect(302, "/a"));
  loop["/a"] = RouterAnswer::Redirect(301, kProbePath);

  return {
      // The marker in the body of any 2xx answer, piece by piece.
      {"MarkerWithoutItsBlank", Answer(200, "<title>Kavel-7100</title>\nKavel-7100\n"), FALSE,
       Searched(200, Repeat(kNotFound, 2))},
      {"MarkerIsCaseSensitive", Answer(200, "kavel-7100 \n"), FALSE, Searched(200, {kNotFound})},
      {"MarkerInA299", Answer(299, "x Kavel-7100 x"), TRUE, Searched(299, {kFound})},
      {"MarkerEndingAtThePiecesEnd", Answer(200, std::string(2035, 'x') + "Kavel-7100 \n"), TRUE, Searched(200, {kFound})},
      {"MarkerSplitByALongLine", Answer(200, std::string(2040, 'x') + "Kavel-7100 \n"), FALSE,
       Searched(200, Repeat(kNotFound, 2))},
      {"MarkerAfterAZeroByte", Answer(200, std::string("abc\0Kavel-7100 \n", 16)), FALSE, Searched(200, {kNotFound})},
      {"ZeroByteOnAnEarlierLine", Answer(200, std::string("abc\0\nKavel-7100 \n", 17)), TRUE,
       Searched(200, {kNotFound, kFound})},
      {"EmptyBody", Answer(200), FALSE, Searched(200, {})},
      // Reading stops at the marker, so the rest of an endless body is never fetched.
      {"MarkerFirstInAnEndlessBody", Answer(200, "Kavel-7100 \n", Behaviour::kEndless), TRUE, Searched(200, {kFound})},
      {"BodyCutBeforeTheMarker", Answer(200, "line\nline\nKavel-7100 \nline\n", Behaviour::kCloseMidBody), FALSE,
       Searched(200, Repeat(kNotFound, 3) + Traces{kReadFail})},
      // Other answers.
      {"MarkerIn404", Answer(404, "Kavel-7100 \n"), FALSE, {Status(404)}},
      {"RedirectWithoutLocation", Answer(302, "Kavel-7100 \n"), FALSE, {Status(302)}},
      {"RedirectToThePage", redirected, TRUE, Searched(200, {kFound})},
      // The realm anywhere in the head of a 401; the body of a 401 is never read.
      Challenged("Realm", realm, TRUE),
      Challenged("RealmInOtherLetterCase", RouterAnswer::Challenge("kavel-7100 web cu"), FALSE),
      Challenged("RealmTextInAnotherHeader", WithHeaders(RouterAnswer::Challenge("admin"), {"X-Model: " + kRealm}), TRUE),
      Challenged("RealmWithEndlessBody", With(realm, Behaviour::kEndless), TRUE),
      {"RealmOutsideA401",
       Page(WithHeaders(RouterAnswer::Status(200, "page\n"), {"WWW-Authenticate: Basic realm=\"" + kRealm + "\""})),
       FALSE, Searched(200, {kNotFound})},
      Challenged("HundredChallengesOneWithRealm", WithHeaders(RouterAnswer::Status(401), challenges), TRUE),
      Challenged("NonUtf8HeaderBytes",
                 WithHeaders(realm, {"X-Bytes: \xff\xfe\xc3\x28\xa0\xa1\xe2\x82", "X-\x80\x81: \xf0\x9f\x98"}), TRUE),
      // The trace keeps the head's line ends and tabs; other control characters become escapes.
      Challenged("ControlCharactersInTheHead", WithHeaders(realm, {"X-Esc: \x1b]0;t\x07\x1b[2J\ry\x7f\xc2\x9b\t1"}), TRUE,
                 "\x1b]0;t\x07\x1b[2J\ry\x7f\xc2\x9b\t1", "\\x1B]0;t\\x07\\x1B[2J\\x0Dy\\x7F\\x9B\t1"),
      Challenged("NonUtf8BytesAroundRealm", RouterAnswer::Challenge("\xff" + kRealm + "\xc3"), TRUE),
      Challenged("NonUtf8ByteInsideRealm", RouterAnswer::Challenge("Kavel-7100\xa0Web CU"), FALSE),
      // Broken or hostile answers: no status, so no router, whatever the bytes hold.
      {"LargeHeadWithinBound", Page(head(100)), TRUE, Searched(200, {kFound})},
      {"GiganticHead", Page(head(400)), FALSE, {kOpenFail}},
      {"GiganticHeaderLine", Page(WithHeaders(RouterAnswer::Status(200, marker), {"X-Huge: " + std::string(300000, 'h')})),
       FALSE, {kOpenFail}},
      {"InvalidStatusLine", Raw("HTTP/1.1 abc Kavel-7100 \r\nContent-Length: 12\r\n\r\nKavel-7100 \n"), FALSE, {kOpenFail}},
      {"StatusLineOfAnotherProtocol", Raw("RTSP/1.0 200 OK\r\nContent-Length: 12\r\n\r\nKavel-7100 \n"), FALSE,
       {kOpenFail}},
      {"StatusLineWithoutHeaders", Raw("HTTP/1.1 200 OK\r\n"), FALSE, {kOpenFail}},
      {"Http09", Raw("<html><title>Kavel-7100 </title></html>\n"), FALSE, {kOpenFail}},
      {"EmptyAnswer", Raw(""), FALSE, {kOpenFail}},
      {"ResetDuringHead", Page(With(realm, Behaviour::kResetInHead)), FALSE, {kOpenFail}},
      {"RedirectLoop", loop, FALSE, {kOpenFail}, 11},
      {"RedirectToFile", Page(RouterAnswer::Redirect(302, "file:///etc/passwd")), FALSE, {kOpenFail}},
  };
}

class ProbeAnswers : public ProbeTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ProbeAnswers, ResultAndTrace) {
  const AnswerCase& c = GetParam();
  RouterSim sim(c.answers);
  EXPECT_EQ(Probe(sim), c.result);
  EXPECT_EQ(trace_.Lines(), c.traces);
  EXPECT_EQ(sim.Requests().size(), c.requests != 0 ? c.requests : c.answers.size());
}

INSTANTIATE_TEST_SUITE_P(ProbeRouter, ProbeAnswers, ::testing::ValuesIn(AnswerCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Chunk boundaries are the transport's business, never the reader's.
TEST_F(ProbeTest, AMarkerSplitAtEveryChunkBoundaryIsFound) {
  for (std::size_t chunk = 1; chunk <= 12; ++chunk) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    RouterAnswer answer = RouterAnswer::Status(200, "<html>\n<title>Kavel-7100 </title>\n");
    answer.chunked = true;
    answer.chunkSize = chunk;
    RouterSim sim(answer);
    trace_.Clear();
    EXPECT_EQ(Probe(sim), TRUE);
    EXPECT_EQ(trace_.Lines(), Searched(200, {kNotFound, kFound}));
  }
}

TEST_F(ProbeTest, FailuresBeforeAnyAnswerAreNoRouter) {
  RefusingPeer peer;
  EXPECT_EQ(CheckVelmorWeb((peer.HostPort() + kProbePath).c_str()), FALSE);
  // Cut to the URL buffer, this address would still name the simulator's page: it is never asked for.
  RouterSim sim(RouterAnswer::Status(200, "Kavel-7100 \n"));
  EXPECT_EQ(CheckVelmorWeb((sim.ProbeAddress() + "?" + std::string(200, 'a')).c_str()), FALSE);
  EXPECT_TRUE(sim.Requests().empty());
  EXPECT_EQ(trace_.Lines(), Repeat(kOpenFail, 2));
}

// ---- stop requests ----

// Runs the probe on a platform thread; once `ready` holds, checks that it is still running, asks
// the thread to stop, and checks that the probe then ends at once, with FALSE.
void ExpectStopEndsProbe(const std::string& address, const std::function<bool()>& ready) {
  HANDLE thread = platform::kernel::StartThread([address] { return static_cast<DWORD>(CheckVelmorWeb(address.c_str())); });
  ASSERT_TRUE(ready());
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  const auto start = Clock::now();
  TerminateThread(thread, 0);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
  DWORD result = STILL_ACTIVE;
  GetExitCodeThread(thread, &result);
  EXPECT_EQ(result, static_cast<DWORD>(FALSE));
  CloseHandle(thread);
}

TEST_F(ProbeTest, AStopWhileThePeerIsSilentEndsTheProbe) {
  RouterSim sim(With(RouterAnswer(), Behaviour::kSilent));
  ExpectStopEndsProbe(sim.ProbeAddress(), [&] { return sim.WaitForRequests(1, std::chrono::seconds(5)); });
  EXPECT_EQ(trace_.Lines(), Traces{kOpenFail});
}

TEST_F(ProbeTest, AStopWhileTheBodyStallsEndsTheProbeAfterSearchingWhatArrived) {
  // Half of the body arrives: one whole piece, and the start of the next, which never ends.
  RouterSim sim(With(RouterAnswer::Status(200, std::string(6000, 'x')), Behaviour::kStallMidBody));
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
  EXPECT_EQ(lines, Searched(200, {kNotFound, kNotFound, kReadFail}));
}

}  // namespace
