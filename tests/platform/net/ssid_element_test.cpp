// The SSID found in a BSS's information elements: where it sits in the run, and runs that do not
// add up. That it never reaches past its element or past 32 bytes, the fuzz target checks.
#include "platform/net/ssid_element.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

std::string Element(int id, const std::string& data) {
  return std::string{static_cast<char>(id), static_cast<char>(data.size())} + data;
}

TEST(SsidElement, FirstWholeSsidOfAWellFormedRun) {
  const std::string rates = Element(1, "\x82\x84\x8b\x96");
  const std::string longest(32, 's');
  struct Case {
    const char* what;
    std::string elements;
    std::optional<std::string> ssid;
  } const cases[] = {
      {"first element", Element(0, "router") + rates, "router"},
      {"after others, first of two", rates + Element(3, "\x06") + Element(0, "late") + Element(0, "second"), "late"},
      {"empty (hidden network)", Element(0, "") + rates, ""},
      {"32 bytes", Element(0, longest), longest},
      {"none", rates, std::nullopt},
      {"later element cut short", Element(0, "router") + rates.substr(0, 5), std::nullopt},
  };
  for (const Case& c : cases) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.elements.data());
    const auto found = platform::net::FindSsidElement({bytes, c.elements.size()});
    const auto text = found ? std::optional<std::string>(std::in_place, found->begin(), found->end()) : std::nullopt;
    EXPECT_EQ(text, c.ssid) << c.what;
  }
}

}  // namespace
