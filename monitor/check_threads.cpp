// Detection passes on worker threads, paced by timer 100.
#include <cstring>

#include "trace/debug_trace.h"
#include "app/velmor_manager_dlg.h"
#include "monitor/check_velmor_connection.h"

void CVelmor_managerDlg::RunVelmorCheckThread() {
  DebugMessage(u"+RunVelmorCheckThread");

  // Testing and clearing the flag in one step closes the gap between creating a thread and its
  // pass clearing the flag, in which a second request would start a second pass.
  bool bComplete = true;
  if (m_bCheckComplete.compare_exchange_strong(bComplete, false)) {
    HANDLE hThread = CreateThread(nullptr, 0, ConnectionCheckThread, this, 0, nullptr);
    if (hThread == nullptr) m_bCheckComplete = true;  // no pass began; the next request tries again
    if (m_hCheckThread != nullptr) CloseHandle(m_hCheckThread);
    m_hCheckThread = hThread;
    DebugMessage(u"-RunVelmorCheckThread: Check complete");
  } else {
    DebugMessage(u"-RunVelmorCheckThread: Check processor not complete");
  }
}

DWORD CVelmor_managerDlg::ConnectionCheckThread(LPVOID pParam) {
  auto* pDlg = static_cast<CVelmor_managerDlg*>(pParam);
  DebugMessage(u"+ConnectionCheckThread");
  // The pass fills a gateway buffer of its own, which it leaves in m_szGateway as it ends: a
  // launch woken by the pass before still finds that pass's gateway once this one has begun.
  char szGateway[16];
  std::memset(szGateway, 0, sizeof szGateway);
  CheckVelmorConnection(pDlg, szGateway);
  DebugMessage(u"-ConnectionCheckThread");
  return 0;
}

void CVelmor_managerDlg::OnTimer(UINT_PTR nIDEvent) {
  // While the change trigger waits out a lost link (a roam), the pass that ends its wait comes
  // within seconds and stands in for this one, which would find the link in its gap.
  if (nIDEvent == 100 && !m_bLinkLossHeld) RunVelmorCheckThread();
  Default();
}
