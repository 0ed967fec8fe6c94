// The HTTP client's time limits, shortened, against the router simulator on loopback, and when it
// sets up TLS. What the probe makes of answers is tested with the probe.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/inet/curl_library.h"
#include "platform/inet/internet.h"
#include "platform/inet/transfer.h"
#include "tests/support/fake_net/netns.h"
#include "tests/support/router_sim/router_sim.h"

namespace {

// Opens `url` and reads its body piece by piece: what ended the exchange, and the pieces before.
DWORD Fetch(const std::string& url, const platform::inet::TransferOptions& limits,
            std::vector<std::string>* pieces) {
  std::unique_ptr<platform::inet::Transfer> transfer;
  DWORD error = platform::inet::Transfer::Create(limits, &transfer);
  if (error == ERROR_SUCCESS) error = transfer->Open(*platform::inet::ParseUrl(url));
  for (std::string piece; error == ERROR_SUCCESS; pieces->push_back(piece)) {
    if ((error = transfer->ReadPiece(1024, piece)) != ERROR_SUCCESS || piece.empty()) break;
  }
  return error;
}

}  // namespace

// Half of the body arrives, the first line and one byte of the second: both are handed out, then
// the limit without a byte ends the exchange.
TEST(InetTiming, TheExchangeEndsAsItsLimitsSay) {
  using Ms = std::chrono::milliseconds;
  // The program's own limits, which the test shortens.
  const platform::inet::TransferOptions program;
  EXPECT_EQ(program.connectTimeout, Ms(5000));
  EXPECT_EQ(program.receiveTimeout, Ms(10000));
  EXPECT_EQ(program.exchangeTimeout, Ms(60000));
  velmor::test::RouterAnswer stalled = velmor::test::RouterAnswer::Status(200, "first line\nsecond lines\n");
  stalled.cut = stalled.wire.size() - 12;
  stalled.end = velmor::test::RouterAnswer::End::kStall;
  velmor::test::RouterSim sim(stalled);
  platform::inet::TransferOptions limits;
  limits.receiveTimeout = Ms(200);
  std::vector<std::string> pieces;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch("http://" + sim.ProbeAddress(), limits, &pieces), ERROR_INTERNET_TIMEOUT);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(pieces, (std::vector<std::string>{"first line\n", "s"}));
  EXPECT_GE(took, Ms(200));
  EXPECT_LT(took, Ms(2200));
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
        std::vector<std::string> pieces;
        const auto start = std::chrono::steady_clock::now();
        error = Fetch("http://router.example/", limits, &pieces);
        took = std::chrono::steady_clock::now() - start;
      },
      {{"/etc/resolv.conf", "nameserver 10.9.1.2\noptions timeout:4 attempts:1\n"}, {"/etc/nsswitch.conf", "hosts: dns\n"}}));
  EXPECT_EQ(error, ERROR_INTERNET_TIMEOUT);
  EXPECT_LT(took, limits.connectTimeout + std::chrono::seconds(2));
}

