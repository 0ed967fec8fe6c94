// Tells whether the device at a gateway is a Kavel-7100 router, by its settings page.
#pragma once

#include <string>

#include "platform/base/types.h"

// `address` is the gateway address joined by a slash to the page path, without a scheme
// ("192.168.0.1/admin/pcapp.asp"). TRUE when a 2xx answer's body holds the model marker, or a
// 401 answer's headers hold the model's realm; FALSE for every other answer and every failure.
// Blocks the calling thread for at most the HTTP client's time-outs, less when it is asked to stop.
BOOL CheckVelmorWeb(const char* address);

// The two tests the probe applies to what the router sent. `szLine` is one zero-terminated piece
// of the body; the search ends at its first zero byte. `strHeaders` is the whole head as text.
BOOL LineHoldsMarker(const char* szLine);
BOOL HeadersHoldRealm(const std::u16string& strHeaders);
