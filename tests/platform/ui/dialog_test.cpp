// The dialog manager: templates, dialog units, focus, keys, closing, iconic state.
#include <gtest/gtest.h>

#include "platform/ui/dialog_template.h"
#include "platform/ui/internal.h"
#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

constexpr WORD kTemplate = 9001, kOtherTemplate = 9002;

const platform::ui::DialogItemTemplate kItems[] = {
    {1000, u"button", u"", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 10, 20, 40, 16},
    {IDCANCEL, u"button", u"", WS_VISIBLE | BS_OWNERDRAW, 0, 60, 20, 20, 16},
    {1001, u"static", u"text", WS_VISIBLE | SS_CENTER, 0, 10, 50, 80, 10},
};

platform::ui::DialogTemplate Template(DWORD style) {
  platform::ui::DialogTemplate t;
  t.style = style, t.cx = 120, t.cy = 80, t.items = kItems;
  t.fontFace = u"MS UI Gothic", t.pointSize = 9, t.charSet = 1;
  return t;
}

// Records the dialog's messages; WM_COMMAND IDCANCEL ends it with 77.
Recorder* g_log = nullptr;
INT_PTR LoggingDialogProc(HWND hwnd, UINT m, WPARAM w, LPARAM l) {
  g_log->Handle(hwnd, m, w, l);
  if (m == WM_COMMAND && LOWORD(w) == IDCANCEL) return EndDialog(hwnd, 77), TRUE;
  return FALSE;
}

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() {
    g_log = &log;
    platform::ui::RegisterDialogTemplate(kTemplate, Template(WS_POPUP | WS_VISIBLE | DS_SETFONT | DS_CENTER));
  }
  HWND Create() {
    HWND d = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(kTemplate), nullptr, LoggingDialogProc, 1234);
    desk.Settle(d);
    return d;
  }
  void Chord(UINT modifier, UINT key) {
    desk.Host().KeyDown(modifier);
    desk.Host().KeyDown(key);
    desk.Host().KeyUp(key);
    desk.Host().KeyUp(modifier);
  }

  HeadlessDesktop desk{SIZE{1000, 700}};
  Recorder log{[](HWND, UINT, WPARAM, LPARAM) -> std::optional<LRESULT> { return 0; }};
};

TEST_F(DialogTest, ATemplateMakesItsControlsInDialogUnitsOfItsFont) {
  HWND d = Create();
  ASSERT_EQ(log.Count(WM_INITDIALOG), 1u);
  EXPECT_EQ(log.Of(WM_INITDIALOG)[0].lParam, 1234);
  SIZE base{};  // one average character, in pixels
  ASSERT_TRUE(platform::ui::detail::DialogBaseUnits(d, &base));
  EXPECT_GT(base.cx, 3);
  EXPECT_GT(base.cy, 8);
  const auto pixels = [&base](LONG x, LONG y, LONG cx, LONG cy) {
    return RECT{MulDiv(x, base.cx, 4), MulDiv(y, base.cy, 8), MulDiv(x + cx, base.cx, 4), MulDiv(y + cy, base.cy, 8)};
  };
  RECT window;
  GetWindowRect(d, &window);
  for (const auto& item : kItems) {
    HWND c = GetDlgItem(d, item.id);
    ASSERT_NE(c, nullptr);
    RECT actual;
    GetWindowRect(c, &actual);
    EXPECT_EQ(platform::ui::detail::Offset(actual, -window.left, -window.top), pixels(item.x, item.y, item.cx, item.cy))
        << item.id;
  }
  RECT client;
  const RECT size = pixels(0, 0, 120, 80);
  GetClientRect(d, &client);
  EXPECT_EQ(client, size);
  EXPECT_EQ(window.left, (1000 - size.right) / 2);  // DS_CENTER
  EXPECT_EQ(window.top, (700 - size.bottom) / 2);
  EXPECT_EQ(desk.Host().State(d)->rect, window);
  DestroyWindow(d);
}

