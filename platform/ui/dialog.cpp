// The dialog manager: templates, dialog creation, the modal loop and default dialog processing.
#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/internal.h"

using namespace platform::ui::detail;

namespace {

// A registered template: a copy whose views point into texts of its own. Each view covers a
// whole string, so its data() ends with the string's terminating zero.
struct OwnedTemplate : platform::ui::DialogTemplate {
  std::deque<std::u16string> texts;  // a deque: its strings stay where they are as it grows
  std::vector<platform::ui::DialogItemTemplate> itemCopies;
  std::u16string_view Own(std::u16string_view text) { return texts.emplace_back(text); }
};

struct Registry {
  std::mutex mutex;
  std::map<WORD, std::shared_ptr<const OwnedTemplate>> templates;
};
Registry& Templates() {
  static auto* registry = new Registry;
  return *registry;
}

std::shared_ptr<const OwnedTemplate> FindTemplate(LPCWSTR name) {
  if (!name || !IS_INTRESOURCE(name)) return nullptr;
  const auto id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
  Registry& r = Templates();
  std::lock_guard g(r.mutex);
  auto it = r.templates.find(id);
  return it == r.templates.end() ? nullptr : it->second;
}

// Measures the dialog font the way dialog units are defined: the average width of the Latin
// letters and the font's height. Without a usable font the units of a 9-point face are taken.
SIZE MeasureBaseUnits(HFONT font) {
  SIZE units{6, 12};
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return units;
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  if (GetTextMetricsW(dc, &tm) && tm.tmAveCharWidth > 0 && tm.tmHeight > 0) units = SIZE{tm.tmAveCharWidth, tm.tmHeight};
  if (old) SelectObject(dc, old);
  DeleteDC(dc);
  return units;
}

std::shared_ptr<Window> LiveDialog(HWND hwnd) {
  auto w = FindLive(hwnd);
  return (w && w->dialog) ? w : nullptr;
}

bool CanFocus(const Window& w) { return VisibleLocked(w) && EnabledLocked(w) && (w.style & WS_TABSTOP); }

// The visible, enabled tab stop after (or before) `from`; without `from`, the first (or last).
HWND NextTabStop(HWND dialog, HWND from, bool backwards) {
  std::lock_guard g(Lock());
  auto d = FindLive(dialog);
  if (!d || d->children.empty()) return nullptr;
  const auto& list = d->children;
  const auto n = static_cast<std::ptrdiff_t>(list.size());
  std::ptrdiff_t start = -1;
  for (std::ptrdiff_t i = 0; i < n; ++i) {
    if (list[static_cast<std::size_t>(i)]->handle == from) start = i;
  }
  for (std::ptrdiff_t step = 1; step <= n; ++step) {
    std::ptrdiff_t i = start < 0 ? (backwards ? n - step : step - 1) : (start + (backwards ? -step : step));
    i = ((i % n) + n) % n;
    if (CanFocus(*list[static_cast<std::size_t>(i)])) return list[static_cast<std::size_t>(i)]->handle;
  }
  return nullptr;
}

// Gives the focus to the control that had it last, or to the first tab stop. With neither, keys
// go to the dialog itself, as they go to any top-level window without a focus.
void RestoreDialogFocus(HWND dialog) {
  HWND target = nullptr;
  {
    std::lock_guard g(Lock());
    auto d = LiveDialog(dialog);
    if (!d) return;
    auto last = FindLive(d->dialog->lastFocus);
    if (last && IsAncestor(*d, *last) && VisibleLocked(*last) && EnabledLocked(*last)) target = last->handle;
  }
  if (!target) target = NextTabStop(dialog, nullptr, false);
  if (target) SetFocus(target);
}

HWND CreateFromTemplate(HINSTANCE instance, const OwnedTemplate& t, HWND parent, DLGPROC proc, LPARAM param) {
  HFONT font = nullptr;
  bool ownFont = false;
  if (t.style & DS_SETFONT) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(t.pointSize, 96, 72);
    lf.lfWeight = t.weight;
    lf.lfItalic = t.italic;
    lf.lfCharSet = t.charSet;
    const std::size_t n = std::min<std::size_t>(t.fontFace.size(), LF_FACESIZE - 1);
    std::copy_n(t.fontFace.data(), n, lf.lfFaceName);
    lf.lfFaceName[n] = 0;
    font = CreateFontIndirectW(&lf);
    ownFont = font != nullptr;
  }
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const SIZE base = MeasureBaseUnits(font);
  auto px = [&](short v) { return MulDiv(v, base.cx, 4); };
  auto py = [&](short v) { return MulDiv(v, base.cy, 8); };

