// The HTTP client's time limits and its proxy, against the router simulator on loopback. What the
// probe makes of answers is tested with the probe.
#include "platform/inet/internet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/inet/transfer.h"
#include "tests/support/router_sim/router_sim.h"

namespace {

using velmor::test::kProbePath;
using velmor::test::RefusingPeer;
using velmor::test::RouterAnswer;
using velmor::test::RouterSim;
using Behaviour = RouterAnswer::Behaviour;
using Ms = std::chrono::milliseconds;
using Pieces = std::vector<std::string>;

RouterAnswer With(RouterAnswer answer, Behaviour behaviour, Ms dripInterval = Ms(0)) {
  answer.behaviour = behaviour;
  answer.dripInterval = dripInterval;
  return answer;
}

// The limits scaled down from the platform's 10 s without a byte and 60 s for an exchange.
struct TimingCase {
  const char* name;
  RouterAnswer answer;
  Ms receiveTimeout;
  Ms exchangeTimeout;
  DWORD error;     // what ends the exchange: ERROR_SUCCESS when the body ends
  Pieces pieces;   // the body's pieces handed out before that
  Ms endsAfter;    // at least this long
};

void PrintTo(const TimingCase& c, std::ostream* out) { *out << c.name; }

class InetTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(InetTiming, TheExchangeEndsAsItsLimitsSay) {
  const TimingCase& c = GetParam();
  RouterSim sim(c.answer);
  platform::inet::TransferOptions options;
  options.receiveTimeout = c.receiveTimeout;
  options.exchangeTimeout = c.exchangeTimeout;
  std::unique_ptr<platform::inet::Transfer> transfer;
  ASSERT_EQ(platform::inet::Transfer::Create(options, &transfer), ERROR_SUCCESS);
  const auto url = platform::inet::ParseUrl("http://" + sim.ProbeAddress());
  ASSERT_TRUE(url);

  const auto start = std::chrono::steady_clock::now();
  DWORD error = transfer->Open(*url);
  Pieces pieces;
  std::string piece;
  while (error == ERROR_SUCCESS && (error = transfer->ReadPiece(1024, piece)) == ERROR_SUCCESS && !piece.empty()) {
    pieces.push_back(piece);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(pieces, c.pieces);
  EXPECT_GE(took, c.endsAfter);
  EXPECT_LT(took, c.endsAfter + Ms(2000));
}

INSTANTIATE_TEST_SUITE_P(
    Inet, InetTiming,
    ::testing::ValuesIn(std::vector<TimingCase>{
        // Every byte counts as progress, in the head as in the body: a head that drips in one byte
        // at a time is read, though each of its lines takes longer than the limit.
        {"HeadDripsSlowerThanTheLimitPerLine",
         With(RouterAnswer::Raw("HTTP/1.1 200 OK\r\nX-Slow: 0123456789\r\n\r\nok\n"), Behaviour::kDrip, Ms(20)),
         Ms(250), Ms(60000), ERROR_SUCCESS, {"ok\n"}, Ms(800)},
        // Half of the body arrives: the first line and one byte of the second, handed out once no
        // more comes.
        {"BodyStalls", With(RouterAnswer::Status(200, "first line\nsecond lines\n"), Behaviour::kStallMidBody),
         Ms(200), Ms(60000), ERROR_INTERNET_TIMEOUT, {"first line\n", "s"}, Ms(200)},
        // A byte every 50 ms never trips the limit without a byte; the exchange's limit ends it.
        {"DripWithoutEnd", With(RouterAnswer::Status(200, std::string(4000, '\n')), Behaviour::kDrip, Ms(50)),
         Ms(10000), Ms(600), ERROR_INTERNET_TIMEOUT, {}, Ms(600)},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InetProxy, ComesFromTheEnvironment) {
  RouterSim proxy(RouterAnswer::Status(200, "via proxy\n"));
  RefusingPeer origin("127.0.0.2");
  setenv("http_proxy", ("http://" + proxy.HostPort()).c_str(), 1);
  setenv("no_proxy", "", 1);
  CInternetSession session;
  std::unique_ptr<CHttpFile> file;
  try {
    file = session.OpenURL(platform::Utf8ToUtf16("http://" + origin.HostPort() + kProbePath).c_str());
  } catch (const CInternetException& e) {
    ADD_FAILURE() << "OpenURL failed with " << e.m_dwError;
  }
  unsetenv("http_proxy");
  unsetenv("no_proxy");

  ASSERT_NE(file, nullptr);
  DWORD status = 0;
  EXPECT_TRUE(file->QueryInfoStatusCode(status));
  EXPECT_EQ(status, 200u);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].target, "http://" + origin.HostPort() + kProbePath);
}

}  // namespace
