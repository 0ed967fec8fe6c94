// The scale at which the desktop wants windows shown on a screen of high density.
#pragma once

#include "platform/base/types.h"

namespace platform::host::x11 {

// GDK_SCALE (`gdkScale`, null when unset) when it is a positive integer; else Xft.dpi from the
// X resources (`resources`: the text of the root window's RESOURCE_MANAGER, null when there is
// none) divided by 96 and rounded, 1 below 144 dpi; else 1.
int DesktopScale(const char* gdkScale, const char* resources);

// The largest scale up to `wanted` at which a window of `size` fits on `area`; at least 1.
int FittingScale(int wanted, SIZE size, const RECT& area);

}  // namespace platform::host::x11
