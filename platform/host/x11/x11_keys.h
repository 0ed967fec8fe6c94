// X key symbols as the window system's virtual-key codes.
#pragma once

#include "platform/base/types.h"

namespace platform::host::x11 {

// The VK_ code of an X keysym, 0 for keys that have none. Letters give 'A'..'Z' in either case,
// digits '0'..'9'; both Shift keys give VK_SHIFT, both Control keys VK_CONTROL, both Alt (and
// Meta) keys VK_MENU. Keypad keys give the numeric-pad codes.
UINT VirtualKeyFromKeysym(unsigned long keysym);

// Whether the keysym belongs to the numeric keypad, whose meaning follows Num Lock.
bool IsKeypadKeysym(unsigned long keysym);

}  // namespace platform::host::x11
