// The two system control classes: "button" and "static".
#include <optional>
#include <string>

#include "platform/ui/internal.h"

using namespace platform::ui::detail;

namespace {

struct ControlInfo {
  DWORD style = 0;
  UINT state = 0;
  bool pressed = false;
  HFONT font = nullptr;
  LONG_PTR id = 0;
  std::u16string text;
};

ControlInfo Info(HWND hwnd) {
  std::lock_guard g(Lock());
  auto w = FindLive(hwnd);
  return w ? ControlInfo{w->style, w->buttonState, w->buttonPressed, w->font, w->id, w->text} : ControlInfo{};
}

template <class F>
void Update(HWND hwnd, F&& change) {
  std::lock_guard g(Lock());
  if (auto w = FindLive(hwnd)) change(*w);
}

HWND Parent(HWND hwnd) {
  HWND parent = GetParent(hwnd);
  return parent ? parent : hwnd;
}

void PaintButton(HWND hwnd, HDC hdc, UINT action) {
  const ControlInfo info = Info(hwnd);
  RECT rc;
  GetClientRect(hwnd, &rc);
  // Only owner-drawn buttons are drawn: the program's one other button, its default OK, is never
  // shown.
  if ((info.style & BS_TYPEMASK) != BS_OWNERDRAW) return;
  if (info.font) SelectObject(hdc, info.font);
  const UINT state = ((info.state & BST_FOCUS) ? ODS_FOCUS : 0) | ((info.state & BST_PUSHED) ? ODS_SELECTED : 0) |
                     (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
  DRAWITEMSTRUCT dis{ODT_BUTTON, static_cast<UINT>(info.id), 0, action, state, hwnd, hdc, rc, 0};
  SendMessageW(Parent(hwnd), WM_DRAWITEM, static_cast<WPARAM>(info.id), reinterpret_cast<LPARAM>(&dis));
}

// The highlight state is drawn at once, outside WM_PAINT, as the button's own look changes.
void PaintButtonNow(HWND hwnd, UINT action) {
  if (!IsWindowVisible(hwnd)) return;
  HDC hdc = GetDC(hwnd);
  if (!hdc) return;
  PaintButton(hwnd, hdc, action);
  ReleaseDC(hwnd, hdc);
}

void PaintStatic(HWND hwnd, HDC hdc) {
  const ControlInfo info = Info(hwnd);
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (info.font) SelectObject(hdc, info.font);
  auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(Parent(hwnd), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd)));
  if (brush && brush != GetStockObject(NULL_BRUSH)) FillRect(hdc, &rc, brush);
  if (info.text.empty()) return;
  UINT format = DT_EXPANDTABS | DT_WORDBREAK | ((info.style & SS_TYPEMASK) == SS_CENTER ? DT_CENTER : DT_LEFT);
  if (info.style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if (info.style & SS_CENTERIMAGE) format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
  DrawTextW(hdc, info.text.c_str(), -1, &rc, format);
}

// Shows the button pressed. The caller has taken the capture; the press keeps it until Release.
void Press(HWND hwnd) {
  Update(hwnd, [](Window& w) { w.buttonPressed = true; });
  SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
}

// Ends a press; `click` when it ended where it clicks (the mouse over the button, or the key).
void Release(HWND hwnd, bool click) {
  const ControlInfo info = Info(hwnd);
  if (!info.pressed) return;
  Update(hwnd, [](Window& w) { w.buttonPressed = false; });
  if (!(info.state & BST_PUSHED)) {
    ReleaseCapture();
    return;
  }
  SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
  // The click goes out before the capture is released, so a handler that closes the window finds
  // the button as it was.
  if (click) {
    SendMessageW(Parent(hwnd), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(info.id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(hwnd));
  }
  if (GetCapture() == hwnd) ReleaseCapture();
}

// What both classes do alike: take a font (a redraw, erasing when `eraseOnFont`, if asked),
// draw everything in their paint through `paint`, and redraw after a new text. Nothing for any
// other message.
std::optional<LRESULT> CommonControlMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, BOOL eraseOnFont,
                                            void (*paint)(HWND, HDC)) {
  switch (message) {
    case WM_SETFONT:
      Update(hwnd, [&](Window& w) { w.font = reinterpret_cast<HFONT>(wParam); });
      if (LOWORD(static_cast<DWORD_PTR>(lParam))) InvalidateRect(hwnd, nullptr, eraseOnFont);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (HDC hdc = BeginPaint(hwnd, &ps)) {
        paint(hwnd, hdc);
        EndPaint(hwnd, &ps);
      }
      return 0;
    }
    case WM_SETTEXT: {
      const LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

namespace platform::ui::detail {

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto paint = [](HWND h, HDC dc) { PaintButton(h, dc, ODA_DRAWENTIRE); };
  if (auto common = CommonControlMessage(hwnd, message, wParam, lParam, FALSE, paint)) return *common;
  switch (message) {
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      SetFocus(hwnd);
      Press(hwnd);
      return 0;
    case WM_LBUTTONUP: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      Release(hwnd, PtInRect(&rc, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != FALSE);
      return 0;
    }
    // The keyboard's way of pressing the focused button: Space down presses it, Space up clicks.
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        SetCapture(hwnd);
        Press(hwnd);
      }
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE) Release(hwnd, true);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hwnd && Info(hwnd).pressed) {
        Update(hwnd, [](Window& w) { w.buttonPressed = false; });
        if (Info(hwnd).state & BST_PUSHED) SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
      }
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      Update(hwnd, [&](Window& w) { w.buttonState = WithBits(w.buttonState, BST_FOCUS, message == WM_SETFOCUS); });
      PaintButtonNow(hwnd, ODA_FOCUS);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case BM_GETSTATE:
      return static_cast<LRESULT>(Info(hwnd).state);
    case BM_SETSTATE:
      Update(hwnd, [&](Window& w) { w.buttonState = WithBits(w.buttonState, BST_PUSHED, wParam != 0); });
      PaintButtonNow(hwnd, ODA_SELECT);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (auto common = CommonControlMessage(hwnd, message, wParam, lParam, TRUE, PaintStatic)) return *common;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace platform::ui::detail
