#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

std::string Run(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
  if (!p) return out;
  std::array<char, 256> buf{};
  while (fgets(buf.data(), buf.size(), p.get())) out += buf.data();
  return out;
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
  std::string Query(const std::string& link) const {
    return Run("ip netns exec " + name_ + " " VELMOR_NDIS_QUERY_TOOL " " + link);
  }

 private:
  std::string name_;
  bool ok_ = false;
};

}  // namespace

TEST(NdisLinux, LoopbackAndMissingNames) {
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

TEST(NdisLinux, EthernetLinksOfThisMachine) {
  platform::net::LinuxNdisDevices d;
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
    const std::string name = entry.path().filename();
    std::string type, operstate;
    std::ifstream(entry.path() / "type") >> type;
    std::ifstream(entry.path() / "operstate") >> operstate;
    if (type != "1" || std::filesystem::exists(entry.path() / "wireless") ||
        std::filesystem::exists(entry.path() / "phy80211")) {
      continue;
    }
    ++seen;
    DWORD error;
    EXPECT_EQ(Ask(d, name, OID_GEN_PHYSICAL_MEDIUM, &error), 14u) << name;
    const DWORD status = Ask(d, name, OID_GEN_MEDIA_CONNECT_STATUS, &error);
    EXPECT_EQ(error, ERROR_SUCCESS);
    if (operstate == "up" || operstate == "down") {
      EXPECT_EQ(status, operstate == "up" ? 0u : 1u) << name;
    }
  }
  if (seen == 0) GTEST_SKIP() << "this machine has no Ethernet-type link";
}

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
