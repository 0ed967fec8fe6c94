#include "platform/inet/curl_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace platform::inet {
namespace {

// The name of libcurl's ABI since 7.16; the build's headers are of the same ABI.
constexpr const char* kLibraryName = "libcurl.so.4";

CurlLibrary g_library;
const CurlLibrary* g_loaded = nullptr;

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
  if (!complete || c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  return &c;
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
