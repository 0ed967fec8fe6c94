// CDialog and dialog data exchange.
#pragma once

#include "platform/afx/wnd.h"

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
  // The dialog's control with this id, or null.
  HWND PrepareCtrl(int nIDC) const;
};

// Attaches `rControl` to the dialog's control `nIDC` (by subclassing) the first time it runs.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

  // Creates the dialog from its template and runs the modal loop, which offers every message
  // to PreTranslateMessage before dispatching it, until EndDialog. Returns EndDialog's result,
  // or -1 when the dialog could not be made.
  virtual INT_PTR DoModal();
  // The dialog's controls exist; binds them (DoDataExchange). TRUE lets the dialog manager put
  // the focus on the first control.
  virtual BOOL OnInitDialog();
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  void EndDialog(int nResult);
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnCancel();
  afx_msg LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);

  LPCWSTR m_lpszTemplateName = nullptr;
  CWnd* m_pParentWnd = nullptr;

  DECLARE_MESSAGE_MAP()
};
