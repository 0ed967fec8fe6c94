#include "platform/inet/transfer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stop_token>

#include "platform/base/errors.h"
#include "platform/inet/internet.h"
#include "platform/kernel/sync.h"

namespace platform::inet {
namespace {

using Clock = std::chrono::steady_clock;

// Body bytes held for the reader before the connection is left alone (libcurl keeps what it has
// already read while paused). A piece is far smaller, so a full buffer always holds one.
constexpr std::size_t kHighWater = 64 * 1024;
// A head larger than this is no answer a router gives; it ends the exchange.
constexpr std::size_t kMaxHeadBytes = 256 * 1024;
// Reading a body past this fails.
constexpr std::size_t kMaxBodyBytes = std::size_t{1} << 20;
constexpr int kMaxRedirects = 10;

struct UrlDeleter {
  void operator()(CURLU* url) const noexcept { Curl().url_cleanup(url); }
};
struct CurlTextDeleter {
  void operator()(char* text) const noexcept { Curl().free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

DWORD FromCurl(CURLcode result) {
  switch (result) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_PARTIAL_FILE:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// The value of the first header line named `name` (lower case) in a head, trimmed.
std::string HeaderValue(std::string_view head, std::string_view name) {
  while (!head.empty()) {
    const std::size_t end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    head = end == std::string_view::npos ? std::string_view() : head.substr(end + 2);
    const std::size_t colon = line.find(':');
    if (colon != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < colon && same; ++i) {
      const char c = line[i];
      same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == name[i];
    }
    if (!same) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return std::string(value);
  }
  return {};
}

// `reference` (absolute or relative) resolved against `base`; empty when either is malformed.
std::string ResolveUrl(const std::string& base, const std::string& reference) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(Curl().url());
  if (!parsed || Curl().url_set(parsed.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
      Curl().url_set(parsed.get(), CURLUPART_URL, reference.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return {};
  }
  char* raw = nullptr;
  if (Curl().url_get(parsed.get(), CURLUPART_URL, &raw, 0) != CURLUE_OK || raw == nullptr) return {};
  const CurlText resolved(raw);
  return resolved.get();
}

struct InterfaceAddressesDeleter {
  void operator()(ifaddrs* list) const noexcept { freeifaddrs(list); }
};

// Whether one of this PC's interfaces has the address `bytes` (an in_addr or in6_addr), or the
// interfaces cannot be listed.
bool IsInterfaceAddress(int family, const void* bytes) noexcept {
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) != 0) return true;
  const std::unique_ptr<ifaddrs, InterfaceAddressesDeleter> list(raw);
  for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
    const sockaddr* address = entry->ifa_addr;
    if (address == nullptr || address->sa_family != family) continue;
    const bool same =
        family == AF_INET
            ? std::memcmp(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr, bytes, sizeof(in_addr)) == 0
            : std::memcmp(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, bytes, sizeof(in6_addr)) == 0;
    if (same) return true;
  }
  return false;
}

// Whether `address`, the text of an IPv4 or IPv6 address, is this PC's: a loopback address, an
// unspecified one (a connection to it reaches this PC's loopback) or an address of one of its
// interfaces. Nothing for a text that is no address.
std::optional<bool> IsThisPc(const char* address) noexcept {
  in_addr v4{};
  in6_addr v6{};
  if (inet_pton(AF_INET6, address, &v6) == 1) {
    if (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_UNSPECIFIED(&v6)) return true;
    if (!IN6_IS_ADDR_V4MAPPED(&v6)) return IsInterfaceAddress(AF_INET6, &v6);
    std::memcpy(&v4, &v6.s6_addr[12], sizeof v4);  // an IPv4 address, reached as one
  } else if (inet_pton(AF_INET, address, &v4) != 1) {
    return std::nullopt;
  }
  // All of 127/8 is loopback, not 127.0.0.1 alone; 0/8 is "this network", which Linux connects
  // to on loopback.
  const std::uint32_t first = ntohl(v4.s_addr) >> 24;
  return first == 127 || first == 0 || IsInterfaceAddress(AF_INET, &v4);
}

}  // namespace

std::optional<Url> ParseUrl(const std::string& text) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(Curl().url());
  if (!parsed) return std::nullopt;
  // Without a guessed or default scheme, a text without one is refused rather than taken as http.
  if (Curl().url_set(parsed.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return std::nullopt;
  }
  const auto part = [&](CURLUPart which, unsigned int flags, std::string& out) {
    char* raw = nullptr;
    if (Curl().url_get(parsed.get(), which, &raw, flags) != CURLUE_OK || raw == nullptr) return false;
    const CurlText value(raw);
    out = value.get();
    return true;
  };
  Url url;
  if (!part(CURLUPART_URL, 0, url.whole) || !part(CURLUPART_SCHEME, 0, url.scheme) ||
      !part(CURLUPART_HOST, 0, url.host) || !part(CURLUPART_PORT, CURLU_DEFAULT_PORT, url.port)) {
    return std::nullopt;
  }
  // libcurl, like a browser's address bar, takes "http:/x" and "http:///x" for host "x". Here the
  // host follows exactly two slashes, so that an address whose host is empty (a link without a
  // gateway) fails instead of turning the start of its path into a host name.
  const std::string_view rest = std::string_view(text).substr(text.find(':') + 1);
  if (!rest.starts_with("//") || rest.substr(2).starts_with('/')) return std::nullopt;
  std::transform(url.scheme.begin(), url.scheme.end(), url.scheme.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  if (url.host.starts_with('[') && url.host.ends_with(']')) url.host = url.host.substr(1, url.host.size() - 2);
  return url;
}

Transfer::Transfer(TransferOptions options) : options_(std::move(options)) {}

DWORD Transfer::Create(TransferOptions options, std::unique_ptr<Transfer>* out) {
  try {
    std::unique_ptr<Transfer> transfer(new Transfer(std::move(options)));
    transfer->multi_.reset(Curl().multi_init());
    transfer->easy_.reset(Curl().easy_init());
    if (!transfer->multi_ || !transfer->easy_) return ERROR_INTERNET_INTERNAL_ERROR;
    if (const DWORD error = transfer->Configure()) return error;
    *out = std::move(transfer);
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

Transfer::~Transfer() { Detach(); }

DWORD Transfer::Configure() {
  CURL* easy = easy_.get();
  bool ok = true;
  const auto check = [&ok](CURLcode result) { ok = ok && result == CURLE_OK; };

  // Worker threads must never see a signal from the name resolver's time-out.
  check(Curl().easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
  check(Curl().easy_setopt(easy, CURLOPT_HTTPGET, 1L));
  check(Curl().easy_setopt(easy, CURLOPT_USERAGENT, options_.agent.c_str()));
  check(Curl().easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
  // Redirects are followed here, hop by hop, the moment a redirect's head is in. libcurl's own
  // following (7.88) first reads the redirect's body to its end unless the server closes the
  // connection, so a redirect whose body stalls or never ends would hold the exchange until its
  // time limits, with no bound on the bytes read.
  check(Curl().easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L));
  check(Curl().easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectTimeout.count())));
  // Name resolution counts toward the connect limit. Without this, ending a hop whose lookup is
  // still running waits for the resolver thread, as long as a DNS server that never answers holds
  // it (about ten seconds with the C library's defaults); with it the thread is left to end alone.
  check(Curl().easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L));
  check(Curl().easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader));
  check(Curl().easy_setopt(easy, CURLOPT_HEADERDATA, this));
  check(Curl().easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody));
  check(Curl().easy_setopt(easy, CURLOPT_WRITEDATA, this));
  check(Curl().easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Transfer::OnRequest));
  check(Curl().easy_setopt(easy, CURLOPT_PREREQDATA, this));
  return ok ? ERROR_SUCCESS : ERROR_INTERNET_INTERNAL_ERROR;
}

