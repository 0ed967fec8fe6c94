// The Linux change monitor against real links in namespaces the test makes.
#include <gtest/gtest.h>
#include <net/if.h>
#include <linux/if.h>
#include <linux/rtnetlink.h>
#include <poll.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <tuple>

#include "platform/net/change_monitor.h"
#include "platform/net/linux_link_states.h"
#include "tests/support/fake_net/netns.h"

namespace {

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;
}

// Each step's announcements, drained until quiet: the most telling of them.
platform::net::NetworkChange DrainUntilQuiet(platform::net::ChangeMonitor& monitor) {
  auto change = platform::net::NetworkChange::kNone;
  while (Readable(monitor.Fd(), change != platform::net::NetworkChange::kNone ? 100 : 5000)) {
    change = std::max(change, monitor.Drain());
  }
  return change;
}

// A link whose peer is in another namespace loses its carrier while it stays on, as a station's
// link does between two access points.
TEST(LinuxChangeMonitor, TellsALinkLostWhileOnFromWhatEndsTheLoss) {
  using velmor::test::NetworkNamespace;
  using platform::net::NetworkChange;
  if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  NetworkNamespace watched, peer;
  ASSERT_EQ(watched.Ip({"link add v0 type veth peer name v1 netns " + peer.name(), "link set v0 up",
                        "addr add 10.77.0.2/24 dev v0"}),
            "");
  ASSERT_EQ(peer.Ip({"link set v1 up"}), "");
  ASSERT_TRUE(watched.RunInside([&] {
    // Opened with the link already up: the monitor knows it from the start.
    auto monitor = platform::net::LinuxChangeMonitorSource().Open();
    ASSERT_NE(monitor, nullptr);
    const std::tuple<const char*, NetworkNamespace*, std::string, NetworkChange> steps[] = {
        {"carrier lost", &peer, "link set v1 down", NetworkChange::kLinkLoss},
        {"carrier back", &peer, "link set v1 up", NetworkChange::kLinkBack},
        {"address added", &watched, "addr add 10.77.0.3/24 dev v0", NetworkChange::kChange},
        {"route added", &watched, "route add default via 10.77.0.1 dev v0", NetworkChange::kChange},
        {"address removed", &watched, "addr del 10.77.0.3/24 dev v0", NetworkChange::kLinkOutcome},
        {"switched off", &watched, "link set v0 down", NetworkChange::kLinkOutcome},
        {"link gone", &watched, "link del v0", NetworkChange::kLinkOutcome},
    };
    for (const auto& [what, where, command, expected] : steps) {
      ASSERT_EQ(where->Ip({command}), "") << what;
      EXPECT_EQ(DrainUntilQuiet(*monitor), expected) << what;
      EXPECT_EQ(monitor->Drain(), NetworkChange::kNone) << what << ": drained, quiet until the next change";
    }
  }));
}

// A link message as the kernel sends it: flags, and the operational state when given.
struct LinkMessage {
  nlmsghdr header;
  ifinfomsg info;
  nlattr attribute;
  std::uint8_t operstate;
  std::uint8_t padding[3];
};
LinkMessage Link(unsigned flags, std::optional<std::uint8_t> operstate) {
  LinkMessage m{};
  m.header.nlmsg_type = RTM_NEWLINK;
  m.header.nlmsg_len = NLMSG_LENGTH(sizeof m.info);
  m.info.ifi_index = 3;
  m.info.ifi_flags = flags;
  if (operstate) {
    m.attribute = nlattr{static_cast<std::uint16_t>(NLA_HDRLEN + 1), IFLA_OPERSTATE};
    m.operstate = *operstate;
    m.header.nlmsg_len = sizeof m;
  }
  return m;
}

// Between association and key handshake a station's link has its carrier but is dormant; the
// wireless events sent then as link messages carry the carrier flag and no state.
TEST(LinkStates, AWirelessEventInsideALossNeitherEndsNorStartsOne) {
  using platform::net::NetworkChange;
  platform::net::LinkStates links;
  const unsigned on = IFF_UP | IFF_BROADCAST, carrier = on | IFF_LOWER_UP;
  LinkMessage up = Link(carrier | IFF_RUNNING, IF_OPER_UP);
  links.Learn(&up.header);
  const std::tuple<const char*, LinkMessage, NetworkChange> steps[] = {
      {"dormant", Link(carrier, IF_OPER_DORMANT), NetworkChange::kLinkLoss},
      {"wireless event", Link(carrier, std::nullopt), NetworkChange::kChange},
      {"up", Link(carrier | IFF_RUNNING, IF_OPER_UP), NetworkChange::kLinkBack},
      {"wireless event while up", Link(on, std::nullopt), NetworkChange::kChange},
      {"down", Link(on, IF_OPER_DOWN), NetworkChange::kLinkLoss},
  };
  for (auto [what, message, expected] : steps) EXPECT_EQ(links.Announced(&message.header), expected) << what;
}

}  // namespace
