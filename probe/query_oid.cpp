#include "probe/query_oid.h"

#include <cstring>

#include "trace/debug_trace.h"
#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/kernel/handle.h"
#include "platform/net/device.h"
#include "platform/net/ndis.h"

namespace {

// The device namespace's prefix, "\\.\". It is no text of the locale: in Shift_JIS the byte 5C
// is the yen sign, so only the adapter's name goes through the code page.
constexpr WCHAR kDevicePrefix[] = u"\\\\.\\";
constexpr int kDevicePrefixLength = 4;

}  // namespace

BOOL QueryOID(const char* adapterName, DWORD oid, void* buffer, DWORD bufferSize) {
  WCHAR wszPath[128];
  std::memset(wszPath, 0, sizeof wszPath);
  std::memcpy(wszPath, kDevicePrefix, kDevicePrefixLength * sizeof(WCHAR));
  // A name too long for the path buffer would open a cut-off name; it names no device.
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, adapterName, -1, wszPath + kDevicePrefixLength, 128 - kDevicePrefixLength) == 0) {
    DebugMessage(u"QueryOID CreateFile Fail");
    return FALSE;
  }

  HANDLE hDevice = CreateFileW(wszPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, INVALID_HANDLE_VALUE);
  if (hDevice == INVALID_HANDLE_VALUE) {
    DebugMessage(u"QueryOID CreateFile Fail");
    return FALSE;
  }

  DWORD dwOid = oid;
  DWORD dwBytesReturned = 0;
  if (!DeviceIoControl(hDevice, IOCTL_NDIS_QUERY_GLOBAL_STATS, &dwOid, sizeof dwOid, buffer, bufferSize,
                       &dwBytesReturned, nullptr)) {
    DebugMessage(u"QueryOID DeviceIoControl Fail: %d", GetLastError());
    CloseHandle(hDevice);
    return FALSE;
  }

  CloseHandle(hDevice);
  return TRUE;
}
