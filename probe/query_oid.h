// Asks one adapter's driver for one NDIS object.
#pragma once

#include "platform/base/types.h"

// TRUE with the driver's answer at the start of `buffer`; FALSE (traced) when the adapter's
// device cannot be opened or the driver refuses the query. Bytes past the answer keep what the
// caller put there.
BOOL QueryOID(const char* adapterName, DWORD oid, void* buffer, DWORD bufferSize);
