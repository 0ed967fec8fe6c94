#include "app/velmor_manager.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/velmor_manager_dlg.h"
#include "platform/kernel/sync.h"

BEGIN_MESSAGE_MAP(CVelmor_managerApp, CWinApp)
  ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CVelmor_managerApp::CVelmor_managerApp() = default;

CVelmor_managerApp::~CVelmor_managerApp() = default;

BOOL CVelmor_managerApp::InitInstance() {
  INITCOMMONCONTROLSEX InitCtrls;
  InitCtrls.dwSize = sizeof(InitCtrls);
  InitCtrls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&InitCtrls);

  CWinApp::InitInstance();

  SetRegistryKey(u"アプリケーション ウィザードで生成されたローカル アプリケーション");

  // The mark of the running instance, held (never closed) until the process ends.
  CreateEventW(nullptr, FALSE, TRUE, u"Velmor_manager");
  if (GetLastError() == ERROR_ALREADY_EXISTS) return FALSE;

  CVelmor_managerDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();

  // Close stopped every worker without waiting for it. They get a second to end; one still stuck
  // then must not keep the process alive, nor meet a destroyed dialog: the process ends here,
  // without running the dialog's destructor.
  if (!platform::kernel::WaitForAllThreads(std::chrono::seconds(1))) {
    std::fflush(nullptr);
    std::_Exit(0);
  }
  m_pMainWnd = nullptr;
  return FALSE;
}
