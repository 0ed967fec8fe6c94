// The detection pass as the program runs it, beside a bare libcurl GET of the same page, in one
// process and in turn. Run it in a network namespace: the adapter list, addresses and routes are
// the namespace's own (rtnetlink), the probe is the real exchange with whatever answers there.
//
//   pass_bench OUT RUNS URL SSID [--silent ADDRESS]
//
// Writes one line per run to OUT: "pass WALL_NS CPU_NS" and "get WALL_NS CPU_NS". A pass starts
// a check thread of its own through RunVelmorCheckThread and ends when that thread has; SSID is
// what the namespace's Wi-Fi answers, so that a pass that finds the router leaves the (absent)
// window alone. The medium, connect-state and SSID answers come from the scenario file named by
// VELMOR_SIM_SCENARIO, as for velmor-manager-sim. With --silent, ADDRESS:80 takes connections
// into a full listen queue and never accepts them (the kernel drops the SYNs: a gateway that does
// not answer), and only passes are run.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/velmor_manager_dlg.h"
#include "platform/inet/internet.h"
#include "platform/kernel/sync.h"
#include "platform/net/ndis.h"
#include "platform/net/wlanapi.h"
#include "res/program_resources.h"
#include "tests/support/scenario/scenario_backend.h"

namespace {

long long Ns(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

int Threads() {
  FILE* f = std::fopen("/proc/self/status", "r");
  char line[256];
  int threads = 0;
  while (f != nullptr && std::fgets(line, sizeof line, f) != nullptr && std::sscanf(line, "Threads: %d", &threads) != 1) {
  }
  if (f != nullptr) std::fclose(f);
  return threads;
}

// The wall time of `job`, and the CPU time of the whole process over it, up to the end of the
// threads it started (their ends cost too). The main thread's own reads while it waits for those
// ends are taken out again.
template <class Job>
void Measure(FILE* out, const char* name, int threads, Job job) {
  const long long cpu = Ns(CLOCK_PROCESS_CPUTIME_ID), wall = Ns(CLOCK_MONOTONIC);
  job();
  const long long wallNs = Ns(CLOCK_MONOTONIC) - wall, waiting = Ns(CLOCK_THREAD_CPUTIME_ID);
  for (timespec nap{0, 200000}; Threads() > threads;) nanosleep(&nap, nullptr);
  const long long waited = Ns(CLOCK_THREAD_CPUTIME_ID) - waiting;
  std::fprintf(out, "%s %lld %lld\n", name, wallNs, Ns(CLOCK_PROCESS_CPUTIME_ID) - cpu - waited);
}

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

bool BareGet(const std::string& url) {
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
  const bool ok = curl_easy_perform(curl) == CURLE_OK;
  curl_easy_cleanup(curl);
  return ok;
}

// Connections to ADDRESS:80 are never accepted: the queue holds one, which a connection of our
// own fills.
bool HoldSilentPort(const char* address) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(80);
  if (inet_pton(AF_INET, address, &addr.sin_addr) != 1) return false;
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  return bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(listener, 0) == 0 &&
         (connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 || errno == EINPROGRESS);
}

}  // namespace

int main(int argc, char** argv) {
  const char* scenario = std::getenv("VELMOR_SIM_SCENARIO");
  if (argc < 5 || scenario == nullptr) {
    std::fprintf(stderr, "usage: VELMOR_SIM_SCENARIO=FILE pass_bench OUT RUNS URL SSID [--silent ADDRESS]\n");
    return 2;
  }
  const int runs = std::atoi(argv[2]);
  const std::string url = argv[3];
  const bool silent = argc >= 7 && std::strcmp(argv[5], "--silent") == 0;
  if (silent && !HoldSilentPort(argv[6])) return std::perror("pass_bench: silent port"), 1;
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr || !platform::inet::InitializeInternet()) return 1;
  RegisterProgramResources();
  platform::net::SetNdisDevices(
      std::make_shared<velmor::test::ScenarioNdisDevices>(scenario, std::make_shared<platform::net::LinuxNdisDevices>()));
  platform::net::SetWlanService(
      std::make_shared<velmor::test::ScenarioWlanService>(scenario, std::make_shared<platform::net::LinuxWlanService>()));

  // The dialog's state as it is while the router is shown: no window behind it.
  CVelmor_managerDlg dlg;
  dlg.m_bCheckComplete = true;
  dlg.m_bConnected = true;
  dlg.m_hCheckDoneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::snprintf(dlg.m_szLastSsid, sizeof dlg.m_szLastSsid, "%s", argv[4]);
  auto pass = [&dlg, ssid = std::string(argv[4])] {
    dlg.RunVelmorCheckThread();
    WaitForSingleObject(dlg.m_hCheckThread, INFINITE);
    if (dlg.m_szLastSsid != ssid) std::fprintf(stderr, "pass_bench: the pass did not find the router\n"), std::exit(1);
  };
  auto get = [&url] {
    if (!BareGet(url)) std::fprintf(stderr, "pass_bench: GET %s failed\n", url.c_str()), std::exit(1);
  };
  for (int i = 0; i < 3 && !silent; ++i) pass(), get();  // libraries and caches warm
  const int threads = Threads();
  for (int i = 0; i < runs; ++i) {
    Measure(out, "pass", threads, pass);
    if (!silent) Measure(out, "get", threads, get);
  }
  std::fclose(out);
  CloseHandle(dlg.m_hCheckDoneEvent);
  return 0;
}