DWORD Transfer::Attach(const Url& url) {
  head_.clear();
  headDone_ = false;
  status_ = 0;
  redirectUrl_.clear();
  abortError_ = 0;
  url_ = url.whole;
  sameOrigin_ = url.Origin() == origin_;
  // A redirect away from the exchange's server must not lead to this PC. An address in the URL
  // is refused here, before any connection; where a name leads is known once connected
  // (OnRequest). Through a proxy elsewhere only this check sees the address.
  if (!sameOrigin_ && IsThisPc(url.host.c_str()).value_or(false)) return ERROR_HTTP_REDIRECT_FAILED;
  hopStart_ = Clock::now();
  if (Curl().easy_setopt(easy_.get(), CURLOPT_URL, url_.c_str()) != CURLE_OK) return ERROR_INTERNET_INVALID_URL;
  if (Curl().multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) return ERROR_INTERNET_INTERNAL_ERROR;
  attached_ = true;
  return ERROR_SUCCESS;
}

void Transfer::Detach() {
  if (!attached_) return;
  Curl().multi_remove_handle(multi_.get(), easy_.get());
  attached_ = false;
}

DWORD Transfer::Open(const Url& url) {
  exchangeStart_ = Clock::now();
  origin_ = url.Origin();
  if (const DWORD error = Attach(url)) return Fail(error);
  Pump([this] { return headDone_; });
  if (headDone_) return ERROR_SUCCESS;
  return error_ != 0 ? error_ : ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

DWORD Transfer::Fail(DWORD error) {
  if (!finished_) {
    finished_ = true;
    error_ = error;
  }
  Detach();
  return error_;
}

DWORD Transfer::Pump(const std::function<bool()>& satisfied) {
  const std::stop_token stop = platform::kernel::CurrentStopToken();
  CURLM* const multi = multi_.get();
  // The stop request comes from another thread; waking the poll is the one thing it may do here.
  const std::stop_callback wake(stop, [multi] { Curl().multi_wakeup(multi); });

  // Time without a byte counts only while somebody waits for one.
  lastByte_ = Clock::now();
  for (;;) {
    if (satisfied() || finished_) return error_;
    if (stop.stop_requested()) return Fail(ERROR_INTERNET_OPERATION_CANCELLED);
    if (paused_) {
      paused_ = false;
      // Unpausing hands over the held bytes at once, through OnBody, which may end the transfer.
      if (Curl().easy_pause(easy_.get(), CURLPAUSE_CONT) != CURLE_OK) {
        return Fail(abortError_ != 0 ? abortError_ : ERROR_INTERNET_INTERNAL_ERROR);
      }
      continue;
    }
    int running = 0;
    if (Curl().multi_perform(multi, &running) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
    TakeMessages();
    if (satisfied() || finished_) continue;

    // A connection still being made is libcurl's to time out; waiting for bytes starts once it
    // stands. Should libcurl not report the connection, the connect time-out still ends the wait.
    const auto now = Clock::now();
    curl_off_t connectMicros = 0;
    const bool connected =
        Curl().easy_getinfo(easy_.get(), CURLINFO_CONNECT_TIME_T, &connectMicros) == CURLE_OK && connectMicros > 0;
    if (!connected) lastByte_ = now;
    const auto deadline = std::min(connected ? lastByte_ + options_.receiveTimeout : hopStart_ + options_.connectTimeout,
                                   exchangeStart_ + options_.exchangeTimeout);
    if (now >= deadline) return Fail(ERROR_INTERNET_TIMEOUT);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    const int wait = static_cast<int>(std::min<decltype(left)>(left, std::numeric_limits<int>::max()));
    // libcurl shortens the wait to its own next deadline (the connect time-out among them).
    int ready = 0;
    if (Curl().multi_poll(multi, nullptr, 0, wait, &ready) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
    // Once connected, libcurl waits only for its socket to be readable, and it never counts its
    // own wake-up: bytes have arrived, whether or not they make a whole header line yet.
    if (ready > 0) lastByte_ = Clock::now();
  }
}

void Transfer::TakeMessages() {
  int left = 0;
  while (CURLMsg* message = Curl().multi_info_read(multi_.get(), &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
      const CURLcode result = message->data.result;
      OnDone(result);
      // Detaching dropped the handle's remaining messages; the next hop has none yet.
      return;
    }
  }
}

void Transfer::OnDone(CURLcode result) {
  Detach();
  if (!redirecting_) {
    finished_ = true;
    if (result != CURLE_OK && error_ == 0) error_ = abortError_ != 0 ? abortError_ : FromCurl(result);
    return;
  }
  redirecting_ = false;
  const std::optional<Url> next = ParseUrl(redirectUrl_);
  if (++redirects_ > kMaxRedirects || !next || (next->scheme != "http" && next->scheme != "https")) {
    Fail(ERROR_HTTP_REDIRECT_FAILED);
    return;
  }
  if (const DWORD error = Attach(*next)) Fail(error);
}

bool TakePiece(std::string_view bytes, std::size_t& pos, std::size_t maxBytes, std::string& piece) {
  while (pos < bytes.size() && piece.size() < maxBytes) {
    const char c = bytes[pos++];
    if (c == '\r') continue;
    piece.push_back(c);
    if (c == '\n') return true;
  }
  return piece.size() >= maxBytes;
}

std::size_t Transfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) noexcept {
  try {
    return static_cast<Transfer*>(self)->HeaderLine(std::string_view(data, size * count));
  } catch (...) {
    static_cast<Transfer*>(self)->abortError_ = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
}

std::size_t Transfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) noexcept {
  try {
    return static_cast<Transfer*>(self)->BodyBytes(std::string_view(data, size * count));
  } catch (...) {
    static_cast<Transfer*>(self)->abortError_ = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
}

int Transfer::OnRequest(void* self, char* peer, char* /*local*/, int /*peerPort*/, int /*localPort*/) noexcept {
  auto* transfer = static_cast<Transfer*>(self);
  // Connected, the request not yet sent: where a redirect's name led is known now. Through a
  // proxy the peer is the proxy, so one on this PC refuses every redirect away from the server.
  if (transfer->sameOrigin_ || !IsThisPc(peer).value_or(true)) return CURL_PREREQFUNC_OK;
  transfer->abortError_ = ERROR_HTTP_REDIRECT_FAILED;
  return CURL_PREREQFUNC_ABORT;
}

std::size_t Transfer::HeaderLine(std::string_view line) {
  // After the final head only the trailers of a chunked body come here; they are not part of it.
  if (headDone_) return line.size();
  // Each answer (an interim one, a redirect) starts with its status line.
  if (line.starts_with("HTTP/")) head_.clear();
  const std::string_view text = WithoutLineEnd(line);
  if (head_.size() + text.size() + 2 > kMaxHeadBytes) {
    abortError_ = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    return 0;
  }
  head_.append(text);
  head_.append("\r\n");
  if (!text.empty()) return line.size();

  long code = 0;
  if (Curl().easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) code = 0;
  if (code >= 100 && code < 200) return line.size();  // the real answer follows
  if (code >= 300 && code < 400) {
    const std::string location = HeaderValue(head_, "location");
    if (!location.empty()) {
      redirectUrl_ = ResolveUrl(url_, location);
      redirecting_ = true;
      return 0;  // this hop's body is of no use: end it now and go on in OnDone
    }
  }
  status_ = code;
  headDone_ = true;
  return line.size();
}

std::size_t Transfer::BodyBytes(std::string_view bytes) {
  if (!headDone_) return bytes.size();
  if (body_.size() - bodyPos_ >= kHighWater) {
    paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  const std::size_t room = kMaxBodyBytes - bodyTotal_;
  const std::size_t take = std::min(room, bytes.size());
  body_.append(bytes.substr(0, take));
  bodyTotal_ += take;
  if (take < bytes.size()) abortError_ = ERROR_HTTP_INVALID_SERVER_RESPONSE;  // anything short ends it
  return take;
}

DWORD Transfer::ReadPiece(std::size_t maxBytes, std::string& piece) {
  piece.clear();
  for (;;) {
    const bool complete = TakePiece(body_, bodyPos_, maxBytes, piece);
    CompactBody();
    if (complete) return ERROR_SUCCESS;
    if (finished_) return piece.empty() ? error_ : ERROR_SUCCESS;
    Pump([this] { return bodyPos_ < body_.size(); });
  }
}

void Transfer::CompactBody() {
  if (bodyPos_ == body_.size()) {
    body_.clear();
    bodyPos_ = 0;
  } else if (bodyPos_ >= kHighWater) {
    body_.erase(0, bodyPos_);
    bodyPos_ = 0;
  }
}

}  // namespace platform::inet
