// The application framework: everything the program's classes derive from or use.
#pragma once

#include "platform/afx/app.h"
#include "platform/afx/controls.h"
#include "platform/afx/cstring.h"
#include "platform/afx/dialog.h"
#include "platform/afx/gdi_objects.h"
#include "platform/afx/geometry.h"
#include "platform/afx/wnd.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/ui.h"
