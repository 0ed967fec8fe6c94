#include "platform/inet/curl_library.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace platform::inet {
namespace {

// The name of libcurl's ABI since 7.16; the build's headers are of the same ABI.
constexpr const char* kLibraryName = "libcurl.so.4";

CurlLibrary g_library;
const CurlLibrary* g_loaded = nullptr;
void* g_handle = nullptr;

// curl_global_init, which every handle needs, sets up OpenSSL for TLS and for SSH whether or not a
// transfer ever speaks either: 2.2 M instructions, and 1.7 MB of libcrypto's pages touched. The
// executable exports the two entry points it calls (see CMakeLists.txt), so the dynamic linker
// binds libcurl's calls to the definitions below: TLS is set up by the first later call, which
// libssl makes when a session starts, and SSH never (these transfers speak http and https only).
// Where the entry points are not exported, libcurl calls its own libraries as before.
std::atomic<bool> g_deferring{false};
std::atomic<std::uint64_t> g_deferredOptions{0};

template <typename Function>
bool Find(void* library, const char* name, Function& out) {
  out = reinterpret_cast<Function>(dlsym(library, name));
  return out != nullptr;
}

const CurlLibrary* Open() {
  // Never closed: libcurl's handles and its TLS library live as long as the process. Lazy
  // binding: most of the thirty libraries' functions are never called.
  void* library = dlopen(kLibraryName, RTLD_LAZY | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  g_handle = library;
  CurlLibrary& c = g_library;
  const bool complete =
      Find(library, "curl_global_init", c.global_init) && Find(library, "curl_easy_init", c.easy_init) &&
      Find(library, "curl_easy_cleanup", c.easy_cleanup) && Find(library, "curl_easy_setopt", c.easy_setopt) &&
      Find(library, "curl_easy_getinfo", c.easy_getinfo) && Find(library, "curl_easy_pause", c.easy_pause) &&
      Find(library, "curl_multi_init", c.multi_init) && Find(library, "curl_multi_cleanup", c.multi_cleanup) &&
      Find(library, "curl_multi_add_handle", c.multi_add_handle) &&
      Find(library, "curl_multi_remove_handle", c.multi_remove_handle) &&
      Find(library, "curl_multi_perform", c.multi_perform) && Find(library, "curl_multi_poll", c.multi_poll) &&
      Find(library, "curl_multi_wakeup", c.multi_wakeup) && Find(library, "curl_multi_info_read", c.multi_info_read) &&
      Find(library, "curl_url", c.url) && Find(library, "curl_url_cleanup", c.url_cleanup) &&
      Find(library, "curl_url_set", c.url_set) && Find(library, "curl_url_get", c.url_get) &&
      Find(library, "curl_free", c.free);
  if (!complete) return nullptr;
  g_deferring = true;
  const CURLcode initialised = c.global_init(CURL_GLOBAL_DEFAULT);
  g_deferring = false;
  return initialised == CURLE_OK ? &c : nullptr;
}

}  // namespace

const CurlLibrary* LoadCurl() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = Open(); });
  return g_loaded;
}

const CurlLibrary& Curl() {
  const CurlLibrary* library = LoadCurl();
  if (library == nullptr) std::abort();  // no handle can exist without it
  return *library;
}

}  // namespace platform::inet

extern "C" __attribute__((visibility("default"))) int OPENSSL_init_ssl(std::uint64_t options, const void* settings) {
  using namespace platform::inet;
  if (g_deferring) {
    g_deferredOptions |= options;
    return 1;
  }
  using Init = int (*)(std::uint64_t, const void*);
  // Looked up among libcurl and the libraries it brought, which this executable is not one of;
  // in the global scope after it where an executable linked with libcurl brought them.
  static const Init real = [] {
    void* found = g_handle != nullptr ? dlsym(g_handle, "OPENSSL_init_ssl") : nullptr;
    if (found == nullptr || found == reinterpret_cast<void*>(&OPENSSL_init_ssl)) found = dlsym(RTLD_NEXT, "OPENSSL_init_ssl");
    return found == reinterpret_cast<void*>(&OPENSSL_init_ssl) ? nullptr : reinterpret_cast<Init>(found);
  }();
  return real != nullptr && real(options | g_deferredOptions.exchange(0), settings) == 1 ? 1 : 0;
}

extern "C" __attribute__((visibility("default"))) int libssh2_init(int) { return 0; }
