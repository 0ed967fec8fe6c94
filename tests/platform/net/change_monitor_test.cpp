// The Linux change monitor against real links in namespaces the test makes, and the source seam.
#include <gtest/gtest.h>
#include <poll.h>

#include "platform/net/change_monitor.h"
#include "tests/support/fake_net/fake_changes.h"
#include "tests/support/fake_net/netns.h"
#include "tests/support/fake_net/scoped_backend.h"

namespace velmor::test {
namespace {

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

// Waits (real time) for an announcement and drains it; true when it reported a change.
bool WaitForChange(platform::net::ChangeMonitor& monitor) {
  for (int i = 0; i < 50; ++i) {
    if (!Readable(monitor.Fd(), 100)) continue;
    if (monitor.Drain()) return true;
  }
  return false;
}

TEST(LinuxChangeMonitor, AnnouncesLinksAddressesAndRoutesOfItsOwnNamespaceOnly) {
  if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  NetworkNamespace watched;
  NetworkNamespace other;
  ASSERT_TRUE(watched.ok() && other.ok()) << watched.error() << other.error();

  const bool joined = watched.RunInside([&] {
    platform::net::LinuxChangeMonitorSource source;
    auto monitor = source.Open();
    ASSERT_NE(monitor, nullptr);
    EXPECT_FALSE(Readable(monitor->Fd(), 0)) << "a fresh monitor has nothing to say";
    ASSERT_EQ(other.Ip({"link add o0 type veth peer name o1", "link set o0 up"}), "");
    EXPECT_FALSE(Readable(monitor->Fd(), 200)) << "a change in another namespace";

    const std::pair<const char*, std::vector<std::string>> steps[] = {
        {"link", {"link add v0 type veth peer name v1"}},
        {"link up", {"link set v1 up", "link set v0 up"}},
        {"address", {"addr add 10.77.0.2/24 dev v0"}},
        {"route", {"route add default via 10.77.0.1 dev v0"}},
        {"link gone", {"link del v0"}},
    };
    for (const auto& [what, commands] : steps) {
      ASSERT_EQ(watched.Ip(commands), "") << what;
      EXPECT_TRUE(WaitForChange(*monitor)) << what;
      while (Readable(monitor->Fd(), 50)) monitor->Drain();
      EXPECT_FALSE(monitor->Drain()) << what << ": drained, quiet until the next change";
    }
  });
  ASSERT_TRUE(joined);
}

TEST(ChangeMonitorSource, TheSourceInForceOpensTheMonitorsAndTheLinuxOneComesBack) {
  auto fake = std::make_shared<FakeChangeSource>();
  {
    ScopedBackend<platform::net::ChangeMonitorSource, platform::net::SetChangeMonitorSource> scoped(fake);
    auto monitor = platform::net::OpenChangeMonitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(fake->OpenMonitors(), 1);
    monitor.reset();
    EXPECT_EQ(fake->OpenMonitors(), 0);
  }
  EXPECT_NE(std::dynamic_pointer_cast<platform::net::LinuxChangeMonitorSource>(platform::net::CurrentChangeMonitorSource()),
            nullptr);
}

}  // namespace
}  // namespace velmor::test
