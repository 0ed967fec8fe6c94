// The detection pass as the program runs it, beside a bare libcurl GET of the same page, in turn
// (bench/README.md says what is real and what is scripted). Run it in a network namespace.
//
//   pass_bench OUT RUNS URL SSID [--silent ADDRESS]
//
// Writes "pass WALL_NS CPU_NS" and "get WALL_NS CPU_NS" lines to OUT. The wl* links answer as
// native Wi-Fi connected to SSID. With --silent, ADDRESS:80 never accepts a connection, and only
// passes are run.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "app/velmor_manager_dlg.h"
#include "platform/base/errors.h"
#include "platform/inet/internet.h"
#include "platform/kernel/sync.h"
#include "platform/net/ndis.h"
#include "platform/net/wlanapi.h"
#include "res/program_resources.h"

namespace {

bool IsRadio(std::string_view name) { return name.starts_with("wl"); }

// The medium and connect state of a wl* link; its existence and everything else from the kernel.
class VethRadios final : public platform::net::NdisDevices {
 public:
  bool Exists(std::string_view name) override { return real_.Exists(name); }
  DWORD Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) override {
    if (!IsRadio(name) || (oid != OID_GEN_PHYSICAL_MEDIUM && oid != OID_GEN_MEDIA_CONNECT_STATUS))
      return real_.Query(name, oid, answer, written);
    const DWORD value = oid == OID_GEN_PHYSICAL_MEDIUM ? DWORD{NdisPhysicalMediumNative802_11} : DWORD{NdisMediaStateConnected};
    std::memcpy(answer.data(), &value, sizeof value);
    *written = sizeof value;
    return ERROR_SUCCESS;
  }

 private:
  platform::net::LinuxNdisDevices real_;
};

// The real nl80211 client, with the wl* links associated to SSID.
class VethWlanClient final : public platform::net::WlanClient {
 public:
  VethWlanClient(std::unique_ptr<platform::net::WlanClient> real, std::string ssid)
      : real_(std::move(real)), ssid_(std::move(ssid)) {}
  DWORD EnumInterfaces(std::vector<platform::net::WlanInterfaceEntry>* entries) override {
    const DWORD error = real_ ? real_->EnumInterfaces(entries) : (entries->clear(), ERROR_SUCCESS);
    for (const char* name : {"wlsil0", "wlsim0"}) {
      if (if_nametoindex(name) != 0) entries->push_back({name, name, true});
    }
    return error;
  }
  DWORD QueryCurrentConnection(std::string_view name, platform::net::WlanConnection* connection) override {
    if (!IsRadio(name)) return real_ ? real_->QueryCurrentConnection(name, connection) : ERROR_NOT_FOUND;
    connection->ssid.assign(ssid_.begin(), ssid_.end());
    return ERROR_SUCCESS;
  }
  DWORD Close() override { return real_ ? real_->Close() : ERROR_SUCCESS; }

 private:
  std::unique_ptr<platform::net::WlanClient> real_;
  std::string ssid_;
};

class VethWlanService final : public platform::net::WlanService {
 public:
  explicit VethWlanService(std::string ssid) : ssid_(std::move(ssid)) {}
  DWORD Open(std::unique_ptr<platform::net::WlanClient>* client) override {
    std::unique_ptr<platform::net::WlanClient> real;
    if (real_.Open(&real) != ERROR_SUCCESS) real.reset();
    *client = std::make_unique<VethWlanClient>(std::move(real), ssid_);
    return ERROR_SUCCESS;
  }

 private:
  platform::net::LinuxWlanService real_;
  std::string ssid_;
};

long long Ns(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

int Threads() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}

// The wall time of `job`, and the CPU time of the whole process up to the end of the threads it
// started, less the main thread's own while it waits for those ends.
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
  if (argc < 5) {
    std::fprintf(stderr, "usage: pass_bench OUT RUNS URL SSID [--silent ADDRESS]\n");
    return 2;
  }
  const int runs = std::atoi(argv[2]);
  const std::string url = argv[3];
  const bool silent = argc >= 7 && std::strcmp(argv[5], "--silent") == 0;
  if (silent && !HoldSilentPort(argv[6])) return std::perror("pass_bench: silent port"), 1;
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr || !platform::inet::InitializeInternet()) return 1;
  RegisterProgramResources();
  platform::net::SetNdisDevices(std::make_shared<VethRadios>());
  platform::net::SetWlanService(std::make_shared<VethWlanService>(argv[4]));

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
