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

// Runs of keysyms whose codes run alongside.
struct KeyRange {
  unsigned long first, last;
  UINT vk;  // the code of `first`
};
constexpr KeyRange kRanges[] = {
    {XK_a, XK_z, 'A'}, {XK_A, XK_Z, 'A'}, {XK_0, XK_9, '0'}, {XK_F1, XK_F24, VK_F1}, {XK_KP_0, XK_KP_9, kVkNumpad0},
};

// Every other key with a code.
struct Key {
  unsigned long keysym;
  UINT vk;
};
constexpr Key kKeys[] = {
    // Editing and whitespace
    {XK_BackSpace, VK_BACK}, {XK_Tab, VK_TAB}, {XK_ISO_Left_Tab, VK_TAB}, {XK_KP_Tab, VK_TAB},
    {XK_Return, VK_RETURN}, {XK_KP_Enter, VK_RETURN}, {XK_Escape, VK_ESCAPE},
    {XK_space, VK_SPACE}, {XK_KP_Space, VK_SPACE},
    // Modifiers and locks
    {XK_Shift_L, VK_SHIFT}, {XK_Shift_R, VK_SHIFT}, {XK_Control_L, VK_CONTROL}, {XK_Control_R, VK_CONTROL},
    {XK_Alt_L, VK_MENU}, {XK_Alt_R, VK_MENU}, {XK_Meta_L, VK_MENU}, {XK_Meta_R, VK_MENU},
    {XK_Caps_Lock, VK_CAPITAL}, {XK_Num_Lock, kVkNumLock}, {XK_Scroll_Lock, kVkScroll},
    {XK_Super_L, kVkLeftWin}, {XK_Super_R, kVkRightWin}, {XK_Menu, kVkApps},
    {XK_Pause, VK_PAUSE}, {XK_Print, kVkSnapshot},
    // Movement, on the keypad too
    {XK_Prior, VK_PRIOR}, {XK_KP_Prior, VK_PRIOR}, {XK_Next, VK_NEXT}, {XK_KP_Next, VK_NEXT},
    {XK_End, VK_END}, {XK_KP_End, VK_END}, {XK_Home, VK_HOME}, {XK_KP_Home, VK_HOME},
    {XK_Left, VK_LEFT}, {XK_KP_Left, VK_LEFT}, {XK_Up, VK_UP}, {XK_KP_Up, VK_UP},
    {XK_Right, VK_RIGHT}, {XK_KP_Right, VK_RIGHT}, {XK_Down, VK_DOWN}, {XK_KP_Down, VK_DOWN},
    {XK_Insert, VK_INSERT}, {XK_KP_Insert, VK_INSERT}, {XK_Delete, VK_DELETE}, {XK_KP_Delete, VK_DELETE},
    {XK_Begin, kVkClear}, {XK_KP_Begin, kVkClear},
    // Keypad operators
    {XK_KP_Multiply, kVkMultiply}, {XK_KP_Add, kVkAdd}, {XK_KP_Separator, kVkSeparator},
    {XK_KP_Subtract, kVkSubtract}, {XK_KP_Decimal, kVkDecimal}, {XK_KP_Divide, kVkDivide},
    // Punctuation, unshifted and shifted
    {XK_semicolon, kVkOem1}, {XK_colon, kVkOem1}, {XK_equal, kVkOemPlus}, {XK_plus, kVkOemPlus},
    {XK_comma, kVkOemComma}, {XK_less, kVkOemComma}, {XK_minus, kVkOemMinus}, {XK_underscore, kVkOemMinus},
    {XK_period, kVkOemPeriod}, {XK_greater, kVkOemPeriod}, {XK_slash, kVkOem2}, {XK_question, kVkOem2},
    {XK_grave, kVkOem3}, {XK_asciitilde, kVkOem3}, {XK_bracketleft, kVkOem4}, {XK_braceleft, kVkOem4},
    {XK_backslash, kVkOem5}, {XK_bar, kVkOem5}, {XK_bracketright, kVkOem6}, {XK_braceright, kVkOem6},
    {XK_apostrophe, kVkOem7}, {XK_quotedbl, kVkOem7},
};

}  // namespace

bool IsKeypadKeysym(unsigned long keysym) { return keysym >= XK_KP_Space && keysym <= XK_KP_Equal; }

UINT VirtualKeyFromKeysym(unsigned long keysym) {
  for (const KeyRange& r : kRanges) {
    if (keysym >= r.first && keysym <= r.last) return static_cast<UINT>(r.vk + (keysym - r.first));
  }
  for (const Key& k : kKeys) {
    if (k.keysym == keysym) return k.vk;
  }
  return 0;
}

}  // namespace platform::host::x11