// Setting up TLS is put off until a URL needs it: an exchange over plain HTTP leaves OpenSSL as it
// was (without the built-in engines that the set-up loads), and a redirect to https still reaches
// its page, the server's certificate checked against the system's authorities. Run before any
// other exchange over TLS in the process.
TEST(InetTls, SetUpOnlyOnceARedirectLeadsToHttps) {
  std::string why = velmor::test::NetworkNamespace::Unavailable();
  if (why.empty() && std::system("openssl version >/dev/null 2>&1") != 0) why = "no openssl command";
  if (!why.empty()) GTEST_SKIP() << why;
  ASSERT_NE(platform::inet::LoadCurl(), nullptr);
  void* crypto = dlopen("libcrypto.so.3", RTLD_LAZY | RTLD_NOLOAD);
  if (crypto == nullptr) GTEST_SKIP() << "libcurl uses no OpenSSL 3 here";
  const auto engineFirst = reinterpret_cast<void* (*)()>(dlsym(crypto, "ENGINE_get_first"));
  const auto engineFree = reinterpret_cast<int (*)(void*)>(dlsym(crypto, "ENGINE_free"));
  ASSERT_TRUE(engineFirst != nullptr && engineFree != nullptr);
  const auto enginesLoaded = [&] {
    void* engine = engineFirst();
    if (engine != nullptr) engineFree(engine);
    return engine != nullptr;
  };

  // The router's https server: its own certificate, which the PC's authorities list.
  char folderName[] = "/tmp/velmor-tls-XXXXXX";
  ASSERT_NE(mkdtemp(folderName), nullptr);
  const std::string folder = folderName;
  const std::unique_ptr<const std::string, void (*)(const std::string*)> removeFolder(
      &folder, [](const std::string* f) { std::filesystem::remove_all(*f); });
  ASSERT_EQ(std::system(("cd " + folder + " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                         " -days 1 -subj /CN=10.9.0.3 -addext subjectAltName=IP:10.9.0.3 -keyout key.pem -out cert.pem"
                         " >/dev/null 2>&1").c_str()),
            0);
  std::ofstream(folder + "/page") << "Kavel-7100 \n";
  const std::string certificate(std::istreambuf_iterator<char>(std::ifstream(folder + "/cert.pem").rdbuf()), {});

  velmor::test::NetworkNamespace pc, router;
  ASSERT_EQ(pc.Ip({"link set lo up", "link add v0 type veth peer name v1 netns " + router.name(),
                   "addr add 10.9.0.2/24 dev v0", "link set v0 up"}),
            "");
  ASSERT_EQ(router.Ip({"link set lo up", "addr add 10.9.0.1/24 dev v1", "addr add 10.9.0.3/24 dev v1", "link set v1 up"}), "");
  std::unique_ptr<velmor::test::RouterSim> http;
  FILE* https = nullptr;
  router.RunInside([&] {
    http = std::make_unique<velmor::test::RouterSim>(
        velmor::test::RouterSim::Answers{{"/plain", velmor::test::RouterAnswer::Status(200, "plain\n")},
                                         {"/tls", velmor::test::RouterAnswer::Redirect(302, "https://10.9.0.3/page")}},
        "10.9.0.1", 80);
    https = popen(("cd " + folder + " && echo $$ && exec openssl s_server -accept 10.9.0.3:443 -cert cert.pem"
                   " -key key.pem -WWW 2>&1").c_str(),
                  "r");
  });
  ASSERT_NE(https, nullptr);
  const std::unique_ptr<FILE, void (*)(FILE*)> stopHttps(https, [](FILE* f) { pclose(f); });
  char line[256];
  ASSERT_NE(fgets(line, sizeof line, https), nullptr);
  pid_t httpsPid = std::atoi(line);
  const std::unique_ptr<pid_t, void (*)(pid_t*)> killHttps(&httpsPid, [](pid_t* pid) { kill(*pid, SIGTERM); });
  // It says ACCEPT once it listens.
  while (fgets(line, sizeof line, https) != nullptr && std::string(line) != "ACCEPT\n") {
  }
  ASSERT_EQ(std::string(line), "ACCEPT\n");

  const auto get = [](const std::string& url) {
    std::vector<std::string> pieces;
    const DWORD error = Fetch(url, {}, &pieces);
    return std::to_string(error) + " " + std::accumulate(pieces.begin(), pieces.end(), std::string());
  };
  std::string plain, tls;
  bool loadedAfterPlain = true;
  ASSERT_TRUE(pc.RunInside(
      [&] {
        plain = get("http://10.9.0.1/plain");
        loadedAfterPlain = enginesLoaded();
        tls = get("http://10.9.0.1/tls");
      },
      {{"/etc/ssl/certs/ca-certificates.crt", certificate}}));
  EXPECT_EQ(plain, "0 plain\n");
  EXPECT_FALSE(loadedAfterPlain);
  EXPECT_EQ(tls, "0 Kavel-7100 \n");
  EXPECT_TRUE(enginesLoaded());
}
