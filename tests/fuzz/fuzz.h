// What every fuzz target shares: an expectation that fails stops the run where libFuzzer sees it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#define FUZZ_CHECK(condition) ((condition) ? void() : __builtin_trap())
// A text field of a fixed-size record ends within it.
#define FUZZ_TERMINATED(field) (strnlen(field, sizeof field) < sizeof field)

inline std::string_view FuzzText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}
