// The dialog manager: every way of closing a dialog becomes its cancel command.
#include <gtest/gtest.h>

#include "platform/ui/dialog_template.h"
#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

Recorder* g_log = nullptr;
INT_PTR LoggingDialogProc(HWND hwnd, UINT m, WPARAM w, LPARAM l) {
  g_log->Handle(hwnd, m, w, l);
  return FALSE;
}

TEST(Dialog, EveryWayOfClosingBecomesTheCancelCommand) {
  HeadlessDesktop desk;
  const platform::ui::DialogItemTemplate items[] = {{IDCANCEL, u"button", u"", WS_VISIBLE | BS_OWNERDRAW, 0, 60, 20, 20, 16}};
  platform::ui::DialogTemplate t;
  t.style = WS_POPUP | WS_VISIBLE, t.cx = 120, t.cy = 80, t.items = items;
  platform::ui::RegisterDialogTemplate(9001, t);
  // Answers every message itself: the recorder's own default processing has no place in a dialog.
  Recorder log{[](HWND, UINT, WPARAM, LPARAM) -> std::optional<LRESULT> { return 0; }};
  g_log = &log;
  HWND d = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(9001), nullptr, LoggingDialogProc, 0);
  const std::function<void()> ways[] = {
      [&] { desk.Host().RequestClose(d); },  // the window manager's close
      [&] { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
      [&] {
        desk.Host().KeyDown(VK_MENU);
        desk.Host().TypeKey(VK_F4);
        desk.Host().KeyUp(VK_MENU);
      },
  };
  for (std::size_t i = 0; i < std::size(ways); ++i) {
    ways[i]();
    desk.Settle(d);
    ASSERT_EQ(log.Count(WM_COMMAND), i + 1) << "way " << i;
    EXPECT_EQ(log.Of(WM_COMMAND)[i].wParam, IDCANCEL);
    EXPECT_EQ(reinterpret_cast<HWND>(log.Of(WM_COMMAND)[i].lParam), GetDlgItem(d, IDCANCEL));
  }
  DestroyWindow(d);
}

}  // namespace
}  // namespace velmor::test
