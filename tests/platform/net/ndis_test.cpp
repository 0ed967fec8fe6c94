// The Linux adapter drivers: the loopback has no medium, and names that could leave the links'
// folder name no adapter. (The connect status is read in linux_adapters_test's namespace.)
#include <gtest/gtest.h>

#include "platform/base/errors.h"
#include "platform/net/ndis.h"

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
