// net/if.h first: it tells linux/if.h (pulled in by the ethtool header) not to define ifreq again.
#include <net/if.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/net/linux_link.h"
#include "platform/net/ndis.h"

namespace platform::net {

namespace {

// One interface ioctl about `name`, in the calling thread's network namespace.
bool AskLink(std::string_view name, unsigned long request, ifreq* question) {
  if (!IsValidInterfaceName(name)) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  std::memcpy(question->ifr_name, name.data(), name.size());
  const int result = ioctl(fd, request, question);
  close(fd);
  return result == 0;
}

}  // namespace

std::optional<std::string> LinkDriver(std::string_view name) {
  ethtool_drvinfo info{};
  info.cmd = ETHTOOL_GDRVINFO;
  ifreq question{};
  question.ifr_data = reinterpret_cast<char*>(&info);
  if (!AskLink(name, SIOCETHTOOL, &question)) return std::nullopt;
  // The kernel zero-fills the field, but a driver name that fills it has no terminator.
  const std::string driver(info.driver, strnlen(info.driver, sizeof info.driver));
  if (driver.empty()) return std::nullopt;
  return driver;
}

bool LinkRunning(std::string_view name) {
  ifreq question{};
  return AskLink(name, SIOCGIFFLAGS, &question) && (question.ifr_flags & IFF_RUNNING) != 0;
}

std::string LinkDescription(std::string_view name, std::string_view kind) {
  std::string description(name);
  if (const std::optional<std::string> driver = LinkDriver(name)) {
    description += " (" + *driver + ")";
  } else if (!kind.empty()) {
    description += " (" + std::string(kind) + ")";
  }
  return description;
}

}  // namespace platform::net
