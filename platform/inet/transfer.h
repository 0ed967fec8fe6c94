// One HTTP exchange, driven on the calling thread through a libcurl multi handle of its own.
//
// Open returns once the final answer's head is in; the body is pulled from the connection only
// as far as ReadPiece asks for it, so a body nobody reads is never fetched and an endless one
// costs nothing until it is read. Failures come back as WinINet error codes; nothing here throws,
// and no exception can leave a libcurl callback.
#pragma once

#include "platform/inet/curl_library.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace platform::inet {

// The limits of one exchange. Tests shorten them; the program keeps these.
struct TransferOptions {
  std::string agent;
  std::chrono::milliseconds connectTimeout{5000};
  // Once connected, no byte for this long fails the exchange.
  std::chrono::milliseconds receiveTimeout{10000};
  // The whole exchange, redirects and body included. A peer that keeps sending a byte now and
  // then never trips the receive time-out; this ends it all the same.
  std::chrono::milliseconds exchangeTimeout{60000};
};

struct EasyDeleter {
  void operator()(CURL* easy) const noexcept { Curl().easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const noexcept { Curl().multi_cleanup(multi); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;

// An absolute URL as libcurl reads it.
struct Url {
  std::string whole;   // libcurl's form of it
  std::string scheme;  // lower case
  std::string host;    // an IPv6 address without its brackets
  std::string port;    // the scheme's own when none is written

  // The server the URL names: scheme, host and port.
  std::string Origin() const { return scheme + "://" + host + ":" + port; }
};

// The URL that `text` names, or nothing for a text that is no absolute URL naming a host.
std::optional<Url> ParseUrl(const std::string& text);

// Moves the next piece of a body out of `bytes`, from `pos` on, into `piece`: bytes up to and
// including LF, CR bytes dropped, until `piece` holds `maxBytes` bytes. True when the piece is
// complete (its LF was taken, or it is full); false when `bytes` ran out first, so that more of the
// body must arrive before the piece can be handed out.
bool TakePiece(std::string_view bytes, std::size_t& pos, std::size_t maxBytes, std::string& piece);

class Transfer {
 public:
  // ERROR_SUCCESS and the exchange, not yet started, or the failure.
  static DWORD Create(TransferOptions options, std::unique_ptr<Transfer>* out);
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Sends the GET for an http or https URL and waits for the final answer's head. Redirects are
  // followed, but one that leaves the URL's server for this PC fails the exchange.
  DWORD Open(const Url& url);

  long StatusCode() const { return status_; }
  // Status line and header lines of the final answer, each ended by CR LF, then an empty line.
  const std::string& Head() const { return head_; }

  // Takes the next piece of the body: bytes up to and including LF, CR bytes dropped, at most
  // `maxBytes` bytes. An empty piece with ERROR_SUCCESS means the body has ended.
  DWORD ReadPiece(std::size_t maxBytes, std::string& piece);

 private:
  explicit Transfer(TransferOptions options);

  DWORD Configure();
  DWORD Attach(const Url& url);
  void Detach();
  DWORD Pump(const std::function<bool()>& satisfied);
  DWORD Fail(DWORD error);
  void TakeMessages();
  void OnDone(CURLcode result);
  void CompactBody();

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) noexcept;
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) noexcept;
  static int OnRequest(void* self, char* peer, char* local, int peerPort, int localPort) noexcept;
  std::size_t HeaderLine(std::string_view line);
  std::size_t BodyBytes(std::string_view bytes);

  TransferOptions options_;
  MultiPtr multi_;
  EasyPtr easy_;
  bool attached_ = false;
  std::string origin_;       // of the URL the exchange was opened for
  std::string url_;          // of the current hop
  bool sameOrigin_ = false;  // the current hop asks the exchange's own server

  int redirects_ = 0;
  bool redirecting_ = false;
  std::string redirectUrl_;

  std::string head_;
  bool headDone_ = false;
  long status_ = 0;

  std::string body_;
  std::size_t bodyPos_ = 0;
  std::size_t bodyTotal_ = 0;
  bool paused_ = false;

  bool finished_ = false;
  DWORD error_ = 0;       // the failure that ended the exchange; sticky
  DWORD abortError_ = 0;  // why a callback of ours stopped the transfer
  std::chrono::steady_clock::time_point hopStart_;
  std::chrono::steady_clock::time_point exchangeStart_;
  std::chrono::steady_clock::time_point lastByte_;
};

}  // namespace platform::inet
