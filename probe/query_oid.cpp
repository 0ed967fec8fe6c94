#include "probe/query_oid.h"

#include <cstring>

#include "trace/debug_trace.h"
#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/kernel/handle.h"
#include "platform/net/device.h"
#include "platform/net/ndis.h"

BOOL QueryOID(const char* adapterName, DWORD oid, void* buffer, DWORD bufferSize) {
  char szPath[128];
  WCHAR wszPath[128];
  std::memset(szPath, 0, sizeof szPath);
  std::memset(wszPath, 0, sizeof wszPath);
  // A name too long for the path buffer would open a cut-off name; it names no device.
  if (sprintf_s(szPath, "\\\\.\\%s", adapterName) < 0 ||
      MultiByteToWideChar(CP_THREAD_ACP, 0, szPath, -1, wszPath, 128) == 0) {
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
