// The Linux backends of the adapter list and of the drivers: GetAdaptersInfo over rtnetlink and the
// connect status over sysfs, against links, addresses and routes built in a network namespace of
// the test's own (nothing is sent over them); and names that could leave the links' folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/ndis.h"
#include "tests/support/fake_net/netns.h"

namespace {

auto OpenFdCount() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

TEST(LinuxLinks, InOrderWithTheirFirstAddressAndTheGatewayOfTheirBestDefaultRouteConnectedOnlyWithACarrier) {
  using velmor::test::NetworkNamespace;
  if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  NetworkNamespace ns;
  ASSERT_EQ(ns.Ip({
                "link add a0 type veth peer name a0p", "link add b0 type veth peer name b0p",
                "link add c0 type veth peer name c0p", "link add d0 type veth peer name d0p",
                // e0 is up, but its peer is not: no carrier, so not connected.
                "link add e0 type veth peer name e0p", "link set e0 up", "link set a0 up",
                "link set a0p up", "link set b0 up", "link set b0p up", "link set d0 up", "link set d0p up",
                // Two addresses in one subnet: the first added is the primary, the one the link is known by.
                "addr add 10.10.1.9/24 dev a0", "addr add 10.10.1.2/24 dev a0", "addr add 10.20.0.2/16 dev b0",
                "addr add 2001:db8::2/64 dev c0 nodad", "addr add 10.10.2.2/24 dev d0",
                "route add default via 10.10.1.1 dev a0 metric 200", "route add default via 10.10.1.254 dev a0 metric 50",
                // Lower metrics, but through another link, in another table, or not a default route.
                "route add default via 10.10.2.1 dev d0 metric 10",
                "route add default via 10.10.1.77 dev a0 table 100 metric 1",
                "route add 0.0.0.0/1 via 10.10.1.99 dev a0 metric 1",
            }),
            "");
  ULONG result = 0;
  std::vector<std::string> listed;  // "name description address/mask gateway", in the list's order
  DWORD connected[2] = {99, 99};     // the connect status of a0 and e0
  const std::size_t fds = OpenFdCount();
  ASSERT_TRUE(ns.RunInside([&] {
    ULONG size = 0;
    if ((result = GetAdaptersInfo(nullptr, &size)) != ERROR_BUFFER_OVERFLOW) return;
    std::vector<IP_ADAPTER_INFO> buffer(size / sizeof(IP_ADAPTER_INFO));
    result = GetAdaptersInfo(buffer.data(), &size);
    for (const IP_ADAPTER_INFO* a = buffer.data(); result == ERROR_SUCCESS && a != nullptr; a = a->Next) {
      if (std::string_view(a->AdapterName).ends_with('p')) continue;  // the peers, made with their links
      listed.push_back(std::string(a->AdapterName) + " " + a->Description + " " + a->IpAddressList.IpAddress.String +
                       "/" + a->IpAddressList.IpMask.String + " " + a->GatewayList.IpAddress.String);
    }
    DWORD written = 0;
    for (int i = 0; i < 2; ++i) {
      platform::net::LinuxNdisDevices().Query(i == 0 ? "a0" : "e0", OID_GEN_MEDIA_CONNECT_STATUS,
                                              {reinterpret_cast<BYTE*>(&connected[i]), sizeof(DWORD)}, &written);
    }
  }));
  EXPECT_EQ(OpenFdCount(), fds);
  ASSERT_EQ(result, ERROR_SUCCESS);
  // The links were made in this order, so their indexes rise in it; the loopback is no adapter.
  EXPECT_EQ(listed, (std::vector<std::string>{"a0 a0 (veth) 10.10.1.9/255.255.255.0 10.10.1.254",
                                              "b0 b0 (veth) 10.20.0.2/255.255.0.0 ", "c0 c0 (veth) 0.0.0.0/0.0.0.0 ",
                                              "d0 d0 (veth) 10.10.2.2/255.255.255.0 10.10.2.1",
                                              "e0 e0 (veth) 0.0.0.0/0.0.0.0 "}));
  EXPECT_EQ(connected[0], NdisMediaStateConnected);
  EXPECT_EQ(connected[1], NdisMediaStateDisconnected);
}

TEST(NdisLinux, NamesThatCouldLeaveTheLinksFolderNameNoAdapter) {
  platform::net::LinuxNdisDevices devices;
  for (const char* name : {"../lo", "lo/../lo", "", ".", "a-name-far-too-long-for-a-link"}) {
    DWORD value = 0, written = 0;
    const std::span<BYTE> answer{reinterpret_cast<BYTE*>(&value), sizeof value};
    EXPECT_EQ(devices.Query(name, OID_GEN_PHYSICAL_MEDIUM, answer, &written), ERROR_FILE_NOT_FOUND) << name;
  }
}

}  // namespace
