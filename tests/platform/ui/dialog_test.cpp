// The dialog manager: templates, dialog units, focus, keys, closing, the modal loop, iconic state.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ui/dialog_template.h"
#include "tests/platform/ui/test_window.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

constexpr WORD kTemplate = 9001;
constexpr WORD kOtherTemplate = 9002;

const platform::ui::DialogItemTemplate kItems[] = {
    {1000, u"button", u"", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 10, 20, 40, 16},
    {IDCANCEL, u"button", u"", WS_VISIBLE | BS_OWNERDRAW, 0, 60, 20, 20, 16},
    {1001, u"static", u"text", WS_VISIBLE | SS_CENTER, 0, 10, 50, 80, 10},
};

platform::ui::DialogTemplate Template(DWORD style) {
  platform::ui::DialogTemplate t;
  t.style = style;
  t.cx = 120;
  t.cy = 80;
  t.fontFace = u"MS UI Gothic";
  t.pointSize = 9;
  t.charSet = 1;
  t.items = kItems;
  return t;
}

// Records the dialog's messages; WM_COMMAND IDCANCEL ends it with 77.
struct DialogLog {
  std::mutex mutex;
  std::vector<Seen> seen;
  LPARAM initParam = 0;
  std::vector<Seen> Of(UINT m) {
    std::lock_guard g(mutex);
    std::vector<Seen> out;
    std::copy_if(seen.begin(), seen.end(), std::back_inserter(out), [m](const Seen& s) { return s.message == m; });
    return out;
  }
};
DialogLog* g_log = nullptr;

INT_PTR LoggingDialogProc(HWND hwnd, UINT m, WPARAM w, LPARAM l) {
  {
    std::lock_guard g(g_log->mutex);
    g_log->seen.push_back(Seen{hwnd, m, w, l, std::this_thread::get_id()});
  }
  if (m == WM_INITDIALOG) g_log->initParam = l;
  if (m == WM_COMMAND && LOWORD(w) == IDCANCEL) {
    EndDialog(hwnd, 77);
    return TRUE;
  }
  return FALSE;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log;
    platform::ui::RegisterDialogTemplate(kTemplate, Template(WS_POPUP | WS_VISIBLE | DS_SETFONT | DS_CENTER));
  }
  void TearDown() override {
    platform::ui::UnregisterDialogTemplate(kTemplate);
    g_log = nullptr;
  }
  HWND Create() {
    HWND d = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(kTemplate), nullptr, LoggingDialogProc, 1234);
    desk.Settle(d);
    return d;
  }
  std::size_t Cancels() { return log.Of(WM_COMMAND).size(); }

  HeadlessDesktop desk{SIZE{1000, 700}};
  DialogLog log;
};

TEST_F(DialogTest, ATemplateMakesItsControlsInDialogUnitsOfItsFont) {
  HWND d = Create();
  EXPECT_EQ(log.initParam, 1234);
  RECT units{0, 0, 4, 8};  // one average character, in pixels
  ASSERT_TRUE(MapDialogRect(d, &units));
  EXPECT_GT(units.right, 3);
  EXPECT_GT(units.bottom, 8);
  for (const auto& item : kItems) {
    HWND c = GetDlgItem(d, item.id);
    ASSERT_NE(c, nullptr);
    RECT expected{item.x, item.y, item.x + item.cx, item.y + item.cy};
    MapDialogRect(d, &expected);
    RECT actual;
    GetWindowRect(c, &actual);
    MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual, expected) << item.id;
  }
  RECT client, window;
  GetClientRect(d, &client);
  RECT size{0, 0, 120, 80};
  MapDialogRect(d, &size);
  EXPECT_EQ(client, size);
  GetWindowRect(d, &window);
  EXPECT_EQ(window.left, (1000 - size.right) / 2);  // DS_CENTER
  EXPECT_EQ(window.top, (700 - size.bottom) / 2);
  EXPECT_EQ(desk.Host().State(d)->rect, window);
  DestroyWindow(d);
}

TEST_F(DialogTest, TheFirstTabStopGetsTheFocusAndKeysGoToTheFocus) {
  HWND d = Create();
  HWND first = GetDlgItem(d, 1000);
  EXPECT_EQ(GetFocus(), first);
  Recorder rec;
  HWND focusTarget = MakeWindow(&rec, RECT{0, 0, 5, 5}, d, WS_VISIBLE);
  SetFocus(focusTarget);
  desk.Host().KeyDown(VK_SHIFT);
  desk.Host().KeyDown('Q');  // shifted or not, a letter key is its capital
  desk.Host().KeyUp('Q');
  desk.Host().KeyUp(VK_SHIFT);
  desk.Settle(d);
  std::vector<WPARAM> downs;
  for (const Seen& s : rec.Of(WM_KEYDOWN)) downs.push_back(s.wParam);
  EXPECT_EQ(downs, (std::vector<WPARAM>{VK_SHIFT, 'Q'}));
  EXPECT_EQ(rec.Count(WM_KEYUP), 2u);
  DestroyWindow(d);
}

TEST_F(DialogTest, WithNoTabStopLeftTheDialogItselfTakesTheKeys) {
  HWND d = Create();
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

TEST_F(DialogTest, EveryWayOfClosingBecomesTheCancelCommand) {
  HWND d = Create();
  desk.Host().RequestClose(d);  // the window manager's close
  desk.Settle(d);
  EXPECT_EQ(Cancels(), 1u);
  PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
  desk.Settle(d);
  EXPECT_EQ(Cancels(), 2u);
  desk.Host().KeyDown(VK_MENU);  // Alt+F4
  desk.Host().KeyDown(VK_F4);
  desk.Host().KeyUp(VK_F4);
  desk.Host().KeyUp(VK_MENU);
  desk.Settle(d);
  EXPECT_EQ(Cancels(), 3u);
  for (const Seen& s : log.Of(WM_COMMAND)) {
    EXPECT_EQ(LOWORD(s.wParam), IDCANCEL);
    EXPECT_EQ(reinterpret_cast<HWND>(s.lParam), GetDlgItem(d, IDCANCEL));
  }
  DestroyWindow(d);
}

TEST_F(DialogTest, TheModalLoopEndsWithEndDialogsResultAndEscapeCancels) {
  INT_PTR result = 0;
  {
    WindowThread modal([&] { result = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplate), nullptr, LoggingDialogProc, 0); });
    HWND d = desk.Host().WaitForShownWindow();
    ASSERT_NE(d, nullptr);
    desk.Settle(d);
    desk.Host().TypeKey(VK_ESCAPE);
    ASSERT_TRUE(modal.WaitFinished());
    EXPECT_FALSE(IsWindow(d));
  }
  EXPECT_EQ(result, 77);
}

TEST_F(DialogTest, EndDialogFromAnotherThreadWakesTheLoop) {
  INT_PTR result = 0;
  WindowThread modal([&] { result = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplate), nullptr, nullptr, 0); });
  HWND d = desk.Host().WaitForShownWindow();
  ASSERT_NE(d, nullptr);
  desk.Settle(d);
  EndDialog(d, 5);
  ASSERT_TRUE(modal.WaitFinished());
  EXPECT_EQ(result, 5);
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
  platform::ui::UnregisterDialogTemplate(kOtherTemplate);
}

}  // namespace
}  // namespace velmor::test
