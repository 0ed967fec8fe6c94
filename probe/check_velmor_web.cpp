#include "probe/check_velmor_web.h"

#include <cstring>
#include <memory>
#include <string>

#include "trace/debug_trace.h"
#include "platform/base/codepage.h"
#include "platform/base/format.h"
#include "platform/inet/internet.h"

namespace {

constexpr const char kBodyMarker[] = "Kavel-7100 ";
constexpr const char16_t kRealmText[] = u"Kavel-7100 Web CU";

// Reads the body piece by piece until a piece holds the marker. A failure while reading ends the
// search: the caller wants a yes or no, and a broken answer is no router.
BOOL FindMarkerInBody(CHttpFile& file) {
  alignas(WCHAR) char szLine[2048];
  std::memset(szLine, 0, sizeof szLine);
  try {
    while (file.ReadString(reinterpret_cast<LPWSTR>(szLine), 1024) != nullptr) {
      if (LineHoldsMarker(szLine)) {
        DebugMessage(u"Found K7100 code in html head\n");
        return TRUE;
      }
      DebugMessage(u"Not found 7100 code in html head\n");
    }
  } catch (const CInternetException&) {
    DebugMessage(u"Web ReadFail\n");
  }
  return FALSE;
}

}  // namespace

BOOL LineHoldsMarker(const char* szLine) { return std::strstr(szLine, kBodyMarker) != nullptr ? TRUE : FALSE; }

BOOL HeadersHoldRealm(const std::u16string& strHeaders) {
  return strHeaders.find(kRealmText) != std::u16string::npos ? TRUE : FALSE;
}

BOOL CheckVelmorWeb(const char* address) {
  // The request URL. An address that does not fit would ask for a different page.
  WCHAR wszAddress[128];
  WCHAR wszUrl[128];
  BOOL bResult = FALSE;
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, address, -1, wszAddress, 128) == 0 ||
      swprintf_s(wszUrl, u"http://%s", static_cast<LPCWSTR>(wszAddress)) < 0) {
    DebugMessage(u"OpenURL Fail\n");
    return FALSE;
  }

  // A client of its own for this probe, and the request.
  std::unique_ptr<CInternetSession> pSession;
  std::unique_ptr<CHttpFile> pFile;
  try {
    pSession = std::make_unique<CInternetSession>();
    pFile = pSession->OpenURL(wszUrl, 1, INTERNET_FLAG_TRANSFER_ASCII, nullptr, 0);
  } catch (const CInternetException&) {
    DebugMessage(u"OpenURL Fail\n");
    pSession.reset();
    return FALSE;
  }
  if (!pFile) {
    pSession.reset();
    return FALSE;
  }

  DWORD dwStatusCode = 0;
  if (!pFile->QueryInfoStatusCode(dwStatusCode)) {
    DebugMessage(u"Web QueryFail\n");
    pFile.reset();
    pSession.reset();
    return FALSE;
  }

  DebugMessage(u"QueryStatus code: %d", dwStatusCode);

  if (dwStatusCode >= 200 && dwStatusCode <= 299) {
    // Any success traces its status once more, then looks for the marker in the body.
    DebugMessage(u"QueryStatus code: %d", dwStatusCode);
    bResult = FindMarkerInBody(*pFile);
  } else if (dwStatusCode == 401) {
    // The challenge: the realm anywhere in the headers.
    DebugMessage(u"QueryStatus is 401");
    std::u16string strHeaders;
    if (!pFile->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, strHeaders)) {
      DebugMessage(u"queryinfo fail\n");
    } else {
      if (HeadersHoldRealm(strHeaders)) bResult = TRUE;
      if (g_bDebugMessage.load(std::memory_order_relaxed)) DebugMessage(u"%s", EscapeControlsInHead(strHeaders));
    }
  }
  // Any other status: not the router.

  // The response goes first, then the client.
  pFile.reset();
  pSession.reset();
  return bResult;
}
