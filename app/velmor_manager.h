// The application object: single-instance start-up and the main dialog's modal run.
#pragma once

#include "platform/afx/app.h"

class CVelmor_managerApp : public CWinApp {
 public:
  CVelmor_managerApp();
  ~CVelmor_managerApp() override;

  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};
