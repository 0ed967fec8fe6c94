// Resource ids of the program: the dialog, its controls, the skin pictures and the icon.
#pragma once

#include "platform/base/types.h"

// The main dialog's template.
inline constexpr WORD IDD_VELMOR_MANAGER_DIALOG = 102;

// The program icon (window icons, the picture drawn while minimised).
inline constexpr WORD IDR_MAINFRAME = 128;

// The window background with the top bar, the groove, the SSID frame and the word mark.
inline constexpr WORD IDB_BACKGROUND = 132;

// Minimise and close glyphs, 18 x 24, on the top bar.
inline constexpr WORD IDB_MINIMIZE_PRESSED = 165;
inline constexpr WORD IDB_MINIMIZE_HOVER = 166;
inline constexpr WORD IDB_MINIMIZE_NORMAL = 167;
inline constexpr WORD IDB_CLOSE_PRESSED = 168;
inline constexpr WORD IDB_CLOSE_HOVER = 169;
inline constexpr WORD IDB_CLOSE_NORMAL = 170;

// The settings button, 160 x 58, caption included.
inline constexpr WORD IDB_SETTINGS_PRESSED = 171;
inline constexpr WORD IDB_SETTINGS_DISABLED = 172;
inline constexpr WORD IDB_SETTINGS_HOVER = 173;
inline constexpr WORD IDB_SETTINGS_NORMAL = 174;

// Controls of the main dialog. The close glyph is IDCANCEL (2) and the hidden default button
// IDOK (1), so that the dialog's own cancel and OK handling applies to them.
inline constexpr int IDC_SETTINGS_BUTTON = 1000;
inline constexpr int IDC_NOTICE_LABEL = 1001;
inline constexpr int IDC_STATUS_LABEL = 1003;
inline constexpr int IDC_SSID_LABEL = 1004;
inline constexpr int IDC_MINIMIZE_BUTTON = 1006;
inline constexpr int IDC_TITLE_LABEL = 1007;
