#include <fcntl.h>
// net/if.h first: it tells linux/if.h (pulled in by linux/wireless.h) not to define ifreq again.
#include <net/if.h>
#include <linux/wireless.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "platform/base/errors.h"
#include "platform/base/service.h"
#include "platform/net/ndis.h"
#include "platform/net/netlink.h"

namespace platform::net {
namespace {

std::string SysfsPath(std::string_view name, const char* leaf) {
  return "/sys/class/net/" + std::string(name) + "/" + leaf;
}

bool SysfsExists(std::string_view name, const char* leaf) {
  struct stat st {};
  return stat(SysfsPath(name, leaf).c_str(), &st) == 0;
}

// The first line of a sysfs attribute, or nothing when it cannot be read (a down link refuses
// "carrier", for instance).
std::optional<std::string> SysfsRead(std::string_view name, const char* leaf) {
  OwnedFd fd(open(SysfsPath(name, leaf).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  char buf[64];
  const ssize_t n = read(fd.get(), buf, sizeof buf - 1);
  if (n < 0) return std::nullopt;
  std::string value(buf, static_cast<std::size_t>(n));
  while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
  return value;
}

DWORD PutDword(DWORD value, std::span<BYTE> answer, DWORD* written) {
  if (answer.size() < sizeof value) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(answer.data(), &value, sizeof value);
  *written = sizeof value;
  return ERROR_SUCCESS;
}

constexpr int kArphrdEther = 1;

DWORD PhysicalMedium(std::string_view name, std::span<BYTE> answer, DWORD* written) {
  if (SysfsExists(name, "phy80211")) return PutDword(NdisPhysicalMediumNative802_11, answer, written);
  if (SysfsExists(name, "wireless")) return PutDword(NdisPhysicalMediumWirelessLan, answer, written);
  const std::optional<std::string> type = SysfsRead(name, "type");
  if (!type) return ERROR_FILE_NOT_FOUND;
  if (*type == std::to_string(kArphrdEther)) return PutDword(NdisPhysicalMedium802_3, answer, written);
  return ERROR_NOT_SUPPORTED;
}

DWORD ConnectStatus(std::string_view name, std::span<BYTE> answer, DWORD* written) {
  const std::optional<std::string> operstate = SysfsRead(name, "operstate");
  if (!operstate) return ERROR_FILE_NOT_FOUND;
  bool connected = *operstate == "up";
  if (*operstate == "unknown") connected = SysfsRead(name, "carrier") == std::optional<std::string>("1");
  return PutDword(connected ? NdisMediaStateConnected : NdisMediaStateDisconnected, answer, written);
}

DWORD Ssid(std::string_view name, std::span<BYTE> answer, DWORD* written) {
  if (answer.size() < sizeof(NDIS_802_11_SSID)) return ERROR_INSUFFICIENT_BUFFER;
  OwnedFd sock(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (sock.get() < 0) return ERROR_GEN_FAILURE;
  char essid[IW_ESSID_MAX_SIZE + 1] = {};
  iwreq request{};
  std::memcpy(request.ifr_name, name.data(), name.size());
  request.u.essid.pointer = essid;
  // Exactly 32: a length of 33 asks for the old wireless-extensions form, in which the kernel
  // counts a terminating zero (a 15-byte SSID comes back as 16 bytes, no SSID as 1) and refuses a
  // 32-byte SSID for want of room.
  request.u.essid.length = IW_ESSID_MAX_SIZE;
  if (ioctl(sock.get(), SIOCGIWESSID, &request) != 0) {
    return errno == ENODEV ? ERROR_FILE_NOT_FOUND : ERROR_NOT_SUPPORTED;
  }
  NDIS_802_11_SSID ssid{};
  ssid.SsidLength = request.u.essid.length > NDIS_802_11_LENGTH_SSID ? NDIS_802_11_LENGTH_SSID
                                                                     : request.u.essid.length;
  std::memcpy(ssid.Ssid, essid, ssid.SsidLength);
  std::memcpy(answer.data(), &ssid, sizeof ssid);
  *written = sizeof ssid;
  return ERROR_SUCCESS;
}

}  // namespace

bool IsValidInterfaceName(std::string_view name) {
  if (name.empty() || name.size() >= IFNAMSIZ || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == ':') return false;
  }
  return true;
}

bool LinuxNdisDevices::Exists(std::string_view name) {
  return IsValidInterfaceName(name) && if_nametoindex(std::string(name).c_str()) != 0;
}

DWORD LinuxNdisDevices::Query(std::string_view name, DWORD oid, std::span<BYTE> answer, DWORD* written) {
  *written = 0;
  if (!IsValidInterfaceName(name)) return ERROR_FILE_NOT_FOUND;
  switch (oid) {
    case OID_GEN_PHYSICAL_MEDIUM:
      return PhysicalMedium(name, answer, written);
    case OID_GEN_MEDIA_CONNECT_STATUS:
      return ConnectStatus(name, answer, written);
    case OID_802_11_SSID:
      return Ssid(name, answer, written);
    default:
      return ERROR_NOT_SUPPORTED;
  }
}

namespace {
constinit Service<NdisDevices> g_ndis([]() -> std::shared_ptr<NdisDevices> { return std::make_shared<LinuxNdisDevices>(); });
}  // namespace

std::shared_ptr<NdisDevices> CurrentNdisDevices() { return g_ndis.Get(); }

void SetNdisDevices(std::shared_ptr<NdisDevices> devices) { g_ndis.Set(std::move(devices)); }

}  // namespace platform::net
