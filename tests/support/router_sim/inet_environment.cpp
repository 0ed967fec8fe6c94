// Loads the HTTP client as the program's start-up does, and keeps the tests on loopback whatever
// proxy the machine is configured with.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/inet/internet.h"

namespace {

struct InternetEnvironment final : ::testing::Environment {
  void SetUp() override {
    ASSERT_TRUE(platform::inet::InitializeInternet());
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      unsetenv(name);
    }
  }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new InternetEnvironment);

}  // namespace
