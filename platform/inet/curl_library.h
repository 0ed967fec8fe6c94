// libcurl, opened at run time rather than by the dynamic linker before main.
//
// libcurl brings some thirty libraries with it (TLS, Kerberos, LDAP, SSH, IDN); mapping and
// relocating them costs about 6 ms, which would hold up the window's first frame. The program's
// start-up loads it on a thread of its own, which it joins before it returns (a process must not
// exit while the load runs); the first exchange, a few milliseconds later, finds it ready.
#pragma once

#include <curl/curl.h>

namespace platform::inet {

// The functions the program calls, by the names libcurl gives them after "curl_".
struct CurlLibrary {
  decltype(&::curl_global_init) global_init;
  decltype(&::curl_easy_init) easy_init;
  decltype(&::curl_easy_cleanup) easy_cleanup;
  decltype(&::curl_easy_setopt) easy_setopt;
  decltype(&::curl_easy_getinfo) easy_getinfo;
  decltype(&::curl_easy_pause) easy_pause;
  decltype(&::curl_multi_init) multi_init;
  decltype(&::curl_multi_cleanup) multi_cleanup;
  decltype(&::curl_multi_add_handle) multi_add_handle;
  decltype(&::curl_multi_remove_handle) multi_remove_handle;
  decltype(&::curl_multi_perform) multi_perform;
  decltype(&::curl_multi_poll) multi_poll;
  decltype(&::curl_multi_wakeup) multi_wakeup;
  decltype(&::curl_multi_info_read) multi_info_read;
  decltype(&::curl_url) url;
  decltype(&::curl_url_cleanup) url_cleanup;
  decltype(&::curl_url_set) url_set;
  decltype(&::curl_url_get) url_get;
  decltype(&::curl_free) free;
};

// Opens and initialises libcurl the first time; later and concurrent calls wait for that one.
// Null when the library cannot be opened, lacks a function, or fails to initialise.
const CurlLibrary* LoadCurl();

// The opened library, for code that only runs once LoadCurl() has succeeded (every libcurl
// handle is made after it).
const CurlLibrary& Curl();

}  // namespace platform::inet
