#include "app/velmor_manager_dlg.h"

#include <cstring>
#include <utility>

#include "trace/debug_trace.h"
#include "platform/afx/app.h"

namespace {

// The picture sets of the three buttons: normal, pressed, hover, disabled (0: none).
LPCWSTR Picture(WORD id) { return id == 0 ? nullptr : MAKEINTRESOURCEW(id); }

}  // namespace

BEGIN_MESSAGE_MAP(CVelmor_managerDlg, CDialog)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDC_SETTINGS_BUTTON, OnSettingsButton)
  ON_WM_CTLCOLOR()
  ON_BN_CLICKED(IDCANCEL, OnCloseButton)
  ON_WM_TIMER()
  ON_WM_ERASEBKGND()
  ON_BN_CLICKED(IDC_MINIMIZE_BUTTON, OnMinimizeButton)
  ON_WM_LBUTTONDOWN()
  ON_MESSAGE(WM_VELMOR_SHOWSSID, OnShowSsidRequest)
  ON_MESSAGE(WM_VELMOR_CONNECTIONSTATUS, OnConnectionStatusRequest)
END_MESSAGE_MAP()

CVelmor_managerDlg::CVelmor_managerDlg(CWnd* pParent) : CDialog(IDD, pParent) {
  m_hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
  m_strDebugKeyword = u"QXJ";
}

CVelmor_managerDlg::~CVelmor_managerDlg() = default;

void CVelmor_managerDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_STATUS_LABEL, m_lblStatus);
  DDX_Control(pDX, IDC_NOTICE_LABEL, m_lblNotice);
  DDX_Control(pDX, IDC_SETTINGS_BUTTON, m_btnSettings);
  DDX_Control(pDX, IDC_SSID_LABEL, m_lblSsid);
  DDX_Control(pDX, IDC_TITLE_LABEL, m_lblTitle);
}

BOOL CVelmor_managerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_windowThread = std::this_thread::get_id();

  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  m_bCheckComplete = true;
  m_bConnected = false;
  m_hCheckDoneEvent = nullptr;
  m_hCheckThread = nullptr;
  m_hWaitThread = nullptr;
  g_bDebugMessage = false;
  std::memset(m_szLastSsid, 0, sizeof m_szLastSsid);
  std::memset(m_szGateway, 0, sizeof m_szGateway);

  // The application's main window is this dialog; a dialog run without the application object
  // (in tests) names itself.
  CWnd* pMainWnd = AfxGetMainWnd();
  (pMainWnd ? pMainWnd : this)->SetWindowText(u"Kavel-7100設定画面接続ツール");

  LayoutControls();
  InitLabelFonts();

  UpdateConnectionStatus(FALSE);

  m_hCheckDoneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(m_hCheckDoneEvent);
  RunVelmorCheckThread();
  SetTimer(100, 10000, nullptr);
  UpdateSettingsButton();

  StartChangeTrigger();
  return TRUE;
}

void CVelmor_managerDlg::LayoutControls() {
  m_btnMinimize.SubclassDlgItem(IDC_MINIMIZE_BUTTON, this);
  m_btnClose.SubclassDlgItem(IDCANCEL, this);

  m_btnMinimize.SetWindowPos(nullptr, 307, 0, 18, 24, SWP_NOZORDER);
  m_btnMinimize.LoadStateBitmaps(Picture(IDB_MINIMIZE_NORMAL), Picture(IDB_MINIMIZE_PRESSED),
                                 Picture(IDB_MINIMIZE_HOVER), Picture(0));
  m_btnClose.SetWindowPos(nullptr, 330, 0, 18, 24, SWP_NOZORDER);
  m_btnClose.LoadStateBitmaps(Picture(IDB_CLOSE_NORMAL), Picture(IDB_CLOSE_PRESSED), Picture(IDB_CLOSE_HOVER),
                              Picture(0));
  m_btnSettings.SetWindowPos(nullptr, 99, 123, 160, 58, SWP_NOZORDER);
  m_btnSettings.LoadStateBitmaps(Picture(IDB_SETTINGS_NORMAL), Picture(IDB_SETTINGS_PRESSED),
                                 Picture(IDB_SETTINGS_HOVER), Picture(IDB_SETTINGS_DISABLED));

  m_lblTitle.SetTransparent();
  m_lblTitle.SetWindowPos(nullptr, 26, 7, 270, 12, SWP_NOZORDER);
  m_lblStatus.SetTransparent();
  m_lblStatus.SetWindowPos(nullptr, 34, 59, 290, 43, SWP_NOZORDER);
  m_lblSsid.SetTransparent();
  m_lblSsid.SetWindowPos(nullptr, 101, 256, 156, 15, SWP_NOZORDER);
  m_lblNotice.SetTransparent();
  m_lblNotice.SetWindowPos(nullptr, 15, 205, 325, 40, SWP_NOZORDER);
}

