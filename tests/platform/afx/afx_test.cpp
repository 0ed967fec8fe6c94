// The framework: data exchange, CString, drawing objects and the application object. Message
// maps, the modal loop and its PreTranslateMessage are checked with the controls and the program's
// key filter.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/afx/afx.h"
#include "platform/ui/dialog_template.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

constexpr WORD kDialogId = 9300;
constexpr int kButtonId = 1000;
const platform::ui::DialogItemTemplate kItems[] = {
    {kButtonId, u"button", u"b", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 10, 10, 40, 20},
};

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(kDialogId) {}
  CButton m_button;
  std::atomic<int> exchanges{0};

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    ++exchanges;
    DDX_Control(pDX, kButtonId, m_button);
  }
};

TEST(AfxDialog, DataExchangeAttachesOnceAndTheEndOfTheDialogDetaches) {
  platform::ui::DialogTemplate t;
  t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT, t.cx = 120, t.cy = 80, t.items = kItems;
  t.fontFace = u"MS UI Gothic", t.pointSize = 9;
  platform::ui::RegisterDialogTemplate(kDialogId, t);
  HeadlessDesktop desk;
  TestDialog dlg;
  INT_PTR result = 0;
  WindowThread thread([&] { result = dlg.DoModal(); });
  HWND hwnd = desk.Host().WaitForShownWindow();
  ASSERT_NE(hwnd, nullptr);
  desk.Settle(hwnd);
  EXPECT_EQ(dlg.exchanges, 1);
  const HWND button = dlg.m_button.m_hWnd;
  EXPECT_EQ(button, GetDlgItem(hwnd, kButtonId));
  EXPECT_EQ(CWnd::FromHandlePermanent(button), &dlg.m_button);
  platform::ui::CallOnWindowThread(hwnd, [&]() -> LRESULT { return dlg.UpdateData(FALSE); });
  EXPECT_EQ(dlg.m_button.m_hWnd, button);
  desk.Host().RequestClose(hwnd);
  ASSERT_TRUE(thread.WaitFinished());
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
