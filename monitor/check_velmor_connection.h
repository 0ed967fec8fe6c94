// One detection pass over the PC's network adapters.
#pragma once

#include "platform/base/types.h"

class CVelmor_managerDlg;

// Walks the adapters in the platform's order and stops at the first wireless, connected one
// whose gateway answers as a Kavel-7100 and whose SSID can be read. Brings the window up to date
// when the SSID differs from the one last shown, leaves the router's address in `pszGateway`
// (16 bytes, zeroed by the caller, not the dialog's) and then in the dialog's m_szGateway,
// signals the dialog's check-done event and marks the pass complete. Returns whether the router
// was found.
BOOL CheckVelmorConnection(CVelmor_managerDlg* pDlg, char* pszGateway);