void CVelmor_managerDlg::InitLabelFonts() {
  m_lblTitle.SetFontSize(12);
  m_lblTitle.SetTextColor(RGB(255, 255, 255));
  m_lblTitle.SetWindowText(u"Kavel-7100設定画面接続ツール");

  m_lblNotice.SetFontSize(14);
  m_lblNotice.SetFontName(u"Arial Black");
  m_lblNotice.SetTextColor(RGB(64, 58, 29));

  ShowSsid(nullptr);
}

BOOL CVelmor_managerDlg::OnEraseBkgnd(CDC* pDC) {
  CBitmap bmpBackground;
  bmpBackground.LoadBitmap(IDB_BACKGROUND);
  BITMAP bm{};
  bmpBackground.GetBitmap(&bm);

  SetWindowPos(nullptr, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE);

  CDC dcMemory;
  dcMemory.CreateCompatibleDC(pDC);
  CBitmap* pOldBitmap = dcMemory.SelectObject(&bmpBackground);
  pDC->BitBlt(0, 0, bm.bmWidth, bm.bmHeight, &dcMemory, 0, 0, SRCCOPY);
  dcMemory.SelectObject(pOldBitmap);
  return FALSE;
}

void CVelmor_managerDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    const int x = (rect.Width() - cxIcon + 1) / 2;
    const int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CVelmor_managerDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

HBRUSH CVelmor_managerDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
  return CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}

void CVelmor_managerDlg::InvalidateControl(CWnd& control) {
  CRect rect;
  control.GetWindowRect(&rect);
  POINT topLeft{rect.left, rect.top};
  POINT bottomRight{rect.right, rect.bottom};
  ScreenToClient(&topLeft);
  ScreenToClient(&bottomRight);
  rect = CRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
  InvalidateRect(&rect, TRUE);
}

void CVelmor_managerDlg::StartChangeTrigger() {
  m_pChangeMonitor = platform::net::OpenChangeMonitor();
  if (!m_pChangeMonitor) return;  // timer 100 alone then paces the passes
  if (!platform::ui::WatchFd(m_hWnd, m_pChangeMonitor->Fd(), [this] { OnNetworkChange(); })) {
    m_pChangeMonitor.reset();
  }
}

void CVelmor_managerDlg::StopChangeTrigger() {
  KillTimer(kChangeTimerId);
  if (!m_pChangeMonitor) return;
  platform::ui::UnwatchFd(m_hWnd, m_pChangeMonitor->Fd());
  m_pChangeMonitor.reset();
}

void CVelmor_managerDlg::OnNetworkChange() {
  if (!m_pChangeMonitor) return;
  const platform::net::NetworkChange change = m_pChangeMonitor->Drain();
  if (m_bClosing) return;
  switch (change) {
    case platform::net::NetworkChange::kNone:
      return;
    case platform::net::NetworkChange::kChange:
      if (m_bLinkLossHeld) return;
      break;
    case platform::net::NetworkChange::kLinkLoss:
      if (!m_bLinkLossHeld) {
        m_bLinkLossHeld = true;
        SetTimer(kChangeTimerId, kLinkLossHoldMs, OnChangeSettled);
      }
      return;
    case platform::net::NetworkChange::kLinkBack:
      if (m_bLinkLossHeld) {
        SetTimer(kChangeTimerId, kLinkBackSettleMs, OnChangeSettled);
        return;
      }
      break;
    case platform::net::NetworkChange::kLinkOutcome:
      m_bLinkLossHeld = false;
      break;
  }
  // Each announcement restarts the countdown: the pass should see the network after the
  // burst, not in the middle of it.
  SetTimer(kChangeTimerId, kChangeSettleMs, OnChangeSettled);
}

void CVelmor_managerDlg::OnChangeSettled(HWND hWnd, UINT /*nMsg*/, UINT_PTR /*nIDEvent*/, DWORD /*dwTime*/) {
  auto* pDlg = static_cast<CVelmor_managerDlg*>(CWnd::FromHandlePermanent(hWnd));
  if (pDlg == nullptr) return;
  // A pass that is running may have read the network before the change, so the request waits
  // for it to end rather than being dropped: the timer asks again every kPassEndPollMs until then.
  if (!pDlg->m_bCheckComplete) {
    pDlg->m_bLinkLossHeld = false;
    pDlg->SetTimer(kChangeTimerId, kPassEndPollMs, OnChangeSettled);
    return;
  }
  pDlg->m_bLinkLossHeld = false;
  pDlg->KillTimer(kChangeTimerId);
  pDlg->RunVelmorCheckThread();
}
