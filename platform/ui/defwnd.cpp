// Default message processing.
#include <algorithm>

#include "platform/base/errors.h"
#include "platform/ui/internal.h"

using namespace platform::ui::detail;

namespace {

LRESULT DefaultControlColors(UINT message, HDC hdc) {
  const bool white = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
  const int background = white ? COLOR_WINDOW : COLOR_BTNFACE;
  if (hdc) {
    SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(hdc, GetSysColor(background));
  }
  return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

// The window's text, kept by the window system: set at creation and by WM_SETTEXT (a top-level
// window's text is its title on the host too).
LRESULT TextMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
        std::lock_guard g(Lock());
        if (auto w = FindLive(hwnd)) w->text = cs->lpszName;
      }
      return TRUE;
    }
    case WM_SETTEXT: {
      const auto* text = reinterpret_cast<LPCWSTR>(lParam);
      bool top = false;
      std::u16string copy;
      {
        std::lock_guard g(Lock());
        auto w = FindLive(hwnd);
        if (!w) return FALSE;
        w->text = text ? std::u16string(text) : std::u16string();
        top = w->IsTop();
        copy = w->text;
      }
      if (top) {
        if (auto host = QueueHost()) host->SetTitle(hwnd, copy);
      }
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!buffer || wParam == 0) return 0;
      std::lock_guard g(Lock());
      auto w = FindLive(hwnd);
      if (!w) {
        buffer[0] = 0;
        return 0;
      }
      const std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(wParam - 1));
      std::copy_n(w->text.data(), n, buffer);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    default: {  // WM_GETTEXTLENGTH
      std::lock_guard g(Lock());
      auto w = FindLive(hwnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
  }
}

// No class has a background brush: the default erase draws nothing.
LRESULT PaintMessage(HWND hwnd, UINT message) {
  if (message != WM_PAINT) return 0;
  PAINTSTRUCT ps;
  if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
  return 0;
}

// The pointer: which part of the window it is over, the cursor it shows there, the caption drag,
// and the end of a mouse mode.
LRESULT MouseMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR: {
      // The parent may decide first; otherwise the client area shows the arrow.
      if (HWND parent = GetParent(hwnd)) {
        if (SendMessageW(parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
      }
      if (static_cast<SHORT>(LOWORD(static_cast<DWORD_PTR>(lParam))) != HTCLIENT) return FALSE;
      SetCursor(LoadCursorW(nullptr, IDC_ARROW));
      return TRUE;
    }
    case WM_NCLBUTTONDOWN:
      if (wParam == HTCAPTION) BeginWindowMove(hwnd);
      return 0;
    default:  // WM_CANCELMODE
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
  }
}

// Closing, from the window manager and Alt+F4, becomes WM_CLOSE to the top-level window, which
// the dialog answers (no other window of the program is closed).
LRESULT WindowCommand(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SYSKEYDOWN) {
    if (wParam == VK_F4 && (lParam & (LPARAM{1} << 29))) {
      PostMessageW(GetAncestorRoot(hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
  } else if ((wParam & 0xFFF0) == SC_CLOSE) {  // WM_SYSCOMMAND
    SendMessageW(GetAncestorRoot(hwnd), WM_CLOSE, 0, 0);
  }
  return 0;
}

// The icons of a top-level window (also the host's) and the font a window draws with.
LRESULT IconOrFontMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETICON: {
      HICON previous = nullptr;
      HICON big = nullptr, small = nullptr;
      {
        std::lock_guard g(Lock());
        auto w = FindLive(hwnd);
        if (!w || !w->top) return 0;
        HICON& slot = wParam == ICON_BIG ? w->top->bigIcon : w->top->smallIcon;
        previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        big = w->top->bigIcon;
        small = w->top->smallIcon;
      }
      if (auto host = QueueHost()) host->SetIcon(hwnd, big, small);
      return reinterpret_cast<LRESULT>(previous);
    }
    default: {  // WM_SETFONT
      std::lock_guard g(Lock());
      if (auto w = FindLive(hwnd)) w->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    }
  }
}

}  // namespace

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (platform::ui::IsColorRequest(message)) return DefaultControlColors(message, reinterpret_cast<HDC>(wParam));
  switch (message) {
    case WM_NCCREATE:
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
      return TextMessage(hwnd, message, wParam, lParam);
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_ICONERASEBKGND:
      return PaintMessage(hwnd, message);
    case WM_SETCURSOR:
    case WM_NCLBUTTONDOWN:
    case WM_CANCELMODE:
      return MouseMessage(hwnd, message, wParam, lParam);
    case WM_SYSCOMMAND:
    case WM_SYSKEYDOWN:
      return WindowCommand(hwnd, message, wParam, lParam);
    case WM_SETICON:
    case WM_SETFONT:
      return IconOrFontMessage(hwnd, message, wParam, lParam);
    default:
      return 0;
  }
}
