// The Wi-Fi service and the driver's SSID against a real kernel's Wi-Fi stack, through the
// program's own queries. The virtual machine stage runs it where a station exists, with
// VELMOR_LIVE_IFACE (the station's interface; unset: skipped) and VELMOR_LIVE_SSID_HEX (the SSID it
// is associated with, in lower-case hex; empty when it is not associated).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/net/ndis.h"
#include "probe/query_oid.h"
#include "probe/query_wlan_ssid.h"

TEST(Live, TheWlanServiceReadsTheStationsSsidOnceOrNoneWhenNotAssociated) {
  const char* iface = std::getenv("VELMOR_LIVE_IFACE");
  if (iface == nullptr || *iface == '\0') GTEST_SKIP() << "VELMOR_LIVE_IFACE names no station";
  const char* hex = std::getenv("VELMOR_LIVE_SSID_HEX");
  ASSERT_NE(hex, nullptr) << "VELMOR_LIVE_SSID_HEX must be set (empty: not associated)";
  std::string ssid;
  for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
    ssid += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
  }
  char text[128] = {};
  ASSERT_TRUE(QueryWlanSsid(iface, text)) << "the Wi-Fi service could not be asked";
  EXPECT_EQ(std::string(text), ssid);

  // The driver's answer (SIOCGIWESSID) has exactly the SSID's bytes, and none when not associated.
  NDIS_802_11_SSID answer;
  std::memset(&answer, 0xEE, sizeof answer);
  ASSERT_TRUE(QueryOID(iface, OID_802_11_SSID, &answer, sizeof answer));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(answer.Ssid), std::min<std::size_t>(answer.SsidLength, 32)), ssid);
  EXPECT_EQ(answer.SsidLength, ssid.size());
}
