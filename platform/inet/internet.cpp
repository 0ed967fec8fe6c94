#include "platform/inet/internet.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/inet/curl_library.h"
#include "platform/inet/transfer.h"

namespace platform::inet {
namespace {

// The executable's file name without its extension, as the application's name.
std::string ApplicationName() {
  std::error_code error;
  std::string name = std::filesystem::read_symlink("/proc/self/exe", error).filename().string();
  // The kernel marks an executable that was replaced while running.
  constexpr std::string_view kDeleted = " (deleted)";
  if (name.ends_with(kDeleted)) name.resize(name.size() - kDeleted.size());
  if (name.empty()) name = program_invocation_short_name;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot != 0) name.resize(dot);
  return name;
}

}  // namespace

bool InitializeInternet() { return LoadCurl() != nullptr; }

void PreloadInternet() {
  try {
    std::thread([] { LoadCurl(); }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the first exchange loads the library itself.
  }
}

}  // namespace platform::inet

void AfxThrowInternetException(DWORD_PTR context, DWORD error) { throw CInternetException(context, error); }

// ---- CInternetFile ----

CInternetFile::CInternetFile(std::unique_ptr<platform::inet::Transfer> transfer, DWORD_PTR context)
    : transfer_(std::move(transfer)), context_(context) {}

CInternetFile::~CInternetFile() = default;

void CInternetFile::Close() { transfer_.reset(); }

LPWSTR CInternetFile::ReadString(LPWSTR buffer, UINT maxChars) {
  // Fewer than two characters leave no room for a byte and its terminator: every read would
  // store nothing and never end.
  if (buffer == nullptr || maxChars < 2) AfxThrowInternetException(context_, ERROR_INVALID_PARAMETER);
  if (!transfer_) AfxThrowInternetException(context_, ERROR_INTERNET_INCORRECT_HANDLE_STATE);

  const std::size_t capacity = std::size_t{maxChars} * sizeof(WCHAR);
  std::string piece;
  if (const DWORD error = transfer_->ReadPiece(capacity - sizeof(WCHAR), piece)) {
    AfxThrowInternetException(context_, error);
  }
  char* bytes = reinterpret_cast<char*>(buffer);
  std::memcpy(bytes, piece.data(), piece.size());
  std::memset(bytes + piece.size(), 0, capacity - piece.size());
  return piece.empty() ? nullptr : buffer;
}

// ---- CHttpFile ----

BOOL CHttpFile::QueryInfoStatusCode(DWORD& statusCode) const {
  if (!transfer_) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  if (transfer_->StatusCode() <= 0) {
    SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    return FALSE;
  }
  statusCode = static_cast<DWORD>(transfer_->StatusCode());
  return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD infoLevel, std::u16string& text) const {
  if (!transfer_) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  switch (infoLevel) {
    case HTTP_QUERY_RAW_HEADERS_CRLF:
      // WinINet hands out the head in the system code page, as the program's callers expect.
      text = platform::AnsiToWide(transfer_->Head());
      return TRUE;
    case HTTP_QUERY_STATUS_CODE:
      if (transfer_->StatusCode() <= 0) break;
      text = platform::Utf8ToUtf16(std::to_string(transfer_->StatusCode()));
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
  return FALSE;
}

// ---- CInternetSession ----

CInternetSession::CInternetSession(LPCWSTR agent, DWORD_PTR context, DWORD accessType, LPCWSTR proxyName,
                                   LPCWSTR proxyBypass, DWORD /*flags*/)
    : context_(context), accessType_(accessType) {
  if (!platform::inet::InitializeInternet()) AfxThrowInternetException(context, ERROR_INTERNET_INTERNAL_ERROR);
  switch (accessType) {
    case INTERNET_OPEN_TYPE_PRECONFIG:
    case INTERNET_OPEN_TYPE_DIRECT:
      break;
    case INTERNET_OPEN_TYPE_PROXY:
      if (proxyName == nullptr || *proxyName == 0) AfxThrowInternetException(context, ERROR_INVALID_PARAMETER);
      proxy_ = platform::Utf16ToUtf8(proxyName);
      if (proxyBypass != nullptr) proxyBypass_ = platform::Utf16ToUtf8(proxyBypass);
      break;
    default:
      AfxThrowInternetException(context, ERROR_INVALID_PARAMETER);
  }
  static const std::string applicationName = platform::inet::ApplicationName();
  agent_ = agent != nullptr ? platform::Utf16ToUtf8(agent) : applicationName;
}

CInternetSession::~CInternetSession() = default;

void CInternetSession::Close() {}

BOOL CInternetSession::SetOption(DWORD option, DWORD value, DWORD /*flags*/) {
  if (value == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      connectTimeout_ = std::chrono::milliseconds(value);
      return TRUE;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      receiveTimeout_ = std::chrono::milliseconds(value);
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

std::unique_ptr<CHttpFile> CInternetSession::OpenURL(LPCWSTR url, DWORD_PTR context, DWORD flags, LPCWSTR headers,
                                                     DWORD headersLength) {
  if (url == nullptr) AfxThrowInternetException(context, ERROR_INTERNET_INVALID_URL);
  std::string normalized;
  const std::string scheme = platform::inet::UrlScheme(platform::Utf16ToUtf8(url), &normalized);
  if (scheme.empty()) AfxThrowInternetException(context, ERROR_INTERNET_INVALID_URL);
  if (scheme != "http" && scheme != "https") return nullptr;

  platform::inet::TransferOptions options;
  options.agent = agent_;
  switch (accessType_) {
    case INTERNET_OPEN_TYPE_DIRECT:
      options.explicitProxy = true;
      break;
    case INTERNET_OPEN_TYPE_PROXY:
      options.explicitProxy = true;
      options.proxy = proxy_;
      options.noProxy = proxyBypass_;
      break;
    default:
      break;
  }
  if (headers != nullptr) {
    const std::u16string_view text(headers, headersLength == static_cast<DWORD>(-1) || headersLength == 0
                                                ? platform::WideLength(headers)
                                                : headersLength);
    options.extraHeaders = platform::Utf16ToUtf8(text);
  }
  options.connectTimeout = connectTimeout_;
  options.receiveTimeout = receiveTimeout_;
  options.maxBodyBytes = platform::inet::kMaxBodyBytes;
  options.maxRedirects = (flags & INTERNET_FLAG_NO_AUTO_REDIRECT) != 0 ? 0 : platform::inet::kMaxRedirects;

  std::unique_ptr<platform::inet::Transfer> transfer;
  if (const DWORD error = platform::inet::Transfer::Create(std::move(options), &transfer)) {
    AfxThrowInternetException(context, error);
  }
  if (const DWORD error = transfer->Open(normalized)) AfxThrowInternetException(context, error);
  return std::unique_ptr<CHttpFile>(new CHttpFile(std::move(transfer), context));
}
