// QueryWlanSsid over the scripted Wi-Fi service: which interface it asks, what it appends, what it
// prints and traces, and that it gives back everything it opened.
#include "probe/query_wlan_ssid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/debug_trace.h"
#include "platform/base/errors.h"
#include "platform/net/wlanapi.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/trace_capture.h"

namespace {

using velmor::test::FakeWlanService;
using velmor::test::ScopedWlanService;
using velmor::test::TraceCapture;

const std::string kGetSsid = "get ssid: " + std::to_string(sizeof(WLAN_CONNECTION_ATTRIBUTES)) + "\n";

struct Outcome {
  BOOL result = FALSE;
  std::string ssid;
  std::string printed;
  std::vector<std::string> traces;
};

class QueryWlanSsidTest : public testing::Test {
 protected:
  void SetUp() override { g_bDebugMessage = true; }
  void TearDown() override {
    g_bDebugMessage = false;
    // Every path gives back what it opened and what the service handed out.
    EXPECT_EQ(fake_->Opens(), fake_->Closes());
    EXPECT_EQ(fake_->Allocations(), fake_->Frees());
    EXPECT_EQ(fake_->StrayFrees(), 0);
  }

  Outcome Query(const char* adapterName, const std::string& before = "") {
    char text[128] = {};
    std::memcpy(text, before.data(), before.size());
    TraceCapture traces;
    testing::internal::CaptureStdout();
    Outcome outcome;
    outcome.result = QueryWlanSsid(adapterName, text);
    outcome.printed = testing::internal::GetCapturedStdout();
    outcome.ssid = text;
    outcome.traces = traces.Lines();
    return outcome;
  }

  // The single-character traces that follow "get ssid: N\n".
  static std::vector<std::string> SsidTraces(const Outcome& outcome) {
    const auto start = std::find(outcome.traces.begin(), outcome.traces.end(), kGetSsid);
    if (start == outcome.traces.end()) return {};
    return std::vector<std::string>(start + 1, outcome.traces.end());
  }

