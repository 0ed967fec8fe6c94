// CCmdTarget, message maps and CWnd.
//
// A class with its own message handlers declares DECLARE_MESSAGE_MAP() and lists its handlers
// between BEGIN_MESSAGE_MAP(Class, Base) and END_MESSAGE_MAP(); each entry is checked against the
// handler's signature when the map compiles. A message not in the map goes to the base class's
// map, and finally to the window's default processing (Default()).
#pragma once

#include <atomic>

#include "platform/afx/cstring.h"
#include "platform/afx/gdi_objects.h"
#include "platform/afx/geometry.h"
#include "platform/ui/ui.h"

#define afx_msg

class CCmdTarget;
class CWnd;

using AFX_PMSG = BOOL (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;  // WM_COMMAND: the notification code
  UINT nID;    // WM_COMMAND: the first and last control or command id
  UINT nLastID;
  AFX_PMSG pfn;  // returns FALSE when the handler leaves the message unhandled
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// A colour request as a control receives it back from its parent (WM_CTLCOLOR reflection).
struct AFX_CTLCOLOR {
  HWND hWnd;
  HDC hDC;
  UINT nCtlType;
};

inline constexpr UINT CTLCOLOR_STATIC = 6;

// Messages a parent hands back to the control they are about.
inline constexpr UINT WM_REFLECT_BASE = 0xBC00;
inline constexpr UINT CN_COMMAND = 0;
inline constexpr UINT ID_HELP = 0xE146;

#define DECLARE_MESSAGE_MAP()                         \
 protected:                                           \
  static const AFX_MSGMAP* GetThisMessageMap();       \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                   \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                              \
    using ThisClass [[maybe_unused]] = theClass;                                 \
    using TheBaseClass = baseClass;                                              \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                   \
  { 0, 0, 0, 0, nullptr }                                                                   \
  }                                                                                         \
  ;                                                                                         \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                       \
  }

// The entry macros. Each wraps its handler in a function that unpacks the message parameters.
#define VELMOR_AFX_HANDLER [](CCmdTarget * afxTarget, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam, \
                              [[maybe_unused]] LRESULT * afxResult) -> BOOL
#define VELMOR_AFX_SELF static_cast<ThisClass*>(afxTarget)
#define VELMOR_AFX_POINT CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))
// An entry for `message` whose handler runs the statements that follow.
#define VELMOR_AFX_ENTRY(message, ...) {message, 0, 0, 0, VELMOR_AFX_HANDLER { __VA_ARGS__; return TRUE; }},
#define VELMOR_AFX_RESULT(message, ...) VELMOR_AFX_ENTRY(message, *afxResult = __VA_ARGS__)
#define VELMOR_AFX_MOUSE(message, memberFxn) \
  VELMOR_AFX_ENTRY(message, VELMOR_AFX_SELF->memberFxn(static_cast<UINT>(wParam), VELMOR_AFX_POINT))
#define VELMOR_AFX_CTL reinterpret_cast<AFX_CTLCOLOR*>(lParam)

#define ON_WM_PAINT() VELMOR_AFX_ENTRY(WM_PAINT, VELMOR_AFX_SELF->OnPaint())
#define ON_WM_ERASEBKGND() \
  VELMOR_AFX_RESULT(WM_ERASEBKGND, VELMOR_AFX_SELF->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam))))
#define ON_WM_QUERYDRAGICON() \
  VELMOR_AFX_RESULT(WM_QUERYDRAGICON, reinterpret_cast<LRESULT>(VELMOR_AFX_SELF->OnQueryDragIcon()))
#define ON_WM_CTLCOLOR()                                                                       \
  VELMOR_AFX_RESULT(WM_CTLCOLOR, reinterpret_cast<LRESULT>(VELMOR_AFX_SELF->OnCtlColor(        \
                                     CDC::FromHandle(VELMOR_AFX_CTL->hDC), CWnd::FromHandle(VELMOR_AFX_CTL->hWnd), \
                                     VELMOR_AFX_CTL->nCtlType)))
#define ON_WM_CTLCOLOR_REFLECT()                                                                   \
  VELMOR_AFX_RESULT(WM_REFLECT_BASE + WM_CTLCOLOR,                                                 \
                    reinterpret_cast<LRESULT>(VELMOR_AFX_SELF->CtlColor(CDC::FromHandle(VELMOR_AFX_CTL->hDC), \
                                                                        VELMOR_AFX_CTL->nCtlType)))
#define ON_WM_DRAWITEM() \
  VELMOR_AFX_ENTRY(WM_DRAWITEM, VELMOR_AFX_SELF->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)))
