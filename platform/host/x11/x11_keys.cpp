#include "platform/host/x11/x11_keys.h"

#include "platform/ui/ui.h"

#include <X11/keysym.h>

namespace platform::host::x11 {
namespace {

// Codes the window system's header has no name for; the program only ever counts them.
constexpr UINT kVkLeftWin = 0x5B;
constexpr UINT kVkRightWin = 0x5C;
constexpr UINT kVkApps = 0x5D;
constexpr UINT kVkSnapshot = 0x2C;
constexpr UINT kVkNumpad0 = 0x60;
constexpr UINT kVkMultiply = 0x6A;
constexpr UINT kVkAdd = 0x6B;
constexpr UINT kVkSeparator = 0x6C;
constexpr UINT kVkSubtract = 0x6D;
constexpr UINT kVkDecimal = 0x6E;
constexpr UINT kVkDivide = 0x6F;
constexpr UINT kVkNumLock = 0x90;
constexpr UINT kVkScroll = 0x91;
constexpr UINT kVkClear = 0x0C;
constexpr UINT kVkOem1 = 0xBA;       // ;:
constexpr UINT kVkOemPlus = 0xBB;    // =+
constexpr UINT kVkOemComma = 0xBC;   // ,<
constexpr UINT kVkOemMinus = 0xBD;   // -_
constexpr UINT kVkOemPeriod = 0xBE;  // .>
constexpr UINT kVkOem2 = 0xBF;       // /?
constexpr UINT kVkOem3 = 0xC0;       // `~
constexpr UINT kVkOem4 = 0xDB;       // [{
constexpr UINT kVkOem5 = 0xDC;       // backslash |
constexpr UINT kVkOem6 = 0xDD;       // ]}
constexpr UINT kVkOem7 = 0xDE;       // '"

}  // namespace

bool IsKeypadKeysym(unsigned long keysym) { return keysym >= XK_KP_Space && keysym <= XK_KP_Equal; }

UINT VirtualKeyFromKeysym(unsigned long keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return static_cast<UINT>('A' + (keysym - XK_a));
  if (keysym >= XK_A && keysym <= XK_Z) return static_cast<UINT>('A' + (keysym - XK_A));
  if (keysym >= XK_0 && keysym <= XK_9) return static_cast<UINT>('0' + (keysym - XK_0));
  if (keysym >= XK_F1 && keysym <= XK_F24) return static_cast<UINT>(VK_F1 + (keysym - XK_F1));
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return static_cast<UINT>(kVkNumpad0 + (keysym - XK_KP_0));
  switch (keysym) {
    case XK_BackSpace:
      return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
    case XK_KP_Tab:
      return VK_TAB;
    case XK_Return:
    case XK_KP_Enter:
      return VK_RETURN;
    case XK_Shift_L:
    case XK_Shift_R:
      return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
      return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
      return VK_MENU;
    case XK_Pause:
      return VK_PAUSE;
    case XK_Caps_Lock:
      return VK_CAPITAL;
    case XK_Escape:
      return VK_ESCAPE;
    case XK_space:
    case XK_KP_Space:
      return VK_SPACE;
    case XK_Prior:
    case XK_KP_Prior:
      return VK_PRIOR;
    case XK_Next:
    case XK_KP_Next:
      return VK_NEXT;
    case XK_End:
    case XK_KP_End:
      return VK_END;
    case XK_Home:
    case XK_KP_Home:
      return VK_HOME;
    case XK_Left:
    case XK_KP_Left:
      return VK_LEFT;
    case XK_Up:
    case XK_KP_Up:
      return VK_UP;
    case XK_Right:
    case XK_KP_Right:
      return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
      return VK_DOWN;
    case XK_Insert:
    case XK_KP_Insert:
      return VK_INSERT;
    case XK_Delete:
    case XK_KP_Delete:
      return VK_DELETE;
    case XK_Begin:
    case XK_KP_Begin:
      return kVkClear;
    case XK_Print:
      return kVkSnapshot;
    case XK_Super_L:
      return kVkLeftWin;
    case XK_Super_R:
      return kVkRightWin;
    case XK_Menu:
      return kVkApps;
    case XK_Num_Lock:
      return kVkNumLock;
    case XK_Scroll_Lock:
      return kVkScroll;
    case XK_KP_Multiply:
      return kVkMultiply;
    case XK_KP_Add:
      return kVkAdd;
    case XK_KP_Separator:
      return kVkSeparator;
    case XK_KP_Subtract:
      return kVkSubtract;
    case XK_KP_Decimal:
      return kVkDecimal;
    case XK_KP_Divide:
      return kVkDivide;
    case XK_semicolon:
    case XK_colon:
      return kVkOem1;
    case XK_equal:
    case XK_plus:
      return kVkOemPlus;
    case XK_comma:
    case XK_less:
      return kVkOemComma;
    case XK_minus:
    case XK_underscore:
      return kVkOemMinus;
    case XK_period:
    case XK_greater:
      return kVkOemPeriod;
    case XK_slash:
    case XK_question:
      return kVkOem2;
    case XK_grave:
    case XK_asciitilde:
      return kVkOem3;
    case XK_bracketleft:
    case XK_braceleft:
      return kVkOem4;
    case XK_backslash:
    case XK_bar:
      return kVkOem5;
    case XK_bracketright:
    case XK_braceright:
      return kVkOem6;
    case XK_apostrophe:
    case XK_quotedbl:
      return kVkOem7;
    default:
      return 0;
  }
}

}  // namespace platform::host::x11
