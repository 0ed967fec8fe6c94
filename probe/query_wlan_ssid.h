// Reads the SSID of one adapter's current association through the Wi-Fi service.
#pragma once

#include "platform/base/types.h"

// Appends the SSID bytes of the interface whose GUID text equals `adapterName` (case matters) to
// `ssidText`, a 128-byte zero-terminated buffer, leaving out zero bytes. FALSE (traced) only when
// the service cannot be opened or cannot list its interfaces; TRUE otherwise, whether or not an
// SSID was read. Each interface's GUID text is printed on standard output.
BOOL QueryWlanSsid(const char* adapterName, char* ssidText);
