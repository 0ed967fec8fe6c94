#include "platform/net/guid.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/net/ndis.h"

namespace platform::net {
namespace {

std::array<BYTE, sizeof(GUID)> BytesOf(const GUID& guid) {
  std::array<BYTE, sizeof(GUID)> bytes;
  std::memcpy(bytes.data(), &guid, bytes.size());
  return bytes;
}

}  // namespace

GUID GuidFromInterfaceName(std::string_view name) {
  GUID guid{};
  if (!IsValidInterfaceName(name) || name.size() >= sizeof(GUID)) return guid;
  std::array<BYTE, sizeof(GUID)> bytes{};
  std::memcpy(bytes.data(), name.data(), name.size());
  std::memcpy(&guid, bytes.data(), bytes.size());
  return guid;
}

std::string InterfaceNameFromGuid(const GUID& guid) {
  const std::array<BYTE, sizeof(GUID)> bytes = BytesOf(guid);
  const auto end = std::find(bytes.begin(), bytes.end(), BYTE{0});
  // Sixteen bytes without a zero, or anything after the zero, is not a GUID we made.
  if (end == bytes.end() || std::any_of(end, bytes.end(), [](BYTE b) { return b != 0; })) return {};
  std::string name(bytes.begin(), end);
  return IsValidInterfaceName(name) ? name : std::string();
}

}  // namespace platform::net

int StringFromGUID2(REFGUID guid, LPOLESTR text, int cchMax) {
  if (text == nullptr || cchMax <= 0) return 0;
  const std::string name = platform::net::InterfaceNameFromGuid(guid);
  if (name.empty()) return 0;
  const std::u16string wide = platform::AnsiToWide(name);
  if (wide.size() + 1 > static_cast<std::size_t>(cchMax)) return 0;
  std::copy(wide.begin(), wide.end(), text);
  text[wide.size()] = u'\0';
  return static_cast<int>(wide.size() + 1);
}