  std::shared_ptr<FakeWlanService> fake_ = std::make_shared<FakeWlanService>();
  ScopedWlanService scope_{fake_};
};

TEST_F(QueryWlanSsidTest, PrintsEveryInterfaceAndQueriesOnlyTheMatch) {
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", "elsewhere");
  fake_->AddInterface("wlan1");
  fake_->Associate("wlan1", "cafe");

  const Outcome outcome = Query("wlan1");
  EXPECT_EQ(outcome.result, TRUE);
  EXPECT_EQ(outcome.ssid, "cafe");
  EXPECT_EQ(outcome.printed, "  InterfaceGUID[0]: wlan0\n  InterfaceGUID[1]: wlan1\n");
  EXPECT_EQ(fake_->QueryCount("wlan0"), 0);
  EXPECT_EQ(fake_->QueryCount("wlan1"), 1);
  EXPECT_EQ(outcome.traces, (std::vector<std::string>{kGetSsid, "c", "a", "f", "e"}));
}

TEST_F(QueryWlanSsidTest, ANameInAnotherLetterCaseMatchesNothing) {
  fake_->AddInterface("wlan1");
  fake_->Associate("wlan1", "cafe");
  const Outcome outcome = Query("WLAN1");
  EXPECT_EQ(outcome.result, TRUE);
  EXPECT_EQ(outcome.ssid, "");
  EXPECT_EQ(outcome.printed, "  InterfaceGUID[0]: wlan1\n");
  EXPECT_EQ(fake_->QueryCount("wlan1"), 0);
  EXPECT_TRUE(outcome.traces.empty());
}

TEST_F(QueryWlanSsidTest, AThirtyTwoByteSsidIsReadWhole) {
  const std::string ssid = "0123456789abcdefghijklmnopqrstuv";
  ASSERT_EQ(ssid.size(), 32u);
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", ssid);
  const Outcome outcome = Query("wlan0");
  EXPECT_EQ(outcome.ssid, ssid);
  const std::vector<std::string> traces = SsidTraces(outcome);
  ASSERT_EQ(traces.size(), 32u);
  for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(traces[i], ssid.substr(i, 1));
}

TEST_F(QueryWlanSsidTest, ZeroBytesAreLeftOutAndOtherBytesPassUnconverted) {
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", std::string("ab\0c\xE3\x82\xAB", 7));
  const Outcome outcome = Query("wlan0");
  EXPECT_EQ(outcome.ssid, "abc\xE3\x82\xAB");
  // Each byte is traced as the character of its value.
  const std::vector<std::string> traces = SsidTraces(outcome);
  ASSERT_EQ(traces.size(), 7u);
  EXPECT_EQ(traces[4], "\u00E3");
  EXPECT_EQ(traces[6], "\u00AB");
}

TEST_F(QueryWlanSsidTest, ANotAssociatedInterfaceLeavesTheTextEmpty) {
  fake_->AddInterface("wlan0");
  const Outcome outcome = Query("wlan0");
  EXPECT_EQ(outcome.result, TRUE);
  EXPECT_EQ(outcome.ssid, "");
  EXPECT_EQ(outcome.traces, std::vector<std::string>{"get ssid fail\n"});
  EXPECT_EQ(fake_->Opens(), 1);
}

struct ServiceFailure {
  const char* what;
  bool failOpen;
  DWORD error;
  const char* trace;
  int opens;
};

class QueryWlanSsidServiceFailure : public QueryWlanSsidTest, public testing::WithParamInterface<ServiceFailure> {};

TEST_P(QueryWlanSsidServiceFailure, GivesFalse) {
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", "cafe");
  if (GetParam().failOpen) {
    fake_->SetOpenError(GetParam().error);
  } else {
    fake_->SetEnumError(GetParam().error);
  }
  const Outcome outcome = Query("wlan0");
  EXPECT_EQ(outcome.result, FALSE);
  EXPECT_EQ(outcome.ssid, "");
  EXPECT_EQ(outcome.printed, "");
  EXPECT_EQ(outcome.traces, std::vector<std::string>{GetParam().trace});
  EXPECT_EQ(fake_->Opens(), GetParam().opens);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryWlanSsidServiceFailure,
    testing::Values(
        ServiceFailure{"service_stopped", true, ERROR_SERVICE_NOT_ACTIVE, "WlanOpenHandle failed with error: 1062\n", 0},
        ServiceFailure{"interfaces_not_listed", false, ERROR_NOT_ENOUGH_MEMORY,
                       "WlanEnumInterfaces failed with error: 8\n", 1}),
    [](const testing::TestParamInfo<ServiceFailure>& info) { return std::string(info.param.what); });

TEST_F(QueryWlanSsidTest, AGuidWithoutTextIsSkippedNotComparedWithTheLastOne) {
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", "cafe");
  fake_->AddInterface("");  // its GUID carries no name, so it has no text
  fake_->Associate("", "other");
  const Outcome outcome = Query("wlan0");
  EXPECT_EQ(outcome.result, TRUE);
  EXPECT_EQ(outcome.printed, "  InterfaceGUID[0]: wlan0\nStringFromGUID2 failed\n");
  EXPECT_EQ(outcome.ssid, "cafe");
  EXPECT_EQ(fake_->QueryCount("wlan0"), 1);
  EXPECT_EQ(std::count(outcome.traces.begin(), outcome.traces.end(), "get ssid fail\n"), 0);
}

TEST_F(QueryWlanSsidTest, TheLinesArePrintedWithTheTraceSwitchedOff) {
  g_bDebugMessage = false;
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", "cafe");
  const Outcome outcome = Query("wlan0");
  EXPECT_EQ(outcome.printed, "  InterfaceGUID[0]: wlan0\n");
  EXPECT_EQ(outcome.ssid, "cafe");
  EXPECT_TRUE(outcome.traces.empty());
}

TEST_F(QueryWlanSsidTest, NoInterfaceAtAllIsStillTrue) {
  const Outcome outcome = Query("wlan0");
  EXPECT_EQ(outcome.result, TRUE);
  EXPECT_EQ(outcome.printed, "");
  EXPECT_EQ(fake_->Opens(), 1);
}

// The text is appended to, and never grows past its 128 bytes, whatever it held before.
TEST_F(QueryWlanSsidTest, AppendingStopsAtTheEndOfTheText) {
  fake_->AddInterface("wlan0");
  fake_->Associate("wlan0", "0123456789abcdefghijklmnopqrstuv");
  EXPECT_EQ(Query("wlan0", "prefix-").ssid, "prefix-0123456789abcdefghijklmnopqrstuv");

  char text[129];
  std::memset(text, 'p', 120);
  std::memset(text + 120, 0, 8);
  text[128] = '#';
  TraceCapture traces;
  testing::internal::CaptureStdout();
  EXPECT_EQ(QueryWlanSsid("wlan0", text), TRUE);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::string(text), std::string(120, 'p') + "0123456");
  EXPECT_EQ(text[128], '#');
}

}  // namespace
