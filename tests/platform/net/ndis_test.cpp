#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/base/errors.h"
#include "platform/net/ndis.h"

namespace {

DWORD Ask(platform::net::NdisDevices& d, const std::string& name, DWORD oid, DWORD* error) {
  DWORD value = 0xFFFF, written = 0;
  *error = d.Query(name, oid, std::span<BYTE>(reinterpret_cast<BYTE*>(&value), sizeof value), &written);
  return value;
}

// A network namespace made for one test and removed after it, whatever happens in between.
class Namespace {
 public:
  Namespace() : name_("velmor-ndis-" + std::to_string(getpid())) {
    ok_ = std::system(("ip netns add " + name_ + " 2>/dev/null").c_str()) == 0;
  }
  ~Namespace() {
    if (ok_) std::system(("ip netns delete " + name_ + " 2>/dev/null").c_str());
  }
  bool ok() const { return ok_; }
  int Ip(const std::string& args) const { return std::system(("ip -n " + name_ + " " + args).c_str()); }
  // What the query tool prints about `link`, run inside (sysfs shows the links of its mounter).
  std::string Query(const std::string& link) const {
    const std::string command = "ip netns exec " + name_ + " " VELMOR_NDIS_QUERY_TOOL " " + link;
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
    std::string out;
    std::array<char, 256> buf{};
    while (p && fgets(buf.data(), buf.size(), p.get())) out += buf.data();
    return out;
  }

 private:
  std::string name_;
  bool ok_ = false;
};

}  // namespace

TEST(NdisLinux, LoopbackHostileAndMissingNames) {
  platform::net::LinuxNdisDevices d;
  DWORD error;
  Ask(d, "lo", OID_GEN_PHYSICAL_MEDIUM, &error);
  EXPECT_EQ(error, ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(d.Exists("nosuch0"));
  for (const char* hostile : {"../lo", "lo/../lo", "", "a-name-far-too-long-for-a-link"}) {
    EXPECT_FALSE(d.Exists(hostile)) << hostile;
    Ask(d, hostile, OID_GEN_PHYSICAL_MEDIUM, &error);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND) << hostile;
  }
  BYTE small[2];
  DWORD written;
  EXPECT_EQ(d.Query("lo", OID_GEN_MEDIA_CONNECT_STATUS, small, &written), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(d.Query("lo", 0x12345678, small, &written), ERROR_NOT_SUPPORTED);
}

// The medium and the link state of an Ethernet-type link, as the test sets them.
TEST(NdisLinux, VethReadsDisconnectedUntilItsPeerComesUp) {
  if (geteuid() != 0) GTEST_SKIP() << "network namespaces need root";
  Namespace ns;
  ASSERT_TRUE(ns.ok());
  ASSERT_EQ(ns.Ip("link add vm-a type veth peer name vm-b"), 0);
  ASSERT_EQ(ns.Ip("link set vm-a up"), 0);
  EXPECT_EQ(ns.Query("vm-a"), "vm-a exists=1 medium=14 status=1\n");
  ASSERT_EQ(ns.Ip("link set vm-b up"), 0);
  EXPECT_EQ(ns.Query("vm-a"), "vm-a exists=1 medium=14 status=0\n");
  EXPECT_EQ(ns.Query("eth-none"), "eth-none exists=0 medium=error:2 status=error:2\n");
}
