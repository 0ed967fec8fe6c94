// Dialog template 102: the main window and its controls, in creation order.
#include "platform/ui/dialog_template.h"
#include "platform/ui/ui.h"
#include "res/program_resources.h"
#include "res/resource.h"

namespace {

using platform::ui::DialogItemTemplate;

// The window is borderless and takes the background picture's size at its first erase; the
// size here only matters until then.
constexpr DWORD kDialogStyle = WS_POPUP | WS_VISIBLE | WS_SYSMENU | DS_CENTER | DS_SETFONT;
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER;
constexpr DWORD kGlyphStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;

static_assert(kDialogStyle == 0x90080840);
static_assert(kLabelStyle == 0x50020001);
static_assert(kGlyphStyle == 0x5000000B);

constexpr DialogItemTemplate kItems[] = {
    {IDC_SETTINGS_BUTTON, u"button", u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW | BS_CENTER | BS_VCENTER,
     0, 69, 59, 74, 33},
    {IDC_MINIMIZE_BUTTON, u"button", u"", kGlyphStyle, 0, 177, 1, 11, 14},
    {IDCANCEL, u"button", u"", kGlyphStyle, 0, 190, 1, 11, 14},
    {IDOK, u"button", u"OK", WS_CHILD | BS_DEFPUSHBUTTON, 0, 7, 167, 22, 14},
    {IDC_NOTICE_LABEL, u"static", u"[notice]", kLabelStyle, 0, 69, 103, 56, 10},
    {IDC_STATUS_LABEL, u"static", u"[status]", kLabelStyle, 0, 84, 27, 33, 10},
    // A network's name is shown as it is: an "&" in it is no mnemonic prefix.
    {IDC_SSID_LABEL, u"static", u"[SSID]", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTERIMAGE | SS_CENTER | SS_NOPREFIX, 0,
     86, 123, 27, 16},
    {IDC_TITLE_LABEL, u"static", u"[Title]", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, 0, 3, 19, 8},
};

}  // namespace

void RegisterMainDialogTemplate() {
  platform::ui::DialogTemplate dialog;
  dialog.style = kDialogStyle;
  dialog.exStyle = WS_EX_APPWINDOW;
  dialog.x = 0;
  dialog.y = 0;
  dialog.cx = 223;
  dialog.cy = 205;
  dialog.fontFace = u"MS UI Gothic";
  dialog.pointSize = 9;
  dialog.weight = 0;
  dialog.italic = 0;
  dialog.charSet = 1;
  dialog.items = kItems;
  platform::ui::RegisterDialogTemplate(IDD_VELMOR_MANAGER_DIALOG, dialog);
}
