#include "platform/net/device.h"

#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/kernel/handle.h"
#include "platform/net/ndis.h"

namespace platform::net {
namespace {

// An open adapter device. It remembers the backend it was opened on, so that a test swapping the
// backend does not redirect handles already open.
class AdapterDevice final : public kernel::KernelObject {
 public:
  AdapterDevice(std::string name, std::shared_ptr<NdisDevices> backend)
      : name(std::move(name)), backend(std::move(backend)) {}
  const std::string name;
  const std::shared_ptr<NdisDevices> backend;
};

constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";

}  // namespace
}  // namespace platform::net

HANDLE CreateFileW(const WCHAR* fileName, DWORD /*desiredAccess*/, DWORD /*shareMode*/,
                   SECURITY_ATTRIBUTES* /*security*/, DWORD /*creationDisposition*/, DWORD /*flagsAndAttributes*/,
                   HANDLE /*templateFile*/) {
  using namespace platform::net;
  if (fileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string_view path(fileName, platform::WideLength(fileName));
  if (!path.starts_with(kDevicePrefix)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // The caller made the path from the adapter's name with the ANSI code page; the reverse
  // conversion gives the name's bytes back, also bytes that are no text in the locale's codeset.
  std::string name = platform::WideToAnsi(path.substr(kDevicePrefix.size()));
  std::shared_ptr<NdisDevices> backend = CurrentNdisDevices();
  if (!IsValidInterfaceName(name) || !backend->Exists(name)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return platform::kernel::InsertHandle(std::make_shared<AdapterDevice>(std::move(name), std::move(backend)));
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                     DWORD outBufferSize, LPDWORD bytesReturned, OVERLAPPED* /*overlapped*/) {
  using namespace platform::net;
  auto dev = platform::kernel::LookupHandleAs<AdapterDevice>(device);
  if (!dev) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (ioControlCode != IOCTL_NDIS_QUERY_GLOBAL_STATS) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  if (inBuffer == nullptr || inBufferSize < sizeof(DWORD) || (outBuffer == nullptr && outBufferSize != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD oid;
  std::memcpy(&oid, inBuffer, sizeof oid);
  DWORD written = 0;
  const DWORD error =
      dev->backend->Query(dev->name, oid, std::span<BYTE>(static_cast<BYTE*>(outBuffer), outBufferSize), &written);
  if (bytesReturned) *bytesReturned = error == ERROR_SUCCESS ? written : 0;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
