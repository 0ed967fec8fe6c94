// The HTTP identification probe against the router simulator, well-behaved and hostile: each answer
// has one verdict, an exact trace, and an end well before the probe's time-outs.
#include "probe/check_velmor_web.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "trace/debug_trace.h"
#include "platform/base/codepage.h"
#include "platform/inet/internet.h"
#include "platform/kernel/debug_output.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/sync.h"
#include "tests/support/fake_net/netns.h"
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"

namespace {

using velmor::test::kProbePath;
using velmor::test::NameServer;
using velmor::test::NetworkNamespace;
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
RouterSim::Answers Raw(std::string bytes) { return Page(RouterAnswer::Raw(std::move(bytes))); }

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
  std::string longBody;
  for (int i = 0; i < 70; ++i) longBody += std::string(1023, 'x') + "\n";
  RouterAnswer longChunked = RouterAnswer::Status(200, longBody + "Kavel-7100 \n");
  longChunked.chunked = true;
  // Header lines ended by LF alone still reach the caller ended by CR LF.
  const RouterAnswer bareLines = WithHeaders(realm, {"X-One: 1\nX-Two: 2"});
  std::string crlfHead = bareLines.Head();
  crlfHead.replace(crlfHead.find("1\nX-Two"), 2, "1\r\n");

  RouterSim::Answers redirected = Page(RouterAnswer::Redirect(302, "/index.asp"));
  redirected["/index.asp"] = RouterAnswer::Status(200, "<title>Kavel-7100 </title>\n");
  RouterSim::Answers toChallenge = Page(RouterAnswer::Redirect(303, "/login"));
  toChallenge["/login"] = realm;
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
      // A short piece ends where it ends: what a longer one left in the buffer is no part of it.
      {"LeftoverBytesCompleteNoMarker", Answer(200, "ABCDEF7100 \nKavel-"), FALSE, Searched(200, Repeat(kNotFound, 2))},
      // Carriage returns are left out of the pieces and take no room in them.
      {"MarkerAroundACarriageReturn", Answer(200, "Kavel-\r7100 \r\n"), TRUE, Searched(200, {kFound})},
      {"CarriageReturnsBeforeAMarkerThatEndsThePiece",
       Answer(200, std::string(10, '\r') + std::string(2035, 'x') + "Kavel-7100 \n"), TRUE, Searched(200, {kFound})},
      // More body than is held for the reader at once: the transfer pauses and resumes.
      {"MarkerAfter70KiB", Page(longChunked), TRUE, Searched(200, Repeat(kNotFound, 70) + Traces{kFound})},
      // An endless body is read up to 1 MiB: 10485 lines of 100 bytes and 76 bytes of the next.
      {"EndlessBodyWithoutTheMarker", Answer(200, std::string(99, 'e') + "\n", Behaviour::kEndless), FALSE,
       Searched(200, Repeat(kNotFound, 10486) + Traces{kReadFail})},
      // Reading stops at the marker, so the rest of an endless body is never fetched.
      {"MarkerFirstInAnEndlessBody", Answer(200, "Kavel-7100 \n", Behaviour::kEndless), TRUE, Searched(200, {kFound})},
      {"BodyCutBeforeTheMarker", Answer(200, "line\nline\nKavel-7100 \nline\n", Behaviour::kCloseMidBody), FALSE,
       Searched(200, Repeat(kNotFound, 3) + Traces{kReadFail})},
      // Other answers.
      {"MarkerIn404", Answer(404, "Kavel-7100 \n"), FALSE, {Status(404)}},
      {"RedirectWithoutLocation", Answer(302, "Kavel-7100 \n"), FALSE, {Status(302)}},
      {"RedirectToThePage", redirected, TRUE, Searched(200, {kFound})},
      {"RedirectToAChallenge", toChallenge, TRUE,
       {Status(401), "QueryStatus is 401", platform::Utf16ToUtf8(platform::AnsiToWide(realm.Head()))}},
      // The realm anywhere in the head of a 401; the body of a 401 is never read.
      Challenged("Realm", realm, TRUE),
      Challenged("RealmInOtherLetterCase", RouterAnswer::Challenge("kavel-7100 web cu"), FALSE),
      Challenged("RealmTextInAnotherHeader", WithHeaders(RouterAnswer::Challenge("admin"), {"X-Model: " + kRealm}), TRUE),
      Challenged("RealmWithEndlessBody", With(realm, Behaviour::kEndless), TRUE),
      {"HeaderLinesEndedByLfAlone", Page(bareLines), TRUE,
       {Status(401), "QueryStatus is 401", platform::Utf16ToUtf8(platform::AnsiToWide(crlfHead))}},
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
  const auto requests = sim.Requests();
  EXPECT_EQ(requests.size(), c.requests != 0 ? c.requests : c.answers.size());
  for (const auto& request : requests) {
    EXPECT_EQ(request.method + " " + request.Header("User-Agent"), "GET check_velmor_web_test") << request.target;
  }
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

// ---- a PC and its router, each in a network namespace of its own ----

constexpr char kRouterAddress[] = "10.9.0.1";
constexpr char kPcAddress[] = "10.9.0.2";

// The router answers at 10.9.0.1 and 10.9.0.3 and runs the PC's name server, which gives every
// name but "router.lan" and "pc.lan" the address 127.0.0.1. On the PC a server on each of its own
// addresses answers the pages a stray probe might ask for with the marker.
struct PcAndRouter {
  NetworkNamespace pc;
  NetworkNamespace router;
  std::unique_ptr<NameServer> names;
  std::vector<std::unique_ptr<RouterSim>> pcServers;
  std::string error;

