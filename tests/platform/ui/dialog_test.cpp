// The dialog manager: templates in dialog units, focus, closing, minimising.
#include <gtest/gtest.h>

#include "platform/ui/dialog_template.h"
#include "platform/ui/internal.h"
#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

constexpr WORD kTemplate = 9001;
const platform::ui::DialogItemTemplate kItems[] = {
    {1000, u"button", u"", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 10, 20, 40, 16},
    {IDCANCEL, u"button", u"", WS_VISIBLE | BS_OWNERDRAW, 0, 60, 20, 20, 16},
    {1001, u"static", u"text", WS_VISIBLE | SS_CENTER, 0, 10, 50, 80, 10},
};

// Records the dialog's messages; WM_COMMAND IDCANCEL ends it.
Recorder* g_log = nullptr;
INT_PTR LoggingDialogProc(HWND hwnd, UINT m, WPARAM w, LPARAM l) {
  g_log->Handle(hwnd, m, w, l);
  if (m == WM_COMMAND && LOWORD(w) == IDCANCEL) return EndDialog(hwnd, 77), TRUE;
  return FALSE;
}

class DialogTest : public ::testing::Test {
 protected:
  HWND Create() {
    platform::ui::DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT | DS_CENTER, t.cx = 120, t.cy = 80, t.items = kItems;
    t.fontFace = u"MS UI Gothic", t.pointSize = 9, t.charSet = 1;
    platform::ui::RegisterDialogTemplate(kTemplate, t);
    g_log = &log;
    HWND d = made.emplace_back(CreateDialogParamW(nullptr, MAKEINTRESOURCEW(kTemplate), nullptr, LoggingDialogProc, 1234));
    desk.Settle(d);
    return d;
  }
  void TearDown() override {
    for (HWND d : made) DestroyWindow(d);
  }
  void Chord(UINT modifier, UINT key) {
    desk.Host().KeyDown(modifier);
    desk.Host().TypeKey(key);
    desk.Host().KeyUp(modifier);
  }

  HeadlessDesktop desk{SIZE{1000, 700}};
  std::vector<HWND> made;
  Recorder log{[](HWND, UINT, WPARAM, LPARAM) -> std::optional<LRESULT> { return 0; }};
};

TEST_F(DialogTest, ATemplateMakesItsControlsInDialogUnitsOfItsFontCentredOnTheScreen) {
  HWND d = Create();
  EXPECT_EQ(log.Of(WM_INITDIALOG).at(0).lParam, 1234);
  SIZE base{};  // one average character of the dialog's font, in pixels
  ASSERT_TRUE(platform::ui::detail::DialogBaseUnits(d, &base));
  EXPECT_GT(base.cx, 3);
  EXPECT_GT(base.cy, 8);
  const auto pixels = [&base](LONG x, LONG y, LONG cx, LONG cy) {
    return RECT{MulDiv(x, base.cx, 4), MulDiv(y, base.cy, 8), MulDiv(x + cx, base.cx, 4), MulDiv(y + cy, base.cy, 8)};
  };
  RECT window, client, item;
  GetWindowRect(d, &window);
  for (const auto& i : kItems) {
    GetWindowRect(GetDlgItem(d, i.id), &item);
    EXPECT_EQ(platform::ui::detail::Offset(item, -window.left, -window.top), pixels(i.x, i.y, i.cx, i.cy)) << i.id;
  }
  GetClientRect(d, &client);
  EXPECT_EQ(client, pixels(0, 0, 120, 80));
  EXPECT_EQ(window.left, (1000 - client.right) / 2);
  EXPECT_EQ(window.top, (700 - client.bottom) / 2);
  EXPECT_EQ(desk.Host().State(d)->rect, window);
}

// The first tab stop takes the focus (and Space on it clicks) in the settings-launch test.
TEST_F(DialogTest, WithNoTabStopLeftTheDialogItselfTakesTheKeys) {
  HWND d = Create();
  EnableWindow(GetDlgItem(d, 1000), FALSE);
  SendMessageW(d, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), d);
  desk.Host().TypeKey('X');
  desk.Settle(d);
  ASSERT_EQ(log.Count(WM_KEYDOWN), 1u);
  EXPECT_EQ(log.Of(WM_KEYDOWN)[0].wParam, WPARAM{'X'});
}

TEST_F(DialogTest, EveryWayOfClosingBecomesTheCancelCommand) {
  HWND d = Create();
  const std::function<void()> ways[] = {
      [&] { desk.Host().RequestClose(d); },  // the window manager's close
      [&] { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
      [&] { Chord(VK_MENU, VK_F4); },
  };
  for (std::size_t i = 0; i < std::size(ways); ++i) {
    ways[i]();
    desk.Settle(d);
    ASSERT_EQ(log.Count(WM_COMMAND), i + 1) << "way " << i;
    EXPECT_EQ(log.Of(WM_COMMAND)[i].wParam, IDCANCEL);
    EXPECT_EQ(reinterpret_cast<HWND>(log.Of(WM_COMMAND)[i].lParam), GetDlgItem(d, IDCANCEL));
  }
}

TEST_F(DialogTest, MinimisingIsImmediateAndTheUsersRestoreRepaints) {
  HWND d = Create();
  ShowWindow(d, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(d));
  EXPECT_TRUE(desk.Host().State(d)->iconic);
  desk.Settle(d);
  const std::size_t erases = log.Count(WM_ERASEBKGND);
  desk.Host().UserRestore(d);
  desk.Settle(d);
  EXPECT_FALSE(IsIconic(d));
  EXPECT_GT(log.Count(WM_ERASEBKGND), erases);
  EXPECT_EQ(log.Of(WM_SIZE).back().wParam, SIZE_RESTORED);
}

}  // namespace
}  // namespace velmor::test
