// The adapter queries over scripted drivers and a scripted Wi-Fi service: what they answer, append,
// print and trace, and how they fail. Which interface QueryWlanSsid asks, the detection pass shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/handle.h"
#include "probe/query_oid.h"
#include "probe/query_wlan_ssid.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/trace_capture.h"
#include "trace/debug_trace.h"

namespace {

using Traces = std::vector<std::string>;

const std::string kGotSsid = "get ssid: " + std::to_string(sizeof(WLAN_CONNECTION_ATTRIBUTES)) + "\n";

// The trace of a query that read a printable ASCII SSID: the size it got, then each byte.
Traces SsidTraces(const std::string& ssid) {
  Traces traces{kGotSsid};
  for (const char c : ssid) traces.push_back(std::string(1, c));
  return traces;
}

struct Case {
  const char* what;
  std::vector<std::pair<std::string, std::optional<std::string>>> interfaces{};  // name, SSID
  const char* adapter = "wlan0";
  std::string before{};  // what the 128-byte text held
  DWORD openError = ERROR_SUCCESS;
  BOOL result = TRUE;
  std::string ssid{};
  std::string printed = "  InterfaceGUID[0]: wlan0\n";
  Traces traces{};
};

TEST(QueryWlanSsid, AppendsTheNamedInterfacesSsid) {
  const std::string ssid32 = "0123456789abcdefghijklmnopqrstuv";
  const Case cases[] = {
      // Names that are not valid UTF-8 match byte for byte, never by what they have in common;
      // printed, a control character or a byte that is no text in a name shows as its escape.
      {.what = "names that are not UTF-8", .interfaces = {{"wl\xfe" "0", "other"}, {"wl\x1b\xff" "0", "cafe"}},
       .adapter = "wl\x1b\xff" "0", .ssid = "cafe",
       .printed = "  InterfaceGUID[0]: wl\\xFE0\n  InterfaceGUID[1]: wl\\x1B\\xFF0\n", .traces = SsidTraces("cafe")},
      // Zero bytes are left out; other bytes pass unconverted. The trace shows each byte as the
      // character of its value, control characters (C0, C1) as escapes.
      {.what = "zero, control and non-ASCII bytes", .interfaces = {{"wlan0", std::string("a\0\x1b\xE3\x82\xAB", 6)}},
       .ssid = "a\x1b\xE3\x82\xAB", .traces = {kGotSsid, "a", "\\x00", "\\x1B", "\u00e3", "\\x82", "\u00ab"}},
      {.what = "appended, up to the end of the text", .interfaces = {{"wlan0", ssid32}}, .before = std::string(120, 'p'),
       .ssid = std::string(120, 'p') + "0123456", .traces = SsidTraces(ssid32)},
      {.what = "service stopped", .openError = ERROR_SERVICE_NOT_ACTIVE, .result = FALSE, .printed = "",
       .traces = {"WlanOpenHandle failed with error: 1062\n"}},
  };
  g_bDebugMessage = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto fake = std::make_shared<velmor::test::FakeWlanService>();
    platform::net::SetWlanService(fake);
    for (const auto& [name, ssid] : c.interfaces) {
      fake->AddInterface(name);
      fake->Associate(name, ssid);
    }
    fake->openError = c.openError;
    char text[130] = {};
    std::memcpy(text, c.before.data(), c.before.size());
    text[128] = '#';  // just past the text
    velmor::test::TraceCapture traces;
    testing::internal::CaptureStdout();
    EXPECT_EQ(QueryWlanSsid(c.adapter, text), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(text, c.ssid);
    EXPECT_EQ(text[128], '#');
    EXPECT_EQ(traces.Lines(), c.traces);
  }
  g_bDebugMessage = false;
  platform::net::SetWlanService(nullptr);
}

TEST(QueryOid, AnswersOrTracesWhyNot) {
  auto fake = std::make_shared<velmor::test::FakeNdisDevices>();
  platform::net::SetNdisDevices(fake);
  fake->SetMedium("wlan0", NdisPhysicalMediumNative802_11);
  fake->SetMedium("wl\xff" "0", NdisPhysicalMediumNative802_11);
  fake->AddAdapter("eth0");  // its driver knows no OID
  struct Case {
    std::string name;
    BOOL result;
    Traces traces;
  } const cases[] = {
      {"wlan0", TRUE, {}},
      // A name that is not valid UTF-8 reaches the driver byte for byte.
      {"wl\xff" "0", TRUE, {}},
      {"eth0", FALSE, {"QueryOID DeviceIoControl Fail: 50"}},
      {"missing0", FALSE, {"QueryOID CreateFile Fail"}},
  };
  g_bDebugMessage = true;
  const std::size_t handles = platform::kernel::OpenHandleCount();
  for (const Case& c : cases) {
    velmor::test::TraceCapture trace;
    BYTE buffer[36];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(QueryOID(c.name.c_str(), OID_GEN_PHYSICAL_MEDIUM, buffer, sizeof buffer), c.result) << c.name;
    EXPECT_EQ(trace.Lines(), c.traces) << c.name;
    EXPECT_EQ(platform::kernel::OpenHandleCount(), handles) << c.name << ": the device left open";
    if (c.result) {
      EXPECT_EQ(buffer[0], NdisPhysicalMediumNative802_11);
      EXPECT_EQ(std::vector<BYTE>(buffer + 4, buffer + 36), std::vector<BYTE>(32, 0xEE)) << "the rest is the caller's";
    }
  }
  g_bDebugMessage = false;

  // In a Shift_JIS locale, where the byte 5C is the yen sign, the device is found all the same (a
  // locale of the test's own, in a child process).
  char dir[] = "/tmp/velmor-locale-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::system((std::string("localedef -c --no-warnings=ascii -i C -f SHIFT_JIS ") + dir + "/C.SJIS >/dev/null 2>&1").c_str());
  const auto inShiftJis = [&] {
    setenv("LOCPATH", dir, 1);
    if (setlocale(LC_ALL, "C.SJIS") == nullptr) _exit(2);  // localedef (package locales) is needed
    DWORD medium = 0;
    _exit(QueryOID("wlan0", OID_GEN_PHYSICAL_MEDIUM, &medium, sizeof medium) ? 0 : 1);
  };
  EXPECT_EXIT(inShiftJis(), testing::ExitedWithCode(0), "");
  std::system((std::string("rm -rf ") + dir).c_str());
  platform::net::SetNdisDevices(nullptr);
}

}  // namespace