  PcAndRouter() {
    error = pc.Ip({"link set lo up", "link add v0 type veth peer name v1 netns " + router.name(),
                   "addr add 10.9.0.2/24 dev v0", "addr add fd00:9::2/64 dev v0 nodad", "link set v0 up"});
    if (error.empty()) {
      error = router.Ip({"link set lo up", "addr add 10.9.0.1/24 dev v1", "addr add 10.9.0.3/24 dev v1",
                         "link set v1 up"});
    }
    if (!error.empty()) return;
    router.RunInside([&] {
      names = std::make_unique<NameServer>(kRouterAddress,
                                           std::map<std::string, std::string>{{"router.lan", kRouterAddress},
                                                                              {"pc.lan", kPcAddress}},
                                           "127.0.0.1");
    });
    const RouterAnswer marker = RouterAnswer::Status(200, "Kavel-7100 \n");
    pc.RunInside([&] {
      for (const char* address : {"127.0.0.1", "127.0.0.2", "::1", kPcAddress, "fd00:9::2"}) {
        pcServers.push_back(
            std::make_unique<RouterSim>(RouterSim::Answers{{"/secret", marker}, {"/pcapp.asp", marker}}, address, 80));
      }
    });
    if (!names || pcServers.size() != 5) error = "the servers could not start";
  }

  std::size_t PcRequests() const {
    std::size_t count = 0;
    for (const auto& server : pcServers) count += server->Requests().size();
    return count;
  }

  // Runs the probe on the PC, with the router's name server as its resolver.
  BOOL Probe(const std::string& address) {
    BOOL result = FALSE;
    const bool ran = pc.RunInside([&] { result = CheckVelmorWeb(address.c_str()); },
                                  {{"/etc/resolv.conf", std::string("nameserver ") + kRouterAddress + "\n"},
                                   {"/etc/nsswitch.conf", "hosts: files dns\n"},
                                   {"/etc/hosts", "127.0.0.1 localhost\n::1 localhost\n"}});
    EXPECT_TRUE(ran) << "could not run inside the PC's namespace";
    return result;
  }
};

class ProbeFromAPc : public ProbeTest {
 protected:
  static void SetUpTestSuite() {
    unavailable_ = NetworkNamespace::Unavailable();
    // A name service cache would answer from outside the namespace.
    if (unavailable_.empty() && access("/run/nscd/socket", F_OK) == 0) unavailable_ = "nscd runs on this machine";
    if (unavailable_.empty()) net_ = new PcAndRouter;
  }
  static void TearDownTestSuite() {
    delete net_;
    net_ = nullptr;
  }
  void SetUp() override {
    if (!unavailable_.empty()) GTEST_SKIP() << unavailable_;
    ASSERT_EQ(net_->error, "");
    ProbeTest::SetUp();
  }

