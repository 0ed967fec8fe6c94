// The HTTP identification probe against the router simulator: each answer a router may give, well
// behaved or hostile, has one verdict and an exact trace. This table is the one place for what the
// probe and the HTTP client under it make of an answer.
#include "probe/check_velmor_web.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "tests/support/fake_net/netns.h"
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"
#include "trace/debug_trace.h"

namespace {

using velmor::test::kProbePath;
using velmor::test::RouterAnswer;
using velmor::test::RouterSim;
using Traces = std::vector<std::string>;

const std::string kFound = "Found K7100 code in html head\n";
const std::string kNotFound = "Not found 7100 code in html head\n";
const std::string kOpenFail = "OpenURL Fail\n";
const std::string kRealm = "Kavel-7100 Web CU";
const std::string kRealmHeader = "WWW-Authenticate: Basic realm=\"" + kRealm + "\"";

std::string Status(int code) { return "QueryStatus code: " + std::to_string(code); }

// The trace of a 2xx answer: its status twice, a line per piece without the marker, then `last`.
Traces Searched(int status, std::size_t misses, const std::string& last = "") {
  Traces traces{Status(status), Status(status)};
  traces.insert(traces.end(), misses, kNotFound);
  if (!last.empty()) traces.push_back(last);
  return traces;
}
// The trace of a 401 answer: the head of `wire`.
Traces Challenged(const std::string& wire) {
  return {Status(401), "QueryStatus is 401", wire.substr(0, wire.find("\r\n\r\n") + 4)};
}

struct Case {
  const char* name;
  RouterSim::Answers answers;
  BOOL found;
  Traces traces;
};

RouterSim::Answers Page(RouterAnswer answer) { return {{kProbePath, std::move(answer)}}; }
Case Body(const char* name, int status, const std::string& body, BOOL found, Traces traces) {
  return {name, Page(RouterAnswer::Status(status, body)), found, std::move(traces)};
}

std::vector<Case> Cases() {
  const std::string marker = "<title>Kavel-7100 </title>\n";
  const std::string challenge = RouterAnswer::Challenge(kRealm).wire;
  std::vector<std::string> filler;
  for (int i = 0; i < 400; ++i) filler.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'f'));
  RouterAnswer cutBody = RouterAnswer::Status(200, "line\nline\nKavel-7100 \nline\n");
  cutBody.cut = cutBody.wire.size() - 13;
  RouterSim::Answers toChallenge = Page(RouterAnswer::Redirect(303, "/login"));
  toChallenge["/login"] = RouterAnswer::Challenge(kRealm);
  const RouterAnswer endless{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", std::string::npos,
                             RouterAnswer::End::kRepeat, std::string(99, 'e') + "\n"};
  const std::string escapes = "X-Esc: \x1b]0;t\x07\x1b[2J\ry\x7f\xc2\x9b\t1"
                              "\xe2\x80\xae" "2\xe2\x81\xa6" "3\xff";
  const RouterAnswer escaped = RouterAnswer::Status(401, "401\n", {kRealmHeader, escapes});

  // Which bytes make the marker or the realm, and that its search ends at a zero byte: web_match_fuzz.
  return {
      // The marker in the body, piece by piece.
      Body("marker ending at the piece's end", 200, std::string(2035, 'x') + "Kavel-7100 \n", TRUE, Searched(200, 0, kFound)),
      Body("marker split by a long line", 200, std::string(2040, 'x') + "Kavel-7100 \n", FALSE, Searched(200, 2)),
      // A short piece ends where it ends: what a longer one left in the buffer is no part of it.
      Body("leftover bytes complete no marker", 200, "ABCDEF7100 \nKavel-", FALSE, Searched(200, 2)),
      // An endless body is read up to 1 MiB: 10485 lines of 100 bytes and 76 bytes of the next.
      {"endless body", Page(endless), FALSE, Searched(200, 10486, "Web ReadFail\n")},
      {"body cut before the marker", Page(cutBody), FALSE, Searched(200, 3, "Web ReadFail\n")},
      // Other answers.
      Body("marker in a 404", 404, "Kavel-7100 \n", FALSE, {Status(404)}),
      Body("redirect without a location", 302, "Kavel-7100 \n", FALSE, {Status(302)}),
      {"redirect to a challenge", toChallenge, TRUE, Challenged(challenge)},
      {"realm outside a 401", Page(RouterAnswer::Status(200, "page\n", {kRealmHeader})), FALSE, Searched(200, 1)},
      // The trace keeps the head's line ends and tabs; other control characters, the controls that
      // reorder a line (U+202E, U+2066) and bytes that are no text become escapes.
      {"control characters in the head", Page(escaped), TRUE,
       Challenged("HTTP/1.1 401 OK\r\nConnection: close\r\nContent-Length: 4\r\n" + kRealmHeader +
                  "\r\nX-Esc: \\x1B]0;t\\x07\\x1B[2J\\x0Dy\\x7F\\x9B\t1\\u202E2\\u20663\\xFF\r\n\r\n")},
      // Broken or hostile answers: no status, so no router, whatever the bytes hold.
      {"gigantic head", Page(RouterAnswer::Status(200, marker, filler)), FALSE, {kOpenFail}},
      {"HTTP/0.9", Page({"<html><title>Kavel-7100 </title></html>\n"}), FALSE, {kOpenFail}},
      {"redirect to a file", Page(RouterAnswer::Redirect(302, "file:///etc/passwd")), FALSE, {kOpenFail}},
  };
}

