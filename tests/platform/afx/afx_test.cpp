// The framework: CString, drawing objects and the application object. Message maps, dialogs
// and their data exchange, the modal loop and its PreTranslateMessage are checked with the
// controls and the program's key filter.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/afx/afx.h"
#include "tests/support/headless/headless_desktop.h"

namespace velmor::test {
namespace {

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
