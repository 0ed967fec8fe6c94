// The Linux change monitor against real links in namespaces the test makes.
#include <gtest/gtest.h>
#include <poll.h>

#include "platform/net/change_monitor.h"
#include "tests/support/fake_net/netns.h"

namespace {

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;
}

TEST(LinuxChangeMonitor, AnnouncesLinksAddressesAndRoutesOfItsOwnNamespaceOnly) {
  using velmor::test::NetworkNamespace;
  if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  NetworkNamespace watched, other;
  ASSERT_TRUE(watched.RunInside([&] {
    auto monitor = platform::net::LinuxChangeMonitorSource().Open();
    ASSERT_NE(monitor, nullptr);
    ASSERT_EQ(other.Ip({"link add o0 type veth peer name o1", "link set o0 up"}), "");
    EXPECT_FALSE(Readable(monitor->Fd(), 200)) << "a change in another namespace";
    const std::pair<const char*, std::vector<std::string>> steps[] = {
        {"link", {"link add v0 type veth peer name v1"}},       {"link up", {"link set v1 up", "link set v0 up"}},
        {"address", {"addr add 10.77.0.2/24 dev v0"}},          {"route", {"route add default via 10.77.0.1 dev v0"}},
        {"link gone", {"link del v0"}},
    };
    for (const auto& [what, commands] : steps) {
      ASSERT_EQ(watched.Ip(commands), "") << what;
      // Each step's announcements, drained until quiet: at least one of them reports the change.
      bool changed = false;
      while (Readable(monitor->Fd(), changed ? 50 : 5000)) changed = monitor->Drain() || changed;
      EXPECT_TRUE(changed) << what;
      EXPECT_FALSE(monitor->Drain()) << what << ": drained, quiet until the next change";
    }
  }));
}

}  // namespace