TEST(CheckVelmorWeb, EachAnswerHasItsVerdictAndTrace) {
  g_bDebugMessage = true;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    velmor::test::TraceCapture trace;
    RouterSim sim(c.answers);
    EXPECT_EQ(CheckVelmorWeb(sim.ProbeAddress().c_str()), c.found);
    EXPECT_EQ(trace.Lines(), c.traces);
    EXPECT_EQ(sim.Requests().size(), c.answers.size()) << "one request per page, never a retry";
  }
  g_bDebugMessage = false;
}

// A PC and its router in network namespaces; the router answers at 10.9.0.1 and 10.9.0.3. In the
// PC's hosts file "admin", "intranet.lan" and "localhost" lead to its loopback, "pc.lan" to itself,
// "router.lan" to the router. A server on each of the PC's addresses answers with the marker.
TEST(CheckVelmorWeb, NothingLeavesForThePcNorForAnEmptyGateway) {
  if (const std::string why = velmor::test::NetworkNamespace::Unavailable(true); !why.empty()) GTEST_SKIP() << why;
  velmor::test::NetworkNamespace pc, router;
  ASSERT_EQ(pc.Ip({"link set lo up", "link add v0 type veth peer name v1 netns " + router.name(),
                   "addr add 10.9.0.2/24 dev v0", "addr add fd00:9::2/64 dev v0 nodad", "link set v0 up"}),
            "");
  ASSERT_EQ(router.Ip({"link set lo up", "addr add 10.9.0.1/24 dev v1", "addr add 10.9.0.3/24 dev v1", "link set v1 up"}), "");
  std::vector<std::unique_ptr<RouterSim>> pcServers;
  const RouterAnswer marker = RouterAnswer::Status(200, "Kavel-7100 \n");
  ASSERT_TRUE(pc.RunInside([&] {
    for (const char* address : {"127.0.0.1", "127.0.0.2", "::1", "10.9.0.2", "fd00:9::2"}) {
      pcServers.push_back(std::make_unique<RouterSim>(RouterSim::Answers{{"/secret", marker}, {"/pcapp.asp", marker}}, address, 80));
    }
  }));
  const auto pcTotal = [&](auto count) {
    return std::transform_reduce(pcServers.begin(), pcServers.end(), std::size_t{0}, std::plus<>(), count);
  };
  const auto pcRequests = [&] { return pcTotal([](const auto& server) { return server->Requests().size(); }); };
  const auto pcConnections = [&] { return pcTotal([](const auto& server) { return server->Connections(); }); };
  const auto probe = [&](const std::string& address) {
    BOOL found = FALSE;
    EXPECT_TRUE(pc.RunInside([&] { found = CheckVelmorWeb(address.c_str()); },
                             {{"/etc/nsswitch.conf", "hosts: files\n"},
                              {"/etc/hosts", "127.0.0.1 localhost admin intranet.lan\n::1 localhost\n10.9.0.2 pc.lan\n"
                                             "10.9.0.1 router.lan\n"}}));
    return found;
  };
  g_bDebugMessage = true;
  velmor::test::TraceCapture trace;
  // A link without a gateway gives the address "/admin/pcapp.asp": nothing may leave for it, not
  // even a lookup of the name "admin".
  EXPECT_EQ(probe(kProbePath), FALSE);
  EXPECT_EQ(trace.Lines(), Traces{kOpenFail});
  EXPECT_EQ(pcRequests(), 0u);

  // The router answers the probe with a redirect. One that leads to the PC itself fails the probe
  // before any request reaches the PC, and one that names the PC by an address before any
  // connection; one to the router's other addresses and names is followed.
  const struct {
    const char* location;
    BOOL found;  // the redirect is followed to the router's page with the marker
  } redirects[] = {
      {"http://127.0.0.1/secret", FALSE}, {"http://127.0.0.2/secret", FALSE}, {"http://[::1]/secret", FALSE},
      {"http://[::ffff:127.0.0.1]/secret", FALSE}, {"http://0.0.0.0/secret", FALSE}, {"http://0/secret", FALSE},
      {"http://[::]/secret", FALSE}, {"http://[0:0:0:0:0:0:0:0]/secret", FALSE}, {"http://[::ffff:0.0.0.0]/secret", FALSE},
      {"http://10.9.0.2/secret", FALSE}, {"http://[fd00:9::2]/secret", FALSE}, {"http://localhost/secret", FALSE},
      {"http://intranet.lan/secret", FALSE}, {"http://pc.lan/secret", FALSE},
      {"http://10.9.0.3/secret", TRUE}, {"http://router.lan/secret", TRUE},
  };
  for (const auto& c : redirects) {
    SCOPED_TRACE(c.location);
    RouterSim::Answers answers = Page(RouterAnswer::Redirect(302, c.location));
    answers["/secret"] = marker;
    std::unique_ptr<RouterSim> server;
    router.RunInside([&] { server = std::make_unique<RouterSim>(answers, "0.0.0.0", 80); });
    ASSERT_NE(server, nullptr);
    trace.Clear();
    const std::size_t connectionsBefore = pcConnections();
    EXPECT_EQ(probe(std::string("10.9.0.1") + kProbePath), c.found);
    EXPECT_EQ(trace.Lines(), c.found ? Searched(200, 0, kFound) : Traces{kOpenFail});
    EXPECT_EQ(pcRequests(), 0u);
    // Where a name leads is known once connected; an address is refused before.
    if (c.location[7] == '[' || std::isdigit(static_cast<unsigned char>(c.location[7]))) {
      EXPECT_EQ(pcConnections(), connectionsBefore);
    }
    EXPECT_EQ(server->Requests().size(), c.found ? 2u : 1u);
  }
  g_bDebugMessage = false;
}

}  // namespace
