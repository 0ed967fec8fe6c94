#include "platform/afx/wnd.h"

#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/afx/app.h"
#include "platform/afx/temp_objects.h"

namespace {

using platform::afx::detail::Borrow;
using platform::afx::detail::Temporaries;

struct PermanentMap {
  std::mutex mutex;
  std::unordered_map<HWND, CWnd*> windows;
};

PermanentMap& Permanent() {
  static auto* map = new PermanentMap;
  return *map;
}

// The message being handled on this thread (what Default() and reflection work on).
thread_local MSG t_lastMessage{};
thread_local int t_depth = 0;

}  // namespace

void platform::afx::ClearTemporaryObjects() {
  using platform::afx::detail::Temporaries;
  Temporaries<CWnd>().Clear();
  Temporaries<CDC>().Clear();
  Temporaries<CBitmap>().Clear();
  Temporaries<CFont>().Clear();
}

// --- CCmdTarget ------------------------------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
      if (e->nMessage != message) continue;
      if (message == WM_COMMAND && (e->nCode != code || id < e->nID || id > e->nLastID)) continue;
      return e;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode) {
  const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
  if (!e) return FALSE;
  LRESULT ignored = 0;
  return e->pfn(this, 0, 0, &ignored);
}

// --- The window procedure --------------------------------------------------------------------

LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd) return DefWindowProcW(hwnd, message, wParam, lParam);
  const MSG saved = t_lastMessage;
  t_lastMessage = MSG{hwnd, message, wParam, lParam, 0, POINT{}};
  ++t_depth;
  const LRESULT result = wnd->WindowProc(message, wParam, lParam);
  --t_depth;
  t_lastMessage = saved;
  if (t_depth == 0) platform::afx::ClearTemporaryObjects();
  return result;
}

void AfxHookWindowCreate(CWnd* pWnd) {
  platform::ui::HookNextWindowCreate([pWnd](HWND hwnd) { pWnd->SubclassWindow(hwnd); });
}

BOOL AfxPreTranslateMessage(MSG* pMsg) {
  CWnd* main = AfxGetMainWnd();
  return CWnd::WalkPreTranslateTree(main ? main->m_hWnd.load() : nullptr, pMsg);
}

// --- CWnd ------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
  ON_WM_DRAWITEM()
  ON_WM_CTLCOLOR()
  ON_WM_NCDESTROY()
END_MESSAGE_MAP()

CWnd::~CWnd() {
  if (!m_hWnd) return;
  // Fails on another thread's window; the object then only lets go of it.
  if (::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  if (m_hWnd) UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  if (!hwnd) return nullptr;
  PermanentMap& map = Permanent();
  std::lock_guard g(map.mutex);
  auto it = map.windows.find(hwnd);
  return it == map.windows.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  if (CWnd* w = FromHandlePermanent(hwnd)) return w;
  return Borrow<CWnd>(hwnd);
}

BOOL CWnd::Attach(HWND hwnd) {
  if (!hwnd || m_hWnd) return FALSE;
  PermanentMap& map = Permanent();
  std::lock_guard g(map.mutex);
  if (!map.windows.emplace(hwnd, this).second) return FALSE;
  m_hWnd = hwnd;
  return TRUE;
}

HWND CWnd::Detach() {
  const HWND hwnd = m_hWnd;
  if (hwnd) {
    PermanentMap& map = Permanent();
    std::lock_guard g(map.mutex);
    auto it = map.windows.find(hwnd);
    if (it != map.windows.end() && it->second == this) map.windows.erase(it);
  }
  m_hWnd = nullptr;
  return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  if (!::IsWindow(hwnd) || !Attach(hwnd)) return FALSE;
  auto old = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
  if (old != &AfxWndProc) m_pfnSuper = old;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  if (!pParent) return FALSE;
  HWND control = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
  return control ? SubclassWindow(control) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (m_pfnSuper && ::IsWindow(m_hWnd)) ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  m_pfnSuper = nullptr;
  return Detach();
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  const HWND hwnd = m_hWnd;
  const BOOL result = ::DestroyWindow(hwnd);
  if (m_hWnd == hwnd && !::IsWindow(hwnd)) Detach();
  return result;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }

void CWnd::GetWindowText(CString& text) const {
  std::u16string buffer(static_cast<std::size_t>(::GetWindowTextLengthW(m_hWnd)) + 1, u'\0');
  ::GetWindowTextW(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
  text = buffer.c_str();
}

BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd.load() : HWND_TOP, x, y, cx, cy, nFlags);
}

void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
void CWnd::ScreenToClient(POINT* point) const { ::ScreenToClient(m_hWnd, point); }

void CWnd::Invalidate(BOOL bErase) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
void CWnd::InvalidateRect(LPCRECT rect, BOOL bErase) { ::InvalidateRect(m_hWnd, rect, bErase); }
BOOL CWnd::RedrawWindow(LPCRECT rectUpdate, HRGN rgnUpdate, UINT flags) {
  return ::RedrawWindow(m_hWnd, rectUpdate, rgnUpdate, flags);
}
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }

BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
CWnd* CWnd::SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
CWnd* CWnd::GetCapture() { return FromHandle(::GetCapture()); }
UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}
BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

LRESULT CWnd::Default() { return DefWindowProc(t_lastMessage.message, t_lastMessage.wParam, t_lastMessage.lParam); }

