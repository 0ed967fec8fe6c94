#include "platform/host/x11/x11_scale.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace platform::host::x11 {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

// The value of resource `name` as xrdb writes it ("name:\tvalue", one a line); empty if absent.
std::string_view Resource(std::string_view resources, std::string_view name) {
  while (!resources.empty()) {
    const std::size_t end = std::min(resources.find('\n'), resources.size());
    std::string_view line = TrimLeft(resources.substr(0, end));
    resources.remove_prefix(std::min(end + 1, resources.size()));
    if (!line.starts_with(name)) continue;
    line = TrimLeft(line.substr(name.size()));
    if (line.starts_with(':')) return TrimLeft(line.substr(1));
  }
  return {};
}

}  // namespace

int DesktopScale(const char* gdkScale, const char* resources) {
  if (gdkScale != nullptr) {
    const char* end = gdkScale + std::strlen(gdkScale);
    int n = 0;
    const auto [stop, error] = std::from_chars(gdkScale, end, n);
    if (error == std::errc{} && stop == end && n >= 1) return n;
  }
  const std::string_view value = resources != nullptr ? Resource(resources, "Xft.dpi") : std::string_view{};
  double dpi = 0;
  // from_chars, unlike strtod, reads the decimal point whatever the locale.
  if (std::from_chars(value.data(), value.data() + value.size(), dpi).ec != std::errc{} || !(dpi >= 144 && dpi < 1e6)) return 1;
  return static_cast<int>(std::lround(dpi / 96));
}

int FittingScale(int wanted, SIZE size, const RECT& area) {
  int n = wanted;
  if (size.cx > 0) n = static_cast<int>(std::min<LONG>(n, (area.right - area.left) / size.cx));
  if (size.cy > 0) n = static_cast<int>(std::min<LONG>(n, (area.bottom - area.top) / size.cy));
  return std::max(n, 1);
}

}  // namespace platform::host::x11
