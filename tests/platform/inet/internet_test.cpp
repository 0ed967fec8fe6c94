// The HTTP client's time limits, shortened, against the router simulator on loopback. What the
// probe makes of answers, and the proxy, are tested with the probe.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/inet/internet.h"
#include "platform/inet/transfer.h"
#include "tests/support/fake_net/netns.h"
#include "tests/support/router_sim/router_sim.h"

TEST(InetTiming, TheExchangeEndsAsItsLimitsSay) {
  using velmor::test::RouterAnswer;
  using Ms = std::chrono::milliseconds;
  RouterAnswer drippingHead{"HTTP/1.1 200 OK\r\nX-Slow: 0123456789\r\n\r\nok\n"};
  drippingHead.drip = Ms(20);
  RouterAnswer stalledBody = RouterAnswer::Status(200, "first line\nsecond lines\n");
  stalledBody.cut = stalledBody.wire.size() - 12;
  stalledBody.end = RouterAnswer::End::kStall;
  RouterAnswer drippingBody = RouterAnswer::Status(200, std::string(4000, '\n'));
  drippingBody.drip = Ms(50);
  const struct {
    const char* what;
    RouterAnswer answer;
    Ms receiveTimeout;
    Ms exchangeTimeout;
    DWORD error;                      // what ends the exchange: ERROR_SUCCESS when the body ends
    std::vector<std::string> pieces;  // the body's pieces handed out before that
    Ms endsAfter;                     // at least this long
  } cases[] = {
      // Every byte counts as progress, in the head as in the body: a head that drips in one byte at
      // a time is read, though each of its lines takes longer than the limit. The body's bytes
      // arrive one by one too, and make one piece.
      {"head dripping", drippingHead, Ms(250), Ms(60000), ERROR_SUCCESS, {"ok\n"}, Ms(800)},
      // Half of the body arrives: the first line and one byte of the second, handed out once no
      // more comes.
      {"body stalled", stalledBody, Ms(200), Ms(60000), ERROR_INTERNET_TIMEOUT, {"first line\n", "s"}, Ms(200)},
      // A byte every 50 ms never trips the limit without a byte; the exchange's limit ends it.
      {"dripping without end", drippingBody, Ms(10000), Ms(600), ERROR_INTERNET_TIMEOUT, {}, Ms(600)},
  };
  // The program's own limits, which every case below shortens: 5 s to connect, 10 s without a
  // byte, 60 s for the whole exchange.
  const platform::inet::TransferOptions program;
  EXPECT_EQ(program.connectTimeout, Ms(5000));
  EXPECT_EQ(program.receiveTimeout, Ms(10000));
  EXPECT_EQ(program.exchangeTimeout, Ms(60000));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    velmor::test::RouterSim sim(c.answer);
    platform::inet::TransferOptions limits;
    limits.receiveTimeout = c.receiveTimeout;
    limits.exchangeTimeout = c.exchangeTimeout;
    std::unique_ptr<platform::inet::Transfer> transfer;
    ASSERT_EQ(platform::inet::Transfer::Create(limits, &transfer), ERROR_SUCCESS);
    const auto start = std::chrono::steady_clock::now();
    DWORD error = transfer->Open(*platform::inet::ParseUrl("http://" + sim.ProbeAddress()));
    std::vector<std::string> pieces;
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
}

// The lookup of a name is part of connecting: a DNS server that never answers ends the exchange at
// the connect limit, not when the resolver gives up (four seconds here).
TEST(InetTiming, ANameWhoseDnsServerNeverAnswersEndsAtTheConnectLimit) {
  if (const std::string why = velmor::test::NetworkNamespace::Unavailable(true); !why.empty()) GTEST_SKIP() << why;
  // The DNS server's address is on a link where nobody answers, not even for its hardware address.
  velmor::test::NetworkNamespace pc;
  ASSERT_EQ(pc.Ip({"link add v0 type veth peer name v1", "addr add 10.9.1.1/24 dev v0", "link set v0 up", "link set v1 up"}), "");
  platform::inet::TransferOptions limits;
  limits.connectTimeout = std::chrono::milliseconds(300);
  DWORD error = ERROR_SUCCESS;
  std::chrono::steady_clock::duration took{};
  ASSERT_TRUE(pc.RunInside(
      [&] {
        std::unique_ptr<platform::inet::Transfer> transfer;
        const auto start = std::chrono::steady_clock::now();
        if (platform::inet::Transfer::Create(limits, &transfer) == ERROR_SUCCESS) {
          error = transfer->Open(*platform::inet::ParseUrl("http://router.example/"));
        }
        took = std::chrono::steady_clock::now() - start;
      },
      {{"/etc/resolv.conf", "nameserver 10.9.1.2\noptions timeout:4 attempts:1\n"}, {"/etc/nsswitch.conf", "hosts: dns\n"}}));
  EXPECT_EQ(error, ERROR_INTERNET_TIMEOUT);
  EXPECT_LT(took, limits.connectTimeout + std::chrono::seconds(2));
}
