#include "platform/afx/dialog.h"

#include "platform/afx/app.h"

namespace {

// The dialog procedure under every framework dialog: the message maps do the work, so it
// leaves every message to the dialog manager's default processing.
INT_PTR AfxDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

}  // namespace

HWND CDataExchange::PrepareCtrl(int nIDC) const { return m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC) : nullptr; }

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd != nullptr) return;
  if (HWND control = pDX->PrepareCtrl(nIDC)) rControl.SubclassWindow(control);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDCANCEL, OnCancel)
  ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEW(static_cast<WORD>(nIDTemplate))), m_pParentWnd(pParentWnd) {}

INT_PTR CDialog::DoModal() {
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd.load() : nullptr;
  const bool reenableParent = parent && ::IsWindowEnabled(parent);
  if (reenableParent) ::EnableWindow(parent, FALSE);
  m_nModalResult = -1;
  m_nFlags |= WF_CONTINUEMODAL;
  AfxHookWindowCreate(this);
  HWND hwnd = ::CreateDialogParamW(AfxGetResourceHandle(), m_lpszTemplateName, parent, AfxDlgProc, 0);
  platform::ui::HookNextWindowCreate(nullptr);
  // A modal dialog is shown even when its template does not ask for WS_VISIBLE.
  if (hwnd && ContinueModal() && !::IsWindowVisible(hwnd)) ::ShowWindow(hwnd, SW_SHOWNORMAL);
  if (hwnd && ContinueModal()) RunModalLoop();
  m_nFlags &= ~WF_CONTINUEMODAL;
  if (m_hWnd) ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  if (reenableParent) ::EnableWindow(parent, TRUE);
  DestroyWindow();
  return m_nModalResult;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::EndDialog(int nResult) {
  if (m_nFlags & (WF_MODALLOOP | WF_CONTINUEMODAL)) EndModalLoop(nResult);
  ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (CWnd::PreTranslateMessage(pMsg)) return TRUE;
  return PreTranslateInput(pMsg);
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::HandleInitDialog(WPARAM /*wParam*/, LPARAM /*lParam*/) { return OnInitDialog(); }
