// Prints what the Linux adapter backend answers for each interface named on the command line:
//   NAME medium=<value>|error=<code> status=<value>|error=<code>
// Tests run it inside network namespaces of their own (ip netns exec), where sysfs shows that
// namespace's links.
#include <cstdio>

#include "platform/base/errors.h"
#include "platform/net/ndis.h"

namespace {

void Print(platform::net::NdisDevices& devices, const char* name, DWORD oid, const char* label) {
  DWORD value = 0;
  DWORD written = 0;
  const DWORD error =
      devices.Query(name, oid, std::span<BYTE>(reinterpret_cast<BYTE*>(&value), sizeof value), &written);
  if (error == ERROR_SUCCESS) {
    std::printf(" %s=%u", label, value);
  } else {
    std::printf(" %s=error:%u", label, error);
  }
}

}  // namespace

int main(int argc, char** argv) {
  platform::net::LinuxNdisDevices devices;
  for (int i = 1; i < argc; ++i) {
    std::printf("%s exists=%d", argv[i], devices.Exists(argv[i]) ? 1 : 0);
    Print(devices, argv[i], OID_GEN_PHYSICAL_MEDIUM, "medium");
    Print(devices, argv[i], OID_GEN_MEDIA_CONNECT_STATUS, "status");
    std::printf("\n");
  }
  return 0;
}
