// Dialog templates: the description a dialog and its controls are made from.
//
// A template is written as C++ data (usually constexpr, in res/) and registered under a resource
// id; CreateDialogParamW then finds it by that id (MAKEINTRESOURCEW).
#pragma once

#include <span>
#include <string_view>

#include "platform/base/types.h"

namespace platform::ui {

// One control. Its rectangle is in dialog units, in the dialog's client coordinates.
struct DialogItemTemplate {
  WORD id = 0;
  std::u16string_view className;  // u"button" or u"static" (any registered class works)
  std::u16string_view text;
  DWORD style = 0;  // WS_CHILD is implied
  DWORD exStyle = 0;
  short x = 0;
  short y = 0;
  short cx = 0;
  short cy = 0;
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0;  // dialog units; the position is ignored with DS_CENTER
  short y = 0;
  short cx = 0;
  short cy = 0;
  std::u16string_view caption;
  // The dialog font (with DS_SETFONT): it sets the dialog units and is given to every control.
  std::u16string_view fontFace;
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charSet = 0;
  std::span<const DialogItemTemplate> items;  // in z-order, topmost first, as created
};

// Registers a template under `id` (a copy is kept; the argument may be temporary). A later
// registration of the same id replaces the earlier one.
void RegisterDialogTemplate(WORD id, const DialogTemplate& dialog);

}  // namespace platform::ui
