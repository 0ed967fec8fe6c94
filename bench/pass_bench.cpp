// One detection pass against the router simulator on loopback, beside a bare libcurl GET of the
// same page; and a pass whose first gateway never answers the connection.
//
// The pass is the program's own CheckVelmorConnection over scripted adapters, drivers and Wi-Fi
// service (no window: the SSID it finds is the one last shown, so it leaves the display alone).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/velmor_manager_dlg.h"
#include "platform/inet/internet.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/ndis.h"
#include "platform/net/wlanapi.h"
#include "monitor/check_velmor_connection.h"
#include "res/program_resources.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_adapters.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/router_sim/router_sim.h"

namespace {

using velmor::test::RouterAnswer;
using velmor::test::RouterSim;

struct World {
  std::shared_ptr<velmor::test::FakeNdisDevices> ndis = std::make_shared<velmor::test::FakeNdisDevices>();
  std::shared_ptr<velmor::test::FakeAdapterSource> adapters = std::make_shared<velmor::test::FakeAdapterSource>();
  std::shared_ptr<velmor::test::FakeWlanService> wlan = std::make_shared<velmor::test::FakeWlanService>();

  World() {
    platform::net::SetNdisDevices(ndis);
    platform::net::SetAdapterSource(adapters);
    platform::net::SetWlanService(wlan);
  }
  ~World() {
    platform::net::SetWlanService(nullptr);
    platform::net::SetAdapterSource(nullptr);
    platform::net::SetNdisDevices(nullptr);
  }
  void AddWireless(const std::string& name, const std::string& gateway) {
    adapters->Add(name, "192.0.2.10", gateway);
    ndis->AddAdapter(name);
    ndis->SetMedium(name, NdisPhysicalMediumNative802_11);
    ndis->SetConnectStatus(name, NdisMediaStateConnected);
    wlan->AddInterface(name);
    wlan->Associate(name, "HomeNet");
  }
};

// The dialog's shared state as a pass needs it, with no window behind it.
std::unique_ptr<CVelmor_managerDlg> PassOwner() {
  auto dlg = std::make_unique<CVelmor_managerDlg>();
  dlg->m_bCheckComplete = true;
  dlg->m_bConnected = true;
  dlg->m_hCheckDoneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::memset(dlg->m_szGateway, 0, sizeof dlg->m_szGateway);
  std::strcpy(dlg->m_szLastSsid, "HomeNet");
  return dlg;
}

RouterAnswer Kavel() { return RouterAnswer::Status(200, "<html>Kavel-7100 </html>"); }

void BM_DetectionPass(benchmark::State& state) {
  World world;
  RouterSim router(Kavel());
  world.AddWireless("wlan0", router.HostPort());
  auto dlg = PassOwner();
  for (auto _ : state) {
    if (!CheckVelmorConnection(dlg.get(), dlg->m_szGateway)) state.SkipWithError("the pass did not find the router");
  }
  CloseHandle(dlg->m_hCheckDoneEvent);
}
BENCHMARK(BM_DetectionPass)->Unit(benchmark::kMicrosecond)->UseRealTime();

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// The reference: what the probe's HTTP exchange costs with nothing around it (a fresh handle per
// GET, as each probe opens its own session).
void BM_BareCurlGet(benchmark::State& state) {
  RouterSim router(Kavel());
  const std::string url = "http://" + router.HostPort() + velmor::test::kProbePath;
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("GET failed");
    curl_easy_cleanup(curl);
  }
}
BENCHMARK(BM_BareCurlGet)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A loopback port whose connections are never accepted: the listen queue is full, so the kernel
// drops every further SYN and a client waits out its connect time-out, as with a gateway that
// does not answer at all.
class SilentPort {
 public:
  SilentPort() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener_, 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
    for (int& fd : fillers_) {
      fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
  }
  ~SilentPort() {
    for (int fd : fillers_) ::close(fd);
    ::close(listener_);
  }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_ = -1;
  int fillers_[3] = {-1, -1, -1};
  unsigned port_ = 0;
};

void BM_PassSilentFirstGateway(benchmark::State& state) {
  World world;
  SilentPort silent;
  RouterSim router(Kavel());
  world.AddWireless("wlan0", silent.HostPort());
  world.AddWireless("wlan1", router.HostPort());
  auto dlg = PassOwner();
  for (auto _ : state) {
    if (!CheckVelmorConnection(dlg.get(), dlg->m_szGateway)) state.SkipWithError("the pass did not find the router");
  }
  CloseHandle(dlg->m_hCheckDoneEvent);
}
BENCHMARK(BM_PassSilentFirstGateway)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    unsetenv(name);
  }
  if (!platform::inet::InitializeInternet()) return 1;
  RegisterProgramResources();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