BOOL CWnd::PreTranslateMessage(MSG* /*pMsg*/) { return FALSE; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT result = 0;
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    result = 1;
  } else if (platform::ui::IsColorRequest(message)) {
    // Every kind of colour request reaches the map as the one WM_CTLCOLOR entry.
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_CTLCOLOR);
    if (!e) return FALSE;
    AFX_CTLCOLOR ctl{reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam), message - WM_CTLCOLORMSGBOX};
    if (!e->pfn(this, wParam, reinterpret_cast<LPARAM>(&ctl), &result)) return FALSE;
  } else {
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(message);
    if (!e || !e->pfn(this, wParam, lParam, &result)) return FALSE;
  }
  if (pResult) *pResult = result;
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM /*lParam*/) {
  const UINT id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  return OnCmdMsg(id, code);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_DRAWITEM) return OnWndMsg(WM_REFLECT_BASE + message, wParam, lParam, pResult);
  if (platform::ui::IsColorRequest(message)) {
    AFX_CTLCOLOR ctl{m_hWnd, reinterpret_cast<HDC>(wParam), message - WM_CTLCOLORMSGBOX};
    LRESULT brush = 0;
    // A control that answers with no brush leaves the request to its parent.
    if (!OnWndMsg(WM_REFLECT_BASE + WM_CTLCOLOR, 0, reinterpret_cast<LPARAM>(&ctl), &brush) || brush == 0) return FALSE;
    if (pResult) *pResult = brush;
    return TRUE;
  }
  return FALSE;
}

BOOL CWnd::SendChildNotifyLastMsg(LRESULT* pResult) {
  return OnChildNotify(t_lastMessage.message, t_lastMessage.wParam, t_lastMessage.lParam, pResult);
}

int CWnd::RunModalLoop(DWORD /*dwFlags*/) {
  m_nFlags |= WF_MODALLOOP;
  MSG msg;
  while (m_nFlags & WF_CONTINUEMODAL) {
    if (!::GetMessageW(&msg, nullptr, 0, 0)) {
      // A quit request ends the modal loop and stays for the loop outside it.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      m_nModalResult = -1;
      break;
    }
    if (!AfxPreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (t_depth == 0) platform::afx::ClearTemporaryObjects();
  }
  m_nFlags &= ~WF_MODALLOOP;
  return m_nModalResult;
}

void CWnd::EndModalLoop(int nResult) {
  m_nModalResult = nResult;
  if (m_nFlags & WF_CONTINUEMODAL) {
    m_nFlags &= ~WF_CONTINUEMODAL;
    PostMessage(WM_NULL);
  }
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
  for (HWND hwnd = pMsg->hwnd; hwnd; hwnd = ::GetParent(hwnd)) {
    CWnd* w = FromHandlePermanent(hwnd);
    if (w && w->PreTranslateMessage(pMsg)) return TRUE;
    if (hwnd == hWndStop) break;
  }
  return FALSE;
}

BOOL CWnd::PreTranslateInput(LPMSG pMsg) {
  const bool key = pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST;
  const bool mouse = pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST;
  if (!key && !mouse) return FALSE;
  return ::IsDialogMessageW(m_hWnd, pMsg);
}

void CWnd::OnPaint() { Default(); }

HBRUSH CWnd::OnCtlColor(CDC* /*pDC*/, CWnd* pWnd, UINT /*nCtlColor*/) {
  LRESULT brush = 0;
  if (pWnd && pWnd->SendChildNotifyLastMsg(&brush)) return reinterpret_cast<HBRUSH>(brush);
  return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int /*nIDCtl*/, LPDRAWITEMSTRUCT lpDrawItemStruct) {
  CWnd* child = lpDrawItemStruct ? FromHandlePermanent(lpDrawItemStruct->hwndItem) : nullptr;
  if (child && child->SendChildNotifyLastMsg(nullptr)) return;
  Default();
}

void CWnd::OnTimer(UINT_PTR /*nIDEvent*/) { Default(); }
void CWnd::OnMouseMove(UINT /*nFlags*/, CPoint /*point*/) { Default(); }
void CWnd::OnLButtonDown(UINT /*nFlags*/, CPoint /*point*/) { Default(); }
void CWnd::OnLButtonUp(UINT /*nFlags*/, CPoint /*point*/) { Default(); }
BOOL CWnd::OnSetCursor(CWnd* /*pWnd*/, UINT /*nHitTest*/, UINT /*message*/) { return static_cast<BOOL>(Default()); }
void CWnd::OnKeyDown(UINT /*nChar*/, UINT /*nRepCnt*/, UINT /*nFlags*/) { Default(); }

void CWnd::OnNcDestroy() {
  const HWND hwnd = m_hWnd;
  const auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
  Default();
  // Give the window back its own procedure for whatever it still gets, then let go of it.
  if (m_pfnSuper && current == reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC))) {
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  }
  m_pfnSuper = nullptr;
  Detach();
  PostNcDestroy();
}

// --- Device contexts of windows ----------------------------------------------------------------

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd.load() : nullptr) { Attach(::BeginPaint(m_hWnd, &m_ps)); }

CPaintDC::~CPaintDC() {
  ::EndPaint(m_hWnd, &m_ps);
  Detach();
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd.load() : nullptr) { Attach(::GetDC(m_hWnd)); }

CClientDC::~CClientDC() { ::ReleaseDC(m_hWnd, Detach()); }