  int x = px(t.x), y = py(t.y);
  const int cx = px(t.cx), cy = py(t.cy);
  const bool child = (t.style & WS_CHILD) != 0;
  if ((t.style & DS_CENTER) && !child) {
    const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    x = (screen.cx - cx) / 2;
    y = (screen.cy - cy) / 2;
  }
  HWND hwnd = CreateWindowExW(t.exStyle, u"#32770", t.caption.data(), t.style & ~WS_VISIBLE, x, y, cx, cy,
                              child ? parent : nullptr, nullptr, instance, nullptr);
  if (!hwnd) {
    if (ownFont) DeleteObject(font);
    return nullptr;
  }
  {
    std::lock_guard g(Lock());
    auto w = LiveDialog(hwnd);
    if (w) {
      w->dialog->proc = proc;
      w->dialog->font = ownFont ? font : nullptr;
      w->font = font;
    }
  }
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  for (const platform::ui::DialogItemTemplate& item : t.items) {
    HWND control = CreateWindowExW(item.exStyle, item.className.data(), item.text.data(), item.style | WS_CHILD,
                                   px(item.x), py(item.y), px(item.cx), py(item.cy), hwnd,
                                   reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(item.id)), instance, nullptr);
    if (!control) {
      DestroyWindow(hwnd);
      return nullptr;
    }
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  const HWND first = NextTabStop(hwnd, nullptr, false);
  const LRESULT focusDefault = SendMessageW(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
  if (!IsWindow(hwnd)) return nullptr;
  if (focusDefault) RestoreDialogFocus(hwnd);
  bool ended = false;
  {
    std::lock_guard g(Lock());
    if (auto w = LiveDialog(hwnd)) ended = w->dialog->ended;
  }
  if ((t.style & WS_VISIBLE) && !ended) ShowWindow(hwnd, SW_SHOWNORMAL);
  return hwnd;
}

}  // namespace

namespace platform::ui {

void RegisterDialogTemplate(WORD id, const DialogTemplate& dialog) {
  auto t = std::make_shared<OwnedTemplate>();
  static_cast<DialogTemplate&>(*t) = dialog;
  t->caption = t->Own(dialog.caption);
  t->fontFace = t->Own(dialog.fontFace);
  for (DialogItemTemplate item : dialog.items) {
    item.className = t->Own(item.className);
    item.text = t->Own(item.text);
    t->itemCopies.push_back(item);
  }
  t->items = t->itemCopies;
  Registry& r = Templates();
  std::lock_guard g(r.mutex);
  r.templates[id] = std::move(t);
}

}  // namespace platform::ui

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
  auto t = FindTemplate(templateName);
  if (!t) return platform::FailWith(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
  return CreateFromTemplate(instance, *t, parent, proc, param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  std::lock_guard g(Lock());
  auto w = LiveDialog(dialog);
  if (!w) return platform::FailWith(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  w->dialog->ended = true;
  w->dialog->result = result;
  // A loop asleep in its wait must see the end: give it a message to wake for.
  PostLocked(*w->queue, MSG{dialog, WM_NULL, 0, 0, 0, POINT{}});
  return TRUE;
}

BOOL IsDialogMessageW(HWND dialog, MSG* msg) {
  if (!msg || !msg->hwnd || !IsWindow(dialog)) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  // Tab moves the focus; the program's dialog takes Enter and Escape before they come here.
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) {
    const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    if (HWND next = NextTabStop(dialog, GetFocus(), back)) SetFocus(next);
    return TRUE;
  }
  TranslateMessage(msg);
  DispatchMessageW(msg);
  return TRUE;
}

LRESULT DefDlgProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  {
    std::lock_guard g(Lock());
    if (auto w = LiveDialog(hwnd)) proc = w->dialog->proc;
  }
  if (proc) {
    const INT_PTR handled = proc(hwnd, message, wParam, lParam);
    if (handled) {
      // A colour request, WM_INITDIALOG and WM_QUERYDRAGICON answer with their result; any
      // other message's result of its own is not kept.
      const bool keepsResult = platform::ui::IsColorRequest(message) || message == WM_INITDIALOG || message == WM_QUERYDRAGICON;
      return keepsResult ? handled : 0;
    }
  }
  switch (message) {
    case WM_ERASEBKGND:
    case WM_ICONERASEBKGND: {
      auto hdc = reinterpret_cast<HDC>(wParam);
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(hwnd, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hwnd)));
      if (!brush) brush = reinterpret_cast<HBRUSH>(DefWindowProcW(hwnd, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hwnd)));
      RECT rc;
      GetClientRect(hwnd, &rc);
      if (hdc && brush) FillRect(hdc, &rc, brush);
      return 1;
    }
    case WM_CLOSE:
      // Closing a dialog is cancelling it: the same command as its Cancel button.
      PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) RestoreDialogFocus(hwnd);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

