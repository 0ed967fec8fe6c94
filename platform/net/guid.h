// GUIDs and their text, as the WLAN API names its interfaces.
//
// Here a wireless interface is known by its network interface name, so its GUID carries that
// name: the name's bytes from the first byte on, zero-padded to 16 bytes. Interface names have at
// most 15 bytes, so every name fits with its terminating zero. The text of such a GUID is the
// name itself.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

using REFGUID = const GUID&;
using LPOLESTR = WCHAR*;

// Writes the GUID's text and its terminating zero to `text` and returns the number of characters
// written, the zero included. Returns 0 when `text` is null, when cchMax is too small, or when the
// GUID carries no interface name (GUID_NULL among them).
int StringFromGUID2(REFGUID guid, LPOLESTR text, int cchMax);

namespace platform::net {

// The GUID that carries `name`; all zero (carrying nothing) when the name is not a valid
// interface name.
GUID GuidFromInterfaceName(std::string_view name);

// The name a GUID carries, or an empty string when it carries none: the bytes up to the first
// zero, which must be followed by zeros only and form a valid interface name.
std::string InterfaceNameFromGuid(const GUID& guid);

}  // namespace platform::net
