// The settings button: a fresh pass, then the router's settings page in the browser.
#include <cstring>

#include "trace/debug_trace.h"
#include "app/velmor_manager_dlg.h"
#include "platform/base/codepage.h"
#include "platform/shell/shell.h"

namespace {

constexpr char kWaitThreadName[] = "ConnectionCheckWaitThread";

}  // namespace

void CVelmor_managerDlg::OnSettingsButton() {
  UpdateSettingsButton();
  ResetEvent(m_hCheckDoneEvent);
  RunVelmorCheckThread();

  HANDLE hThread = CreateThread(nullptr, 0, ConnectionCheckWaitThread, this, 0, nullptr);
  if (m_hWaitThread != nullptr) CloseHandle(m_hWaitThread);
  m_hWaitThread = hThread;
}

void CVelmor_managerDlg::RecordPassResult(BOOL bConnected, const char* pszGateway) {
  m_bPassConnected = bConnected != FALSE;
  std::memset(m_szGateway, 0, sizeof m_szGateway);
  std::strncpy(m_szGateway, pszGateway, sizeof m_szGateway - 1);
}

DWORD CVelmor_managerDlg::ConnectionCheckWaitThread(LPVOID pParam) {
  auto* pDlg = static_cast<CVelmor_managerDlg*>(pParam);
  WCHAR wszThreadName[64];
  MultiByteToWideChar(CP_THREAD_ACP, 0, kWaitThreadName, -1, wszThreadName, 64);

  DebugMessage(u"+%s", wszThreadName);

  const DWORD dwWait = WaitForSingleObject(pDlg->m_hCheckDoneEvent, 5000);

  // Woken by close (or asked to stop by it): the window is going, and no page is opened for it.
  if (pDlg->m_bClosing) {
    DebugMessage(u"-%s", wszThreadName);
    return 0;
  }

  bool bGiveUp = false;
  if (dwWait == WAIT_OBJECT_0) {
    DebugMessage(u"Signaled");
    // The state and the gateway of the pass that signalled, not of a pass begun since. A
    // connected state without a gateway would open "http://" alone; it counts as not found.
    char szUrl[128];
    std::memset(szUrl, 0, sizeof szUrl);
    {
      std::lock_guard lock(pDlg->m_csShared);
      if (pDlg->m_bPassConnected && pDlg->m_szGateway[0] != 0) sprintf_s(szUrl, "http://%s", pDlg->m_szGateway);
    }
    if (szUrl[0] != 0) {
      DebugMessage(u"Found");
      WCHAR wszUrl[128];
      std::memset(wszUrl, 0, sizeof wszUrl);
      MultiByteToWideChar(CP_THREAD_ACP, 0, szUrl, -1, wszUrl, 128);
      ShellExecuteW(nullptr, u"", wszUrl, nullptr, nullptr, SW_SHOWNORMAL);
    } else {
      DebugMessage(u"Not Found");
      bGiveUp = true;
    }
  } else {
    DebugMessage(u"%s TimeOut", wszThreadName);
    bGiveUp = true;
  }

  if (bGiveUp) {
    std::lock_guard lock(pDlg->m_csShared);
    pDlg->ShowSsid(nullptr);
    pDlg->UpdateConnectionStatus(FALSE);
    std::memset(pDlg->m_szLastSsid, 0, sizeof pDlg->m_szLastSsid);
  }

  DebugMessage(u"-%s", wszThreadName);
  return 0;
}
