// The two connection states on the screen.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "trace/debug_trace.h"
#include "app/velmor_manager_dlg.h"
#include "platform/base/codepage.h"

namespace {

constexpr COLORREF kSsidColor = RGB(64, 58, 29);
constexpr std::size_t kSsidPrefixLength = 6;  // "SSID: "

// Where a cut at `n` may fall: one unit earlier where `n` is inside a surrogate pair.
std::size_t CharacterBoundary(const WCHAR* szLine, std::size_t n) {
  return (n > 0 && szLine[n - 1] >= 0xD800 && szLine[n - 1] <= 0xDBFF) ? n - 1 : n;
}

// Ends the line with "..." after its first `n` units (fewer where the cut would split a character).
void CutLine(WCHAR* szLine, std::size_t n) {
  n = CharacterBoundary(szLine, n);
  szLine[n] = u'.';
  szLine[n + 1] = u'.';
  szLine[n + 2] = u'.';
  szLine[n + 3] = 0;
}

// The length rules count UTF-16 units, so a line of full-width characters can still be wider than
// the label. Such a line keeps fewer of its first `nBody` units, with "...", until it fits the
// label, measured as the label draws it: in its own font, on one line, an "&" as itself.
void FitLineToLabel(WCHAR* szLine, std::size_t nBody, CLabel& label) {
  CClientDC dc(&label);
  CFont font;
  font.CreateFontIndirect(&label.GetLogFont());
  CFont* pOldFont = dc.SelectObject(&font);
  CRect rcLabel;
  label.GetClientRect(&rcLabel);
  const auto fits = [&](std::u16string_view text) {
    CRect rcText(0, 0, rcLabel.Width(), rcLabel.Height());
    dc.DrawText(text.data(), static_cast<int>(text.size()), &rcText, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX);
    return rcText.Width() <= rcLabel.Width();
  };
  if (!fits(szLine)) {
    std::size_t n = nBody;
    while (n > kSsidPrefixLength) {
      n = CharacterBoundary(szLine, n - 1);
      if (fits(std::u16string(szLine, n) + u"...")) break;
    }
    CutLine(szLine, std::max(n, kSsidPrefixLength));
  }
  dc.SelectObject(pOldFont);
}

}  // namespace

void CVelmor_managerDlg::ShowSsid(LPCWSTR pszSsid) {
  if (!OnWindowThread()) {
    // A worker's request is applied on the window thread before the worker goes on; once the
    // window is gone the send returns at once and nothing is shown.
    SendMessage(WM_VELMOR_SHOWSSID, 0, reinterpret_cast<LPARAM>(pszSsid));
    return;
  }

  WCHAR szLine[128];
  std::memset(szLine, 0, sizeof szLine);

  m_lblSsid.SetTextColor(kSsidColor);

  if (pszSsid != nullptr) {
    swprintf_s(szLine, u"SSID: %s", pszSsid);
    const std::size_t nLength = platform::WideLength(szLine);
    std::size_t nBody = nLength;
    if (nLength > 18) {
      m_lblSsid.SetFontSize(12);
      if (nLength > 21) {
        nBody = CharacterBoundary(szLine, 19);
        CutLine(szLine, nBody);
      }
    } else {
      m_lblSsid.SetFontSize(14);
    }
    FitLineToLabel(szLine, nBody, m_lblSsid);
    m_lblNotice.SetWindowText(u"※接続にはID/PWが必要です。\n初期値はマニュアルで確認してください");
    m_lblSsid.SetWindowText(szLine);
  } else {
    m_lblNotice.SetWindowText(u"※「設定画面へ」ボタンは、Kavel-7100との\nWi-Fi接続後、アクティブになります");
    m_lblSsid.SetWindowText(u"");
  }

  InvalidateControl(m_lblSsid);
  InvalidateControl(m_lblNotice);
}

void CVelmor_managerDlg::UpdateConnectionStatus(BOOL bConnected) {
  if (!OnWindowThread()) {
    SendMessage(WM_VELMOR_CONNECTIONSTATUS, static_cast<WPARAM>(bConnected), 0);
    return;
  }

  m_lblStatus.SetFontSize(20);
  m_lblStatus.SetFontBold(TRUE);

  if (bConnected) {
    DebugMessage(u"[Velmor]Ready to connect with Velmor\n");
    m_lblStatus.SetTextColor(RGB(0, 0, 0));
    if (!m_bConnected) {
      KillTimer(100);
      SetTimer(100, 30000, nullptr);
      DebugMessage(u"[QXJ]Set the Timer duration 30s");
    } else {
      DebugMessage(u"[QXJ]Status is same");
    }
    m_bConnected = true;
    m_lblStatus.SetWindowText(u"Kavel-7100 と\nWi-Fi接続済みです");
    m_btnSettings.EnableWindow(TRUE);
  } else {
    DebugMessage(u"[Velmor]Disconnect to Velmor\n");
    if (m_bConnected) {
      KillTimer(100);
      SetTimer(100, 10000, nullptr);
      DebugMessage(u"[QXJ]Set the Timer duration 10s");
    } else {
      DebugMessage(u"[QXJ]Status is same");
    }
    m_bConnected = false;
    m_lblStatus.SetTextColor(RGB(255, 0, 0));
    m_lblStatus.SetWindowText(u"Kavel-7100 との\nWi-Fi接続を確認してください");
    m_btnSettings.EnableWindow(FALSE);
  }

  UpdateSettingsButton();

  InvalidateControl(m_lblStatus);
  InvalidateControl(m_lblNotice);
}

void CVelmor_managerDlg::UpdateSettingsButton() {
  m_btnMinimize.SetLookState(0);
  m_btnClose.SetLookState(0);
  m_btnSettings.SetLookState(m_bConnected ? 0 : 3);
}

LRESULT CVelmor_managerDlg::OnShowSsidRequest(WPARAM /*wParam*/, LPARAM lParam) {
  ShowSsid(reinterpret_cast<LPCWSTR>(lParam));
  return TRUE;
}

LRESULT CVelmor_managerDlg::OnConnectionStatusRequest(WPARAM wParam, LPARAM /*lParam*/) {
  UpdateConnectionStatus(static_cast<BOOL>(wParam));
  return TRUE;
}
