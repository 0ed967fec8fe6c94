#include "monitor/check_velmor_connection.h"

#include <cstring>
#include <string>
#include <vector>

#include "trace/debug_trace.h"
#include "app/velmor_manager_dlg.h"
#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/kernel/sync.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/ndis.h"
#include "probe/check_velmor_web.h"
#include "probe/query_oid.h"
#include "probe/query_wlan_ssid.h"

namespace {

constexpr char kProbePage[] = "admin/pcapp.asp";
constexpr ULONG kInitialRecords = 16;
constexpr std::size_t kSsidTextSize = 128;

// Byte text from the platform (adapter texts, the URL) goes to the trace as plain text, never as
// a format, and its control characters as visible escapes.
void TraceText(const char* pszText) {
  if (!g_bDebugMessage.load(std::memory_order_relaxed)) return;
  DebugMessage(u"%s", EscapeControls(platform::AnsiToWide(pszText)));
}

// The whole adapter list. The first call offers room for 16 records; a PC with more adapters
// gets a second call with the size the platform asks for (the list may grow in between, hence
// the few tries). A list that cannot be read is traced and counts as no adapter.
std::vector<IP_ADAPTER_INFO> ReadAdapterList() {
  std::vector<IP_ADAPTER_INFO> buffer(kInitialRecords);
  ULONG ulSize = static_cast<ULONG>(buffer.size() * sizeof(IP_ADAPTER_INFO));
  for (int attempt = 0; attempt < 4; ++attempt) {
    const ULONG result = GetAdaptersInfo(buffer.data(), &ulSize);
    if (result == ERROR_SUCCESS) return buffer;
    if (result == ERROR_NO_DATA) return {};
    if (result != ERROR_BUFFER_OVERFLOW) {
      DebugMessage(u"GetAdaptersInfo failed with error: %u\n", result);
      return {};
    }
    buffer.assign((ulSize + sizeof(IP_ADAPTER_INFO) - 1) / sizeof(IP_ADAPTER_INFO), IP_ADAPTER_INFO{});
    ulSize = static_cast<ULONG>(buffer.size() * sizeof(IP_ADAPTER_INFO));
  }
  DebugMessage(u"GetAdaptersInfo failed with error: %u\n", static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
  return {};
}

// The SSID of an adapter whose gateway answered as the router, by its medium: a native 802.11
// adapter through the Wi-Fi service, a legacy one through its driver. TRUE when the router counts
// as found; `szSsid` then holds the SSID text (empty when the Wi-Fi service read none).
BOOL ReadSsid(const IP_ADAPTER_INFO& adapter, DWORD dwMedium, char* szSsid) {
  if (dwMedium == NdisPhysicalMediumNative802_11) {
    DebugMessage(u"Native Get SSID\n");
    return QueryWlanSsid(adapter.AdapterName, szSsid);
  }

  DebugMessage(u"Get SSID\n");
  NDIS_802_11_SSID ssid{};
  if (!QueryOID(adapter.AdapterName, OID_802_11_SSID, &ssid, sizeof ssid) || ssid.SsidLength == 0) {
    DebugMessage(u"Get SSID Fail\n");
    return FALSE;
  }
  // The SSID ends at its first zero byte, at its stated length, and at 32 bytes.
  std::size_t nLength = ssid.SsidLength < NDIS_802_11_LENGTH_SSID ? ssid.SsidLength : NDIS_802_11_LENGTH_SSID;
  const void* pZero = std::memchr(ssid.Ssid, 0, nLength);
  if (pZero != nullptr) nLength = static_cast<std::size_t>(static_cast<const UCHAR*>(pZero) - ssid.Ssid);
  std::memset(szSsid, 0, kSsidTextSize);
  std::memcpy(szSsid, ssid.Ssid, nLength);
  return TRUE;
}

// Brings the window up to date with what the pass found: the connected state when the SSID
// differs from the one shown last, the disconnected state when the router shown is gone. The
// caller holds the dialog's lock.
void ApplyPassResult(CVelmor_managerDlg* pDlg, BOOL bFound, const char* szSsid) {
  if (bFound) {
    DebugMessage(u"found SSID\n");
    if (std::strcmp(szSsid, pDlg->m_szLastSsid) != 0) {
      const std::u16string wszSsid = platform::AnsiToWide(szSsid);
      pDlg->ShowSsid(wszSsid.c_str());
      pDlg->UpdateConnectionStatus(TRUE);
    }
    std::memset(pDlg->m_szLastSsid, 0, sizeof pDlg->m_szLastSsid);
    std::memcpy(pDlg->m_szLastSsid, szSsid, std::strlen(szSsid));
    return;
  }

  // The window may show the connected state with an empty SSID (a router whose SSID could not
  // be read); losing that router must show the disconnected state too.
  if (pDlg->m_szLastSsid[0] != 0 || pDlg->m_bConnected) {
    pDlg->ShowSsid(nullptr);
    pDlg->UpdateConnectionStatus(FALSE);
    std::memset(pDlg->m_szLastSsid, 0, sizeof pDlg->m_szLastSsid);
  }
}

}  // namespace

BOOL CheckVelmorConnection(CVelmor_managerDlg* pDlg, char* pszGateway) {
  const std::stop_token stop = platform::kernel::CurrentStopToken();

  pDlg->m_bCheckComplete = false;

  std::vector<IP_ADAPTER_INFO> adapters = ReadAdapterList();
  PIP_ADAPTER_INFO pAdapter = adapters.empty() ? nullptr : adapters.data();

  char szSsid[kSsidTextSize];
  char szUrl[128];
  std::memset(szSsid, 0, sizeof szSsid);
  std::memset(szUrl, 0, sizeof szUrl);
  BOOL bFound = FALSE;

  for (; pAdapter != nullptr; pAdapter = pAdapter->Next) {
    // Close asked this pass to stop: nothing more is asked of the network.
    if (stop.stop_requested()) break;

    DWORD dwMedium = 0;
    if (!QueryOID(pAdapter->AdapterName, OID_GEN_PHYSICAL_MEDIUM, &dwMedium, sizeof dwMedium)) continue;
    DebugMessage(u"MediumType: %d\n", dwMedium);
    if (dwMedium != NdisPhysicalMediumWirelessLan && dwMedium != NdisPhysicalMediumNative802_11) {
      TraceText(pAdapter->Description);
      continue;
    }

    DWORD dwStatus = 0;
    if (!QueryOID(pAdapter->AdapterName, OID_GEN_MEDIA_CONNECT_STATUS, &dwStatus, sizeof dwStatus)) {
      DebugMessage(u"OID_GEN_MEDIA_CONNECT_STATUS get fail\n");
      continue;
    }
    if (dwStatus != NdisMediaStateConnected) {
      TraceText(pAdapter->Description);
      DebugMessage(u"WLAN disconnect state\n");
      continue;
    }

    const char* pszAdapterGateway = pAdapter->GatewayList.IpAddress.String;
    TraceText(pAdapter->Description);
    TraceText(pAdapter->IpAddressList.IpAddress.String);
    TraceText(pszAdapterGateway);

    sprintf_s(szUrl, "%s/%s", pszAdapterGateway, kProbePage);
    TraceText(szUrl);
    DebugMessage(u"medium: %d\n", dwMedium);

    if (!CheckVelmorWeb(szUrl)) continue;
    if (!ReadSsid(*pAdapter, dwMedium, szSsid)) continue;

    std::memcpy(pszGateway, pszAdapterGateway, sizeof pAdapter->GatewayList.IpAddress.String);
    bFound = TRUE;
    break;
  }

  {
    std::lock_guard lock(pDlg->m_csShared);
    // A pass stopped by close leaves the window alone.
    if (!stop.stop_requested()) ApplyPassResult(pDlg, bFound, szSsid);
    pDlg->RecordPassResult(pDlg->m_bConnected, pszGateway);
  }
  SetEvent(pDlg->m_hCheckDoneEvent);
  pDlg->m_bCheckComplete = true;
  return bFound;
}
