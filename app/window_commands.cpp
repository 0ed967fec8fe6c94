// The window's own commands (close, minimise, drag) and its keyboard filter.
#include "trace/debug_trace.h"
#include "app/velmor_manager_dlg.h"

void CVelmor_managerDlg::OnCloseButton() {
  UpdateSettingsButton();

  // Close never waits for a worker. A running pass is asked to stop (its HTTP probe ends within
  // a tenth of a second), and launches still waiting for a pass are woken; all of them find
  // m_bClosing set and leave the window and the browser alone.
  m_bClosing = true;
  if (m_hCheckThread != nullptr) TerminateThread(m_hCheckThread, 0);
  if (m_hWaitThread != nullptr) TerminateThread(m_hWaitThread, 0);
  if (m_hCheckDoneEvent != nullptr) SetEvent(m_hCheckDoneEvent);

  KillTimer(100);
  StopChangeTrigger();

  // The members keep their (now stale) values: a worker may still read them, and a wait on a
  // closed handle fails at once.
  if (m_hCheckThread != nullptr) CloseHandle(m_hCheckThread);
  if (m_hCheckDoneEvent != nullptr) CloseHandle(m_hCheckDoneEvent);
  if (m_hWaitThread != nullptr) CloseHandle(m_hWaitThread);

  CDialog::OnCancel();
}

void CVelmor_managerDlg::OnMinimizeButton() {
  UpdateSettingsButton();
  ShowWindow(SW_MINIMIZE);
}

void CVelmor_managerDlg::OnLButtonDown(UINT nFlags, CPoint point) {
  SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, 0);
  CDialog::OnLButtonDown(nFlags, point);
}

BOOL CVelmor_managerDlg::PreTranslateMessage(MSG* pMsg) {
  static CString s_strTypedKeys;

  if (pMsg->message == WM_KEYDOWN) {
    if (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE) return TRUE;

    // Once the typed keys are longer than the keyword they can never match it again, so
    // keeping more of them would only grow the string.
    if (s_strTypedKeys.GetLength() <= m_strDebugKeyword.GetLength()) {
      CString strKey;
      strKey.Format(u"%c", static_cast<UINT>(pMsg->wParam));
      s_strTypedKeys += strKey;
    }

    if (s_strTypedKeys.CompareNoCase(m_strDebugKeyword) == 0) {
      if (g_bDebugMessage) {
        OutputDebugStringW(u"Debug Message OFF!");
        g_bDebugMessage = false;
      } else {
        OutputDebugStringW(u"Debug Message ON!");
        g_bDebugMessage = true;
      }
      s_strTypedKeys.Empty();
    }
  }

  return CDialog::PreTranslateMessage(pMsg);
}
