// What rtnetlink's announcements of links, addresses and routes amount to for the change
// monitor, following whether each link is up.
#pragma once

#include <linux/netlink.h>

#include <map>

#include "platform/net/change_monitor.h"

namespace platform::net {

class LinkStates {
 public:
  // Takes in a link as a dump describes it; any other message is ignored.
  void Learn(const nlmsghdr* header);
  // What an announcement amounts to; the links it describes are taken in.
  NetworkChange Announced(const nlmsghdr* header);

 private:
  // Up as the driver query reads the media state: operational state up, or unknown with a
  // carrier; a link that is switched off is not up.
  std::map<int, bool> up_;
};

}  // namespace platform::net