  static inline PcAndRouter* net_ = nullptr;
  static inline std::string unavailable_;
};

// A link without a gateway gives the address "/admin/pcapp.asp": nothing may leave the PC for it,
// not even a name lookup.
TEST_F(ProbeFromAPc, AnEmptyGatewaySendsNothing) {
  EXPECT_EQ(net_->Probe(std::string(kProbePath)), FALSE);
  EXPECT_EQ(trace_.Lines(), Traces{kOpenFail});
  EXPECT_EQ(net_->names->Queries(), std::vector<std::string>{});
  EXPECT_EQ(net_->PcRequests(), 0u);
}

struct RedirectCase {
  const char* name;
  std::string location;
  BOOL found;               // the redirect is followed to the router's page with the marker
  bool viaProxy = false;    // the router is also the PC's proxy
};

void PrintTo(const RedirectCase& c, std::ostream* out) { *out << c.name; }

class RedirectFromTheRouter : public ProbeFromAPc, public ::testing::WithParamInterface<RedirectCase> {};

// The router answers the probe with a redirect. One that leads to the PC itself fails the probe
// before any request reaches the PC; one to the router's other addresses and names is followed.
TEST_P(RedirectFromTheRouter, NeverLeadsToThePc) {
  const RedirectCase& c = GetParam();
  RouterSim::Answers answers = Page(RouterAnswer::Redirect(302, c.location));
  answers["/secret"] = RouterAnswer::Status(200, "Kavel-7100 \n");
  std::unique_ptr<RouterSim> router;
  net_->router.RunInside([&] { router = std::make_unique<RouterSim>(answers, "0.0.0.0", 80); });
  ASSERT_NE(router, nullptr);
  const std::size_t pcRequests = net_->PcRequests();
  const std::string proxy = std::string("http://") + kRouterAddress + ":80";  // not libcurl's 1080
  if (c.viaProxy) setenv("http_proxy", proxy.c_str(), 1);
  const BOOL found = net_->Probe(std::string(kRouterAddress) + kProbePath);
  unsetenv("http_proxy");

  EXPECT_EQ(found, c.found);
  EXPECT_EQ(trace_.Lines(), c.found ? Searched(200, {kFound}) : Traces{kOpenFail});
  EXPECT_EQ(net_->PcRequests(), pcRequests);
  EXPECT_EQ(router->Requests().size(), c.found ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    ProbeRouter, RedirectFromTheRouter,
    ::testing::ValuesIn(std::vector<RedirectCase>{
        {"ToLoopback", "http://127.0.0.1/secret", FALSE},
        {"ToAnotherLoopbackAddress", "http://127.0.0.2/secret", FALSE},
        {"ToIpv6Loopback", "http://[::1]/secret", FALSE},
        {"ToIpv4MappedLoopback", "http://[::ffff:127.0.0.1]/secret", FALSE},
        {"ToTheUnspecifiedAddress", "http://0.0.0.0/secret", FALSE},
        {"ToAnAddressOfThePc", "http://10.9.0.2/secret", FALSE},
        {"ToAnIpv6AddressOfThePc", "http://[fd00:9::2]/secret", FALSE},
        {"ToLocalhost", "http://localhost/secret", FALSE},
        {"ToANameOfLoopback", "http://intranet.lan/secret", FALSE},
        {"ToANameOfThePc", "http://pc.lan/secret", FALSE},
        // Through a proxy only the address in the redirect tells where it leads.
        {"ToAnAddressOfThePcThroughAProxy", "http://10.9.0.2/secret", FALSE, true},
        {"ToTheRoutersOtherAddress", "http://10.9.0.3/secret", TRUE},
        {"ToTheRoutersName", "http://router.lan/secret", TRUE},
    }),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
