// The Wi-Fi service against a real kernel's Wi-Fi stack, through the program's own query. Run
// where a station exists (the virtual machine stage does), with:
//   VELMOR_LIVE_IFACE         the station's network interface; without it the case is skipped
//   VELMOR_LIVE_SSID_HEX      the SSID the station is associated with, in lower-case hex; set but
//                             empty when it is not associated
//   VELMOR_LIVE_OTHER_IFACES  other links of the namespace (the radio's monitor link); not used
//                             here, as the stage's own checks see what the program makes of them
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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
}