#define ON_WM_TIMER() VELMOR_AFX_ENTRY(WM_TIMER, VELMOR_AFX_SELF->OnTimer(static_cast<UINT_PTR>(wParam)))
#define ON_WM_MOUSEMOVE() VELMOR_AFX_MOUSE(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() VELMOR_AFX_MOUSE(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() VELMOR_AFX_MOUSE(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_SETCURSOR()                                                                                     \
  VELMOR_AFX_RESULT(WM_SETCURSOR, VELMOR_AFX_SELF->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), \
                                                               LOWORD(static_cast<DWORD_PTR>(lParam)),          \
                                                               HIWORD(static_cast<DWORD_PTR>(lParam))))
#define ON_WM_KEYDOWN()                                                                                  \
  VELMOR_AFX_ENTRY(WM_KEYDOWN, VELMOR_AFX_SELF->OnKeyDown(static_cast<UINT>(wParam), LOWORD(static_cast<DWORD_PTR>(lParam)), \
                                                          HIWORD(static_cast<DWORD_PTR>(lParam))))
#define ON_WM_NCDESTROY() VELMOR_AFX_ENTRY(WM_NCDESTROY, VELMOR_AFX_SELF->OnNcDestroy())
// A handler of any message, given its two parameters: LRESULT Handler(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) VELMOR_AFX_RESULT(message, VELMOR_AFX_SELF->memberFxn(wParam, lParam))
#define ON_COMMAND(id, memberFxn) ON_CONTROL(CN_COMMAND, id, memberFxn)
#define ON_CONTROL(code, id, memberFxn) \
  {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), VELMOR_AFX_HANDLER { VELMOR_AFX_SELF->memberFxn(); return TRUE; }},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

class CCmdTarget : public CObject {
 public:
  // Runs the command handler for (id, code) of this object's maps; FALSE when there is none.
  virtual BOOL OnCmdMsg(UINT nID, int nCode);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  // The first entry of this object's maps (derived first) for the message.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code = 0, UINT id = 0) const;
};

// Modal loop flags.
inline constexpr UINT WF_MODALLOOP = 0x0004;
inline constexpr UINT WF_CONTINUEMODAL = 0x0008;

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Worker threads send to the window through this handle while the window thread clears it as
  // the window goes, so it is read and written atomically.
  std::atomic<HWND> m_hWnd = nullptr;

  operator HWND() const { return m_hWnd; }  // NOLINT(google-explicit-constructor)
  // The object attached to the window, or one that borrows the handle until the current
  // message is done.
  static CWnd* FromHandle(HWND hwnd);
  static CWnd* FromHandlePermanent(HWND hwnd);
  BOOL Attach(HWND hwnd);
  HWND Detach();
  // Attaches the object and routes the window's messages through its message map; messages it
  // does not handle go on to the window's previous procedure.
  BOOL SubclassWindow(HWND hwnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  HWND UnsubclassWindow();
  virtual BOOL DestroyWindow();

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

  void SetWindowText(LPCWSTR text);
  void GetWindowText(CString& text) const;

  BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void GetClientRect(LPRECT rect) const;
  void GetWindowRect(LPRECT rect) const;
  void ScreenToClient(POINT* point) const;

  void Invalidate(BOOL bErase = TRUE);
  void InvalidateRect(LPCRECT rect, BOOL bErase = TRUE);
  BOOL RedrawWindow(LPCRECT rectUpdate = nullptr, HRGN rgnUpdate = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  void UpdateWindow();

  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL ShowWindow(int nCmdShow);
  BOOL IsIconic() const;
  CWnd* SetCapture();
  static CWnd* GetCapture();
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
  BOOL KillTimer(UINT_PTR nIDEvent);

  // The default processing of the message being handled.
  LRESULT Default();
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  // Message reflection: the parent hands a control's own request (owner drawing, colours)
  // back to it. TRUE when the control handled it.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  BOOL SendChildNotifyLastMsg(LRESULT* pResult = nullptr);

  int RunModalLoop(DWORD dwFlags = 0);
  BOOL ContinueModal() const { return (m_nFlags & WF_CONTINUEMODAL) != 0; }
  void EndModalLoop(int nResult);
  // Offers the message to PreTranslateMessage of each framework window from its target up to
  // `hWndStop` (or the top), first one that consumes it wins.
  static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

 protected:
  virtual void PostNcDestroy() {}
  BOOL PreTranslateInput(LPMSG pMsg);

  afx_msg void OnPaint();
  afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
  afx_msg void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct);
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnNcDestroy();

  WNDPROC m_pfnSuper = nullptr;
  int m_nModalResult = 0;
  UINT m_nFlags = 0;

  DECLARE_MESSAGE_MAP()
};

// The window procedure of every framework window.
LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Offers a message of the thread's loop to the framework windows on its way (see
// CWnd::WalkPreTranslateTree), stopping at the application's main window.
BOOL AfxPreTranslateMessage(MSG* pMsg);
// The window procedures of the next window this thread creates become the object's.
void AfxHookWindowCreate(CWnd* pWnd);

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd = nullptr;
};

class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* pWnd);
  ~CClientDC() override;

 protected:
  HWND m_hWnd = nullptr;
};
