#include "trace/debug_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/trace_capture.h"

namespace {

class DebugTrace : public ::testing::Test {
 protected:
  void TearDown() override { g_bDebugMessage = false; }
  velmor::test::TraceCapture trace_;
};

}  // namespace

TEST_F(DebugTrace, SwitchOffWritesNothing) {
  g_bDebugMessage = false;
  DebugMessage(u"QueryStatus code: %d", 200);
  DebugMessage(u"%s", u"anything");
  EXPECT_TRUE(trace_.Lines().empty());
}

TEST_F(DebugTrace, SwitchOnWritesExactlyTheFormattedText) {
  g_bDebugMessage = true;
  DebugMessage(u"QueryStatus code: %d", 200);
  DebugMessage(u"found SSID\n");
  DebugMessage(u"%s", u"100% %s%n");
  EXPECT_EQ(trace_.Lines(), (std::vector<std::string>{"QueryStatus code: 200", "found SSID\n", "100% %s%n"}));
}

TEST_F(DebugTrace, LongTextArrivesWholeInOneWrite) {
  g_bDebugMessage = true;
  const std::u16string header(10000, u'h');
  DebugMessage(u"%s", header);
  ASSERT_EQ(trace_.Lines().size(), 1u);
  EXPECT_EQ(trace_.Lines()[0].size(), 10000u);
}

TEST_F(DebugTrace, ConcurrentCallersKeepTheirTextsWhole) {
  g_bDebugMessage = true;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) DebugMessage(u"+Thread%d step %d-", t, i);
    });
  }
  for (auto& th : threads) th.join();
  const auto lines = trace_.Lines();
  ASSERT_EQ(lines.size(), 800u);
  for (const std::string& l : lines) {
    EXPECT_EQ(l.front(), '+');
    EXPECT_EQ(l.back(), '-');
  }
}
