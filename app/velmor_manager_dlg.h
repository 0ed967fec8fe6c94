// The main dialog: the skinned window, its controls, and the state the connection monitor shares
// with its worker threads.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "controls/hover_button.h"
#include "controls/label.h"
#include "platform/afx/dialog.h"
#include "platform/kernel/sync.h"
#include "platform/net/change_monitor.h"
#include "res/resource.h"

class CVelmor_managerDlg : public CDialog {
 public:
  explicit CVelmor_managerDlg(CWnd* pParent = nullptr);
  ~CVelmor_managerDlg() override;

  enum { IDD = IDD_VELMOR_MANAGER_DIALOG };

  // The status display. ShowSsid and UpdateConnectionStatus may be called from the worker
  // threads; they are then carried out on the window thread before they return.
  void ShowSsid(LPCWSTR pszSsid);
  void UpdateConnectionStatus(BOOL bConnected);
  void UpdateSettingsButton();

  // Starts a detection pass on a thread of its own unless one is running.
  void RunVelmorCheckThread();
  static DWORD ConnectionCheckThread(LPVOID pParam);
  static DWORD ConnectionCheckWaitThread(LPVOID pParam);

  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  void LayoutControls();
  void InitLabelFonts();

  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnSettingsButton();
  afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
  afx_msg void OnCloseButton();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnMinimizeButton();
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);

  DECLARE_MESSAGE_MAP()

 public:
  // The state every part of the program shares, in its declared order.
  HICON m_hIcon;
  std::atomic<bool> m_bCheckComplete;
  std::atomic<bool> m_bConnected;
  CLabel m_lblStatus;
  CLabel m_lblNotice;
  CLabel m_lblSsid;
  CLabel m_lblTitle;
  CHoverButton m_btnMinimize;
  CHoverButton m_btnClose;
  CHoverButton m_btnSettings;
  HANDLE m_hCheckThread;
  HANDLE m_hWaitThread;
  HANDLE m_hCheckDoneEvent;
  CString m_strDebugKeyword;
  char m_szGateway[16];
  char m_szLastSsid[128];

 private:
  // ---- This implementation's own additions ----------------------------------------------
  friend BOOL CheckVelmorConnection(CVelmor_managerDlg* pDlg, char* pszGateway);

  // Threads and sharing. The window thread runs every handler and never takes m_csShared. A
  // worker takes it to read or write m_szGateway, m_szLastSsid and the pass result below, and
  // holds it through a whole display change (ShowSsid, UpdateConnectionStatus and
  // m_szLastSsid), which waits for the window thread: two workers' changes never interleave,
  // and the window thread, taking no lock, is never waited for in a circle.
  std::mutex m_csShared;

  // What the latest pass found, recorded (m_csShared held) just before it signals
  // m_hCheckDoneEvent: the state it left and, into m_szGateway, its gateway. A pass works on a
  // gateway buffer of its own until then, so that a launch woken by that signal opens the page
  // of the pass that woke it though another pass has begun since.
  void RecordPassResult(BOOL bConnected, const char* pszGateway);
  bool m_bPassConnected = false;

  // Set by close: workers that wake afterwards leave the window and the browser alone.
  std::atomic<bool> m_bClosing{false};

  // The thread that runs the window, to which workers hand their display operations.
  std::thread::id m_windowThread;
  bool OnWindowThread() const { return std::this_thread::get_id() == m_windowThread; }
  afx_msg LRESULT OnShowSsidRequest(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnConnectionStatusRequest(WPARAM wParam, LPARAM lParam);

  // Repaints the skin under a control: its rectangle in this window's client coordinates.
  void InvalidateControl(CWnd& control);

  // The network-change trigger. Announcements of the platform (links, addresses, routes,
  // Wi-Fi association) arrive on the window thread; once they have been quiet for
  // kChangeSettleMs, a pass is asked for, so that the window follows a new association at once
  // instead of at the next tick of timer 100, and a burst of announcements costs one pass.
  // A link that loses its connection while it stays on is waited out instead: a station that
  // roams between access points is down or dormant for a second or two, and a pass in that gap
  // would show the disconnected state for a network that never stopped working. The pass then
  // comes kLinkBackSettleMs after the link is up again (a station that has just reassociated
  // may not reach its router at once), kChangeSettleMs after something went away, or
  // kLinkLossHoldMs after the loss, whichever is first; other announcements in between leave the
  // countdown as it is (m_bLinkLossHeld).
  static constexpr UINT_PTR kChangeTimerId = 101;
  static constexpr UINT kChangeSettleMs = 200;
  static constexpr UINT kLinkLossHoldMs = 3000;
  static constexpr UINT kLinkBackSettleMs = 1000;
  static constexpr UINT kPassEndPollMs = 50;
  bool m_bLinkLossHeld = false;
  void StartChangeTrigger();
  void StopChangeTrigger();
  void OnNetworkChange();
  static void OnChangeSettled(HWND hWnd, UINT nMsg, UINT_PTR nIDEvent, DWORD dwTime);
  std::unique_ptr<platform::net::ChangeMonitor> m_pChangeMonitor;
};

// Messages by which a worker hands a display operation to the window thread.
inline constexpr UINT WM_VELMOR_SHOWSSID = WM_APP + 1;
inline constexpr UINT WM_VELMOR_CONNECTIONSTATUS = WM_APP + 2;
