// The framework: message maps, data exchange, the modal loop, CString, drawing objects and the
// application object. Reflection to control objects is checked with the controls (tests/controls).
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>

#include "platform/afx/afx.h"
#include "platform/ui/dialog_template.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

using std::chrono::milliseconds;

constexpr WORD kDialogId = 9300;
constexpr int kButtonId = 1000;
const platform::ui::DialogItemTemplate kItems[] = {
    {kButtonId, u"button", u"b", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 10, 10, 40, 20},
};

// Counts timers in its own handler; the derived dialog below adds none of its own.
class BaseDialog : public CDialog {
 public:
  BaseDialog() : CDialog(kDialogId) {}
  std::atomic<int> baseTimers{0};

 protected:
  afx_msg void OnTimer(UINT_PTR /*nIDEvent*/) { ++baseTimers; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(BaseDialog, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

class TestDialog : public BaseDialog {
 public:
  CButton m_button;
  std::atomic<int> exchanges{0};
  std::atomic<int> helloCommands{0};
  std::mutex mutex;
  std::map<std::pair<UINT, HWND>, int> offered;  // (message, target of a key) -> times offered to PreTranslateMessage

  int Offered(UINT m, HWND keyTarget = nullptr) {
    std::lock_guard g(mutex);
    return offered[{m, keyTarget}];
  }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    ++exchanges;
    DDX_Control(pDX, kButtonId, m_button);
  }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    {
      std::lock_guard g(mutex);
      ++offered[{pMsg->message, pMsg->message == WM_KEYDOWN ? pMsg->hwnd : nullptr}];
    }
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE) return TRUE;
    return BaseDialog::PreTranslateMessage(pMsg);
  }
  afx_msg void OnHello() { ++helloCommands; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(TestDialog, BaseDialog)
  ON_COMMAND(4242, OnHello)
END_MESSAGE_MAP()

class AfxDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;
    t.cx = 120;
    t.cy = 80;
    t.fontFace = u"MS UI Gothic";
    t.pointSize = 9;
    t.items = kItems;
    platform::ui::RegisterDialogTemplate(kDialogId, t);
    thread = std::make_unique<WindowThread>([this] { result = dlg.DoModal(); });
    hwnd = desk.Host().WaitForShownWindow();
    ASSERT_NE(hwnd, nullptr);
    desk.Settle(hwnd);
  }
  void TearDown() override {
    if (IsWindow(hwnd)) desk.Host().RequestClose(hwnd);
    EXPECT_TRUE(thread->WaitFinished());
  }

  HeadlessDesktop desk;
  TestDialog dlg;
  std::unique_ptr<WindowThread> thread;
  HWND hwnd = nullptr;
  INT_PTR result = 0;
};

TEST_F(AfxDialogTest, TheModalLoopOffersEveryMessageOnItsWayToPreTranslateMessage) {
  EXPECT_GT(dlg.Offered(WM_PAINT), 0);
  SetTimer(hwnd, 1, 100, nullptr);
  desk.Advance(milliseconds(100), hwnd);
  EXPECT_EQ(dlg.Offered(WM_TIMER), 1);
  EXPECT_EQ(dlg.baseTimers, 1);  // the base class's handler: the derived map has none
  desk.Host().TypeKey('Q');
  desk.Settle(hwnd);
  // The key went to the focused button; the walk up the tree offered it to the dialog too.
  EXPECT_EQ(dlg.Offered(WM_KEYDOWN, dlg.m_button.m_hWnd), 1);
  desk.Host().TypeKey(VK_ESCAPE);  // consumed before the dialog manager could cancel
  desk.Settle(hwnd);
  EXPECT_TRUE(IsWindow(hwnd));
  PostMessageW(hwnd, WM_COMMAND, 4242, 0);
  desk.Settle(hwnd);
  EXPECT_EQ(dlg.helloCommands, 1);
}

TEST_F(AfxDialogTest, DataExchangeAttachesOnceAndTheEndOfTheDialogDetaches) {
  EXPECT_EQ(dlg.exchanges, 1);
  const HWND button = dlg.m_button.m_hWnd;
  EXPECT_EQ(button, GetDlgItem(hwnd, kButtonId));
  EXPECT_EQ(CWnd::FromHandlePermanent(button), &dlg.m_button);
  platform::ui::CallOnWindowThread(hwnd, [this]() -> LRESULT { return dlg.UpdateData(FALSE); });
  EXPECT_EQ(dlg.m_button.m_hWnd, button);
  desk.Host().RequestClose(hwnd);
  ASSERT_TRUE(thread->WaitFinished());
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dlg.m_button.m_hWnd, nullptr);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandlePermanent(button), nullptr);
}

TEST(CStringTest, FormatsAppendsAndComparesIgnoringTheCaseOfAToZ) {
  CString s, xj;
  s.Format(u"%c", static_cast<UINT>('Q'));
  xj = u"XJ";
  s += xj;
  EXPECT_EQ(s.CompareNoCase(u"qxj"), 0);
  EXPECT_NE(s.CompareNoCase(u"qx"), 0);
  CString accented;
  accented = u"\u00C9";
  EXPECT_NE(accented.CompareNoCase(u"\u00E9"), 0);  // only A to Z fold
  CString b;
  std::copy_n(u"hi", 3, b.GetBuffer(8));
  b.ReleaseBuffer();
  EXPECT_EQ(b.GetLength(), 2);
}

TEST(GdiObjectsTest, OwnersReleaseTheirHandlesAndBorrowersDoNot) {
  const std::size_t before = platform::gdi::LiveObjectCount();
  LOGFONTW lf{};
  lf.lfHeight = -12;
  HFONT kept = CreateFontIndirectW(&lf);
  {
    CFont owned;
    owned.CreateFontIndirect(&lf);
    CFont* borrowed = CFont::FromHandle(kept);
    EXPECT_EQ(borrowed->GetSafeHandle(), kept);
    CBrush stock;
    stock.CreateStockObject(NULL_BRUSH);
    EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 2);
    platform::afx::ClearTemporaryObjects();
  }
  EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 1);
  EXPECT_TRUE(DeleteObject(kept));
  EXPECT_EQ(platform::gdi::LiveObjectCount(), before);
}

class HelpApp : public CWinApp {
 public:
  std::atomic<int> helps{0};
  BOOL InitInstance() override { return FALSE; }
  int ExitInstance() override { return 17; }

 protected:
  afx_msg void OnAppHelp() { ++helps; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(HelpApp, CWinApp)
  ON_COMMAND(ID_HELP, OnAppHelp)
END_MESSAGE_MAP()

TEST(WinAppTest, TheMainWindowsUnhandledCommandsGoToTheApplicationAndADecliningOneRunsNoLoop) {
  HeadlessDesktop desk;
  HelpApp app;
  EXPECT_EQ(AfxGetApp(), &app);
  EXPECT_EQ(std::u16string(app.m_pszAppName), u"platform_afx_test");
  EXPECT_EQ(AfxGetResourceHandle(), platform::ResourceModule());
  CWnd main;
  HWND hwnd = CreateWindowExW(0, u"static", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(main.SubclassWindow(hwnd));
  app.m_pMainWnd = &main;
  SendMessageW(hwnd, WM_COMMAND, ID_HELP, 0);
  EXPECT_EQ(app.helps, 1);
  app.m_pMainWnd = nullptr;
  main.DestroyWindow();
  EXPECT_EQ(main.m_hWnd, nullptr);
  EXPECT_EQ(AfxWinMain(), 17);
}

}  // namespace
}  // namespace velmor::test
