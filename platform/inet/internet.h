// The framework's internet classes: CInternetSession, CInternetFile, CHttpFile and
// CInternetException, over libcurl.
//
// A session holds the client settings; every OpenURL makes one HTTP exchange that belongs to the
// returned file alone, so files and sessions may be released in any order. All waiting happens on
// the calling thread and ends early when that thread is asked to stop
// (platform::kernel::CurrentStopToken).
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "platform/base/types.h"

inline constexpr DWORD INTERNET_FLAG_TRANSFER_ASCII = 0x00000001;

inline constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;

inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;

namespace platform::inet {

// Opens and sets up libcurl for the process (curl_library.h). Later and concurrent calls wait for
// the first and repeat its result; every CInternetSession makes this call, and fails to open
// without success. (libcurl 7.84 and later set up safely beside other threads.)
bool InitializeInternet();

class Transfer;

}  // namespace platform::inet

// Every failure to open or to read. It carries the WinINet error code and the caller's context.
class CInternetException : public std::exception {
 public:
  CInternetException(DWORD_PTR context, DWORD error) : m_dwContext(context), m_dwError(error) {}
  const char* what() const noexcept override { return "internet operation failed"; }

  DWORD_PTR m_dwContext;
  DWORD m_dwError;
};

// A response body being read. Released by deleting it; that also drops the connection.
class CInternetFile {
 public:
  CInternetFile(const CInternetFile&) = delete;
  CInternetFile& operator=(const CInternetFile&) = delete;
  ~CInternetFile();

  // Reads the next piece of the body into `buffer`, which holds `maxChars` wide characters, as raw
  // bytes: the framework's Unicode build reads byte text this way, and byte-text callers pass a
  // byte buffer of 2 * maxChars bytes. A piece is everything up to and including the next LF
  // byte, CR bytes left out, and at most 2 * maxChars - 2 bytes; a longer line arrives in several
  // pieces. The rest of the buffer is filled with zero bytes. Returns `buffer`, or nullptr when the
  // body has ended and no byte was stored. Bytes that arrived before a failure are handed out
  // first; the read that finds none left throws CInternetException, as does every read after it.
  LPWSTR ReadString(LPWSTR buffer, UINT maxChars);

 protected:
  CInternetFile(std::unique_ptr<platform::inet::Transfer> transfer, DWORD_PTR context);

  std::unique_ptr<platform::inet::Transfer> transfer_;
  DWORD_PTR context_;
};

class CHttpFile final : public CInternetFile {
 public:
  // The final answer's status (after redirects).
  BOOL QueryInfoStatusCode(DWORD& statusCode) const;
  // HTTP_QUERY_RAW_HEADERS_CRLF: the status line and every header line of the final answer, each
  // ended by CR LF, then the empty line; the bytes read in the process code page. FALSE with
  // ERROR_INVALID_PARAMETER for any other level.
  BOOL QueryInfo(DWORD infoLevel, std::u16string& text) const;

 private:
  friend class CInternetSession;
  using CInternetFile::CInternetFile;
};

// The client, with the system's preconfigured settings: proxies from the environment
// (http_proxy, https_proxy, all_proxy, no_proxy), and the application's name, the executable's
// file name without extension, as the agent. No cache and no off-line mode.
class CInternetSession {
 public:
  // Throws CInternetException when the client cannot be opened.
  CInternetSession();
  CInternetSession(const CInternetSession&) = delete;
  CInternetSession& operator=(const CInternetSession&) = delete;
  ~CInternetSession();

  // GETs an http or https URL and returns once the final answer's status line and headers have
  // arrived. Redirects are followed (http and https only, at most 10), to other hosts too, but
  // never from the URL's own server to this PC: a redirect whose host is, or is found to connect
  // to, a loopback address or one of this PC's own addresses fails. `flags` are accepted and
  // ignored (an HTTP body is bytes either way); extra request headers are not supported (`headers`
  // must be null). Returns nullptr for a URL of any other scheme; throws CInternetException when
  // the URL is malformed or names no host, or the request fails.
  std::unique_ptr<CHttpFile> OpenURL(LPCWSTR url, DWORD_PTR context = 1, DWORD flags = INTERNET_FLAG_TRANSFER_ASCII,
                                     LPCWSTR headers = nullptr, DWORD headersLength = 0);

 private:
  std::string agent_;
};
