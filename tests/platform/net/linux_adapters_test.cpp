// GetAdaptersInfo over rtnetlink, against links, addresses and routes that each test builds in a
// network namespace of its own. Nothing is sent over these links.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "tests/support/fake_net/netns.h"

namespace {

using velmor::test::NetworkNamespace;

struct Listing {
  ULONG result = 0;
  std::vector<IP_ADAPTER_INFO> records;  // copies; their Next pointers are not to be followed
};

// Lists the adapters inside `ns` with a buffer of the size asked for.
Listing ListIn(NetworkNamespace& ns) {
  Listing listing;
  EXPECT_TRUE(ns.RunInside([&] {
    ULONG size = 0;
    if ((listing.result = GetAdaptersInfo(nullptr, &size)) != ERROR_BUFFER_OVERFLOW) return;
    std::vector<IP_ADAPTER_INFO> buffer(size / sizeof(IP_ADAPTER_INFO) + 1);
    listing.result = GetAdaptersInfo(buffer.data(), &size);
    if (listing.result != ERROR_SUCCESS) return;
    for (const IP_ADAPTER_INFO* p = buffer.data(); p != nullptr; p = p->Next) listing.records.push_back(*p);
  }));
  return listing;
}

const IP_ADAPTER_INFO* Find(const Listing& listing, const std::string& name) {
  const auto it = std::find_if(listing.records.begin(), listing.records.end(),
                               [&](const IP_ADAPTER_INFO& a) { return name == a.AdapterName; });
  return it == listing.records.end() ? nullptr : &*it;
}

std::string Ip(const IP_ADAPTER_INFO* a) { return a->IpAddressList.IpAddress.String; }
std::string Mask(const IP_ADAPTER_INFO* a) { return a->IpAddressList.IpMask.String; }
std::string Gateway(const IP_ADAPTER_INFO* a) { return a->GatewayList.IpAddress.String; }

std::size_t OpenFdCount() {
  std::size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

class LinuxAdapters : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = NetworkNamespace::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ns_ = std::make_unique<NetworkNamespace>();
    ASSERT_TRUE(ns_->ok()) << ns_->error();
  }
  void Build(const std::vector<std::string>& commands) { ASSERT_EQ(ns_->Ip(commands), ""); }

  std::unique_ptr<NetworkNamespace> ns_;
};

TEST_F(LinuxAdapters, LinksWithTheirAddressesAndTheGatewayOfTheirBestDefaultRoute) {
  Build({
      "link add a0 address 02:00:00:00:0a:00 type veth peer name a0p",
      "link add b0 type veth peer name b0p",
      "link add c0 type veth peer name c0p",
      "link add d0 type veth peer name d0p",
      "link set a0 up", "link set a0p up", "link set b0 up", "link set b0p up", "link set d0 up", "link set d0p up",
      // Two addresses in one subnet: the first added is the primary, the one the link is known by.
      "addr add 10.10.1.9/24 dev a0",
      "addr add 10.10.1.2/24 dev a0",
      "addr add 10.20.0.2/16 dev b0 valid_lft 3600 preferred_lft 3600",
      "addr add 2001:db8::2/64 dev c0 nodad",
      "addr add 10.10.2.2/24 dev d0",
      "route add default via 10.10.1.1 dev a0 metric 200",
      "route add default via 10.10.1.254 dev a0 metric 50",
      // Lower metrics, but through another link, in another table, or not a default route.
      "route add default via 10.10.2.1 dev d0 metric 10",
      "route add default via 10.10.1.77 dev a0 table 100 metric 1",
      "route add 0.0.0.0/1 via 10.10.1.99 dev a0 metric 1",
  });
  const std::size_t fds = OpenFdCount();
  const Listing listing = ListIn(*ns_);
  ASSERT_EQ(listing.result, ERROR_SUCCESS);
  EXPECT_EQ(OpenFdCount(), fds);

  std::vector<std::string> names;
  for (const IP_ADAPTER_INFO& a : listing.records) names.push_back(a.AdapterName);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a0", "a0p", "b0", "b0p", "c0", "c0p", "d0", "d0p"}));
  for (std::size_t i = 1; i < listing.records.size(); ++i) {
    EXPECT_LT(listing.records[i - 1].Index, listing.records[i].Index);
  }

  const IP_ADAPTER_INFO* a0 = Find(listing, "a0");
  const IP_ADAPTER_INFO* b0 = Find(listing, "b0");
  const IP_ADAPTER_INFO* c0 = Find(listing, "c0");
  const IP_ADAPTER_INFO* d0 = Find(listing, "d0");
  ASSERT_TRUE(a0 && b0 && c0 && d0);
  EXPECT_EQ(std::string(a0->Description), "a0 (veth)");
  EXPECT_EQ(Ip(a0), "10.10.1.9");
  EXPECT_EQ(Mask(a0), "255.255.255.0");
  EXPECT_EQ(Gateway(a0), "10.10.1.254");
  EXPECT_EQ(a0->Type, MIB_IF_TYPE_ETHERNET);
  EXPECT_EQ(a0->DhcpEnabled, 0u);
  EXPECT_EQ(std::vector<BYTE>(a0->Address, a0->Address + a0->AddressLength), (std::vector<BYTE>{0x02, 0, 0, 0, 0x0a, 0}));
  EXPECT_EQ(Ip(b0), "10.20.0.2");
  EXPECT_EQ(Mask(b0), "255.255.0.0");
  EXPECT_EQ(Gateway(b0), "");
  EXPECT_EQ(b0->DhcpEnabled, 1u) << "an address with a lifetime, as a lease has";
  EXPECT_EQ(Ip(c0), "0.0.0.0") << "IPv6 alone is no IPv4 address";
  EXPECT_EQ(Gateway(c0), "");
  EXPECT_EQ(Gateway(d0), "10.10.2.1");
}

TEST_F(LinuxAdapters, TheLoopbackIsNoAdapterAndTwentyLinksAreAllListed) {
  EXPECT_EQ(ListIn(*ns_).result, ERROR_NO_DATA);
  std::vector<std::string> commands;
  for (int i = 0; i < 10; ++i) {
    commands.push_back("link add n" + std::to_string(i) + " type veth peer name n" + std::to_string(i) + "p");
  }
  Build(commands);
  const Listing all = ListIn(*ns_);
  ASSERT_EQ(all.result, ERROR_SUCCESS);
  EXPECT_EQ(all.records.size(), 20u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_NE(Find(all, "n" + std::to_string(i)), nullptr) << i;
    EXPECT_NE(Find(all, "n" + std::to_string(i) + "p"), nullptr) << i;
  }
}

}  // namespace
