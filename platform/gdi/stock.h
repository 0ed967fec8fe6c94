// The system's own drawing objects, made on first use and kept for the life of the process.
#pragma once

#include "platform/gdi/gdi.h"

namespace platform::gdi::detail {

// The 1x1 bitmap a fresh memory DC holds until another is selected; nothing draws on it.
HGDIOBJ PlaceholderBitmap();

// Makes a font object; a stock font is never deleted and never counted as live.
HFONT MakeFont(const LOGFONTW& logFont, bool stock);

}  // namespace platform::gdi::detail
