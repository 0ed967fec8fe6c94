#include "platform/inet/internet.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

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

}  // namespace platform::inet

namespace {

[[noreturn]] void Throw(DWORD_PTR context, DWORD error) { throw CInternetException(context, error); }

}  // namespace

// ---- CInternetFile ----

CInternetFile::CInternetFile(std::unique_ptr<platform::inet::Transfer> transfer, DWORD_PTR context)
    : transfer_(std::move(transfer)), context_(context) {}

CInternetFile::~CInternetFile() = default;

LPWSTR CInternetFile::ReadString(LPWSTR buffer, UINT maxChars) {
  // Fewer than two characters leave no room for a byte and its terminator.
  if (buffer == nullptr || maxChars < 2) Throw(context_, ERROR_INVALID_PARAMETER);

  const std::size_t capacity = std::size_t{maxChars} * sizeof(WCHAR);
  std::string piece;
  if (const DWORD error = transfer_->ReadPiece(capacity - sizeof(WCHAR), piece)) Throw(context_, error);
  char* bytes = reinterpret_cast<char*>(buffer);
  std::memcpy(bytes, piece.data(), piece.size());
  std::memset(bytes + piece.size(), 0, capacity - piece.size());
  return piece.empty() ? nullptr : buffer;
}

// ---- CHttpFile ----

BOOL CHttpFile::QueryInfoStatusCode(DWORD& statusCode) const {
  if (transfer_->StatusCode() <= 0) {
    SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    return FALSE;
  }
  statusCode = static_cast<DWORD>(transfer_->StatusCode());
  return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD infoLevel, std::u16string& text) const {
  if (infoLevel != HTTP_QUERY_RAW_HEADERS_CRLF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // WinINet hands out the head in the system code page, as the program's callers expect.
  text = platform::AnsiToWide(transfer_->Head());
  return TRUE;
}

// ---- CInternetSession ----

CInternetSession::CInternetSession() {
  if (!platform::inet::InitializeInternet()) Throw(1, ERROR_INTERNET_INTERNAL_ERROR);
  static const std::string applicationName = platform::inet::ApplicationName();
  agent_ = applicationName;
}

CInternetSession::~CInternetSession() = default;

std::unique_ptr<CHttpFile> CInternetSession::OpenURL(LPCWSTR url, DWORD_PTR context, DWORD /*flags*/,
                                                     LPCWSTR headers, DWORD /*headersLength*/) {
  if (headers != nullptr) Throw(context, ERROR_INVALID_PARAMETER);
  if (url == nullptr) Throw(context, ERROR_INTERNET_INVALID_URL);
  const std::optional<platform::inet::Url> parsed = platform::inet::ParseUrl(platform::Utf16ToUtf8(url));
  if (!parsed) Throw(context, ERROR_INTERNET_INVALID_URL);
  if (parsed->scheme != "http" && parsed->scheme != "https") return nullptr;

  platform::inet::TransferOptions options;
  options.agent = agent_;
  std::unique_ptr<platform::inet::Transfer> transfer;
  if (const DWORD error = platform::inet::Transfer::Create(std::move(options), &transfer)) Throw(context, error);
  if (const DWORD error = transfer->Open(*parsed)) Throw(context, error);
  return std::unique_ptr<CHttpFile>(new CHttpFile(std::move(transfer), context));
}
