// The Linux adapter drivers: the loopback has no medium, names that could leave the links' folder
// name no adapter, and a link is connected only while it is up with its carrier.
#include <gtest/gtest.h>

#include "platform/base/errors.h"
#include "platform/net/ndis.h"
#include "tests/support/fake_net/netns.h"

TEST(NdisLinux, TheLoopbackHasNoMediumAndNamesThatCouldLeaveTheLinksFolderNameNoAdapter) {
  platform::net::LinuxNdisDevices devices;
  const auto ask = [&](const char* name) {
    DWORD value = 0, written = 0;
    return devices.Query(name, OID_GEN_PHYSICAL_MEDIUM, {reinterpret_cast<BYTE*>(&value), sizeof value}, &written);
  };
  EXPECT_EQ(ask("lo"), ERROR_NOT_SUPPORTED);
  for (const char* name : {"../lo", "lo/../lo", "", ".", "a-name-far-too-long-for-a-link"}) {
    EXPECT_FALSE(devices.Exists(name)) << name;
    EXPECT_EQ(ask(name), ERROR_FILE_NOT_FOUND) << name;
  }
}

TEST(NdisLinux, AVethIsDisconnectedUntilItsPeerIsUp) {
  using velmor::test::NetworkNamespace;
  if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  NetworkNamespace ns;
  ASSERT_EQ(ns.Ip({"link add a0 type veth peer name b0", "link set a0 up"}), "");
  const auto status = [&] {
    DWORD value = 99, written = 0;
    EXPECT_TRUE(ns.RunInside([&] {
      platform::net::LinuxNdisDevices().Query("a0", OID_GEN_MEDIA_CONNECT_STATUS, {reinterpret_cast<BYTE*>(&value), sizeof value}, &written);
    }));
    return value;
  };
  EXPECT_EQ(status(), NdisMediaStateDisconnected);
  ASSERT_EQ(ns.Ip({"link set b0 up"}), "");
  EXPECT_EQ(status(), NdisMediaStateConnected);
}