TEST_F(DialogTest, FocusGoesToTheFirstTabStopOrElseTheDialogAndKeysGoToTheFocus) {
  HWND d = Create();
  EXPECT_EQ(GetFocus(), GetDlgItem(d, 1000));
  Recorder rec;
  HWND focusTarget = MakeWindow(&rec, RECT{0, 0, 5, 5}, d, WS_VISIBLE);
  SetFocus(focusTarget);
  Chord(VK_SHIFT, 'Q');  // shifted or not, a letter key is its capital
  desk.Settle(d);
  std::vector<WPARAM> downs;
  for (const Seen& s : rec.Of(WM_KEYDOWN)) downs.push_back(s.wParam);
  EXPECT_EQ(downs, (std::vector<WPARAM>{VK_SHIFT, 'Q'}));
  EXPECT_EQ(rec.Count(WM_KEYUP), 2u);
  DestroyWindow(focusTarget);

  // With no tab stop left the dialog itself takes the keys.
  EnableWindow(GetDlgItem(d, 1000), FALSE);
  EXPECT_NE(GetFocus(), GetDlgItem(d, 1000));
  SendMessageW(d, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), d);
  desk.Host().TypeKey('X');
  desk.Settle(d);
  ASSERT_EQ(log.Of(WM_KEYDOWN).size(), 1u);
  EXPECT_EQ(log.Of(WM_KEYDOWN)[0].wParam, static_cast<WPARAM>('X'));
  DestroyWindow(d);
}

TEST_F(DialogTest, SpaceOnTheFocusedButtonPressesItAndItsReleaseClicks) {
  HWND d = Create();
  HWND button = GetDlgItem(d, 1000);
  ASSERT_EQ(GetFocus(), button);
  desk.Host().KeyDown(VK_SPACE);
  desk.Settle(d);
  EXPECT_NE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
  EXPECT_EQ(log.Count(WM_COMMAND), 0u);
  desk.Host().KeyUp(VK_SPACE);
  desk.Settle(d);
  EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
  ASSERT_EQ(log.Count(WM_COMMAND), 1u);
  EXPECT_EQ(log.Of(WM_COMMAND)[0].wParam, MAKEWPARAM(1000, BN_CLICKED));
  DestroyWindow(d);
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
    EXPECT_EQ(log.Of(WM_COMMAND).size(), i + 1) << "way " << i;
  }
  for (const Seen& s : log.Of(WM_COMMAND)) {
    EXPECT_EQ(LOWORD(s.wParam), IDCANCEL);
    EXPECT_EQ(reinterpret_cast<HWND>(s.lParam), GetDlgItem(d, IDCANCEL));
  }
  DestroyWindow(d);
}

TEST_F(DialogTest, MinimisingIsImmediateAndTheUsersRestoreRepaints) {
  HWND d = Create();
  EXPECT_FALSE(IsIconic(d));
  ShowWindow(d, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(d));
  EXPECT_EQ(desk.Host().CountRequests(platform::host::HeadlessHost::RequestKind::Iconify, d), 1u);
  desk.Settle(d);
  const std::size_t erases = log.Of(WM_ERASEBKGND).size();
  desk.Host().UserRestore(d);
  desk.Settle(d);
  EXPECT_FALSE(IsIconic(d));
  EXPECT_GT(log.Of(WM_ERASEBKGND).size(), erases);
  ASSERT_FALSE(log.Of(WM_SIZE).empty());
  EXPECT_EQ(log.Of(WM_SIZE).back().wParam, SIZE_RESTORED);
  DestroyWindow(d);
}

TEST_F(DialogTest, SetWindowPosNeverRaisesOrActivatesATopLevelWindow) {
  HWND first = Create();
  platform::ui::RegisterDialogTemplate(kOtherTemplate, Template(WS_POPUP | WS_VISIBLE | DS_SETFONT));
  HWND second = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(kOtherTemplate), nullptr, nullptr, 0);
  desk.Settle(second);
  ASSERT_EQ(desk.Host().ActiveWindow(), second);
  desk.Host().ClearRequests();
  SetWindowPos(first, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  desk.Settle(first);
  EXPECT_EQ(desk.Host().ActiveWindow(), second);
  EXPECT_TRUE(desk.Host().Requests().empty());
  DestroyWindow(second);
  DestroyWindow(first);
}

}  // namespace
}  // namespace velmor::test
