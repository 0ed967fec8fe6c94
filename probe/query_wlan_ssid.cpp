#include "probe/query_wlan_ssid.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "trace/debug_trace.h"
#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/base/format.h"
#include "platform/kernel/debug_output.h"
#include "platform/net/guid.h"
#include "platform/net/wlanapi.h"

namespace {

constexpr std::size_t kSsidTextSize = 128;
constexpr int kAdapterNameChars = 260;

// These lines are for whoever runs the program from a terminal, so they go to standard output
// whatever the debug switch says.
template <class... Args>
void PrintLine(platform::FormatString<Args...> format, const Args&... args) {
  platform::kernel::WriteStandardOutput(platform::Format<Args...>(format, args...));
}

// Appends one formatted SSID byte. The caller's text never grows past its 128 bytes, whatever
// it already held.
void AppendSsidByte(char* ssidText, UCHAR byte) {
  char szByte[2];
  sprintf_s(szByte, "%c", static_cast<char>(byte));
  const std::size_t length = strnlen(ssidText, kSsidTextSize - 1);
  // A zero byte formats as an empty text and adds nothing.
  if (szByte[0] == '\0' || length == kSsidTextSize - 1) return;
  ssidText[length] = szByte[0];
  ssidText[length + 1] = '\0';
}

// Each SSID byte goes to the trace as the character of its value, a control character as its
// visible escape.
void TraceSsidByte(UCHAR byte) {
  if (!g_bDebugMessage.load(std::memory_order_relaxed)) return;
  const char16_t c = byte;
  DebugMessage(u"%s", EscapeControls(std::u16string_view(&c, 1)));
}

}  // namespace

BOOL QueryWlanSsid(const char* adapterName, char* ssidText) {
  HANDLE hClient = nullptr;
  DWORD dwCurVersion = 0;
  DWORD dwResult = WlanOpenHandle(2, nullptr, &dwCurVersion, &hClient);
  if (dwResult != ERROR_SUCCESS) {
    DebugMessage(u"WlanOpenHandle failed with error: %u\n", dwResult);
    return FALSE;
  }

  PWLAN_INTERFACE_INFO_LIST pIfList = nullptr;
  dwResult = WlanEnumInterfaces(hClient, nullptr, &pIfList);
  if (dwResult != ERROR_SUCCESS) {
    DebugMessage(u"WlanEnumInterfaces failed with error: %u\n", dwResult);
    WlanCloseHandle(hClient, nullptr);
    return FALSE;
  }

  WCHAR wszGuid[39];
  std::memset(wszGuid, 0, sizeof wszGuid);
  const auto* pInfos = pIfList->InterfaceInfo;
  for (int i = 0; i < static_cast<int>(pIfList->dwNumberOfItems); i++) {
    const WLAN_INTERFACE_INFO& ifInfo = pInfos[i];
    if (StringFromGUID2(ifInfo.InterfaceGuid, wszGuid, 39) == 0) {
      PrintLine("StringFromGUID2 failed\n");
      // The text buffer still holds the previous interface's GUID; comparing it would query
      // this interface under another's name.
      continue;
    }
    PrintLine("  InterfaceGUID[%d]: %ws\n", i, EscapeControls(wszGuid).c_str());

    // A name that cannot be converted matches no interface.
    WCHAR wszAdapterName[kAdapterNameChars];
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, adapterName, -1, wszAdapterName, kAdapterNameChars) == 0 ||
        std::u16string_view(wszAdapterName) != std::u16string_view(wszGuid)) {
      continue;
    }

    DWORD dwConnectInfoSize = 0;
    PWLAN_CONNECTION_ATTRIBUTES pConnectInfo = nullptr;
    dwResult = WlanQueryInterface(hClient, &ifInfo.InterfaceGuid, wlan_intf_opcode_current_connection, nullptr,
                                  &dwConnectInfoSize, reinterpret_cast<PVOID*>(&pConnectInfo), nullptr);
    if (dwResult != ERROR_SUCCESS) {
      DebugMessage(u"get ssid fail\n");
      continue;
    }

    DebugMessage(u"get ssid: %d\n", dwConnectInfoSize);
    const DOT11_SSID& ssid = pConnectInfo->wlanAssociationAttributes.dot11Ssid;
    const ULONG length = ssid.uSSIDLength < DOT11_SSID_MAX_LENGTH ? ssid.uSSIDLength : DOT11_SSID_MAX_LENGTH;
    for (ULONG k = 0; k < length; k++) {
      TraceSsidByte(ssid.ucSSID[k]);
      AppendSsidByte(ssidText, ssid.ucSSID[k]);
    }
    WlanFreeMemory(pConnectInfo);
  }

  WlanFreeMemory(pIfList);
  WlanCloseHandle(hClient, nullptr);
  return TRUE;
}
