// CLabel: colour requests, transparency, fonts, flashing, the click action and the cursor.
#include <gtest/gtest.h>

#include <mutex>

#include "platform/shell/shell.h"
#include "tests/controls/controls_dialog.h"

namespace velmor::test {
namespace {

using std::chrono::milliseconds;

class LabelTest : public ::testing::Test {
 protected:
  HeadlessDesktop desk;
  DialogRun run{desk};
  LabelProbe& lbl = run.dlg.m_lbl;

  // The brush the dialog answers for a colour request about `label`, with a DC of our own.
  HBRUSH AskColors(UINT message, HWND label, HDC dc) {
    return reinterpret_cast<HBRUSH>(
        SendMessageW(run.hwnd, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
  }
  std::u16string Text(const CWnd& w) {
    WCHAR buffer[64];
    GetWindowTextW(w.m_hWnd, buffer, 64);
    return buffer;
  }
  void Flash(int type) {  // on the window's thread, as the program does
    run.OnUi([&] { return lbl.SetFlash(type), 0; });
  }
  void RepaintDialog() {
    RedrawWindow(run.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    run.Settle();
  }
};

TEST_F(LabelTest, ColourRequestsGoToTheParentUntilTransparentThenOnlyAStaticOnePreparesTheContext) {
  EXPECT_EQ(lbl.m_brBack.GetSafeHandle(), nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(AskColors(WM_CTLCOLORSTATIC, lbl.m_hWnd, dc), GetSysColorBrush(COLOR_BTNFACE));
  // So the static control fills its box with the dialog's colour.
  run.Settle();
  EXPECT_EQ(HeadlessDesktop::FrameColor(lbl.m_hWnd, POINT{149, 29}), GetSysColor(COLOR_BTNFACE));

  lbl.SetTransparent();
  lbl.SetTextColor(RGB(1, 2, 3));
  SetTextColor(dc, RGB(9, 9, 9));
  SetBkMode(dc, OPAQUE);
  const HBRUSH hollow = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  EXPECT_EQ(AskColors(WM_CTLCOLORBTN, lbl.m_hWnd, dc), hollow);
  EXPECT_EQ(GetTextColor(dc), RGB(9, 9, 9));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(AskColors(WM_CTLCOLORSTATIC, lbl.m_hWnd, dc), hollow);
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), lbl.m_font.GetSafeHandle());
  DeleteDC(dc);

  // A transparent label paints only its text.
  lbl.SetTextColor(RGB(255, 0, 0));
  RepaintDialog();
  int ink = 0;
  for (int y = 0; y < kLabelRect.bottom - kLabelRect.top; ++y) {
    for (int x = 0; x < kLabelRect.right - kLabelRect.left; ++x) {
      const COLORREF c = HeadlessDesktop::FrameColor(lbl.m_hWnd, POINT{x, y});
      // Every pixel is the skin, or red text blended onto it: nothing of any fill.
      ASSERT_EQ(GetGValue(c), 0) << x << "," << y;
      ink += GetRValue(c) > 128;
    }
  }
  EXPECT_GT(ink, 10);
}

TEST_F(LabelTest, EachFontOperationRebuildsAndRepaintsBeforeItReturnsAndLongFaceNamesAreCut) {
  // Called from this thread, not the window's: the repaint still happens before each returns.
  const int before = lbl.Paints();
  HGDIOBJ font = lbl.m_font.GetSafeHandle();
  lbl.SetFontSize(12);
  EXPECT_EQ(lbl.Paints(), before + 1);
  EXPECT_EQ(lbl.m_lf.lfHeight, -12);
  EXPECT_NE(lbl.m_font.GetSafeHandle(), font);
  lbl.SetFontBold(TRUE);
  EXPECT_EQ(lbl.m_lf.lfWeight, FW_BOLD);
  lbl.SetFontName(u"Arial Black");
  EXPECT_EQ(lbl.Paints(), before + 3);
  EXPECT_EQ(std::u16string(lbl.m_lf.lfFaceName), u"Arial Black");
  EXPECT_EQ(lbl.m_lf.lfHeight, -12);
  EXPECT_EQ(lbl.m_lf.lfWeight, FW_BOLD);
  LOGFONTW made{};
  ASSERT_TRUE(GetObjectW(lbl.m_font.GetSafeHandle(), sizeof made, &made));
  EXPECT_EQ(std::u16string(made.lfFaceName), u"Arial Black");
  EXPECT_EQ(made.lfHeight, -12);
  lbl.SetFontBold(FALSE);
  EXPECT_EQ(lbl.m_lf.lfWeight, FW_NORMAL);
  lbl.SetTextColor(RGB(4, 5, 6));
  EXPECT_EQ(lbl.Paints(), before + 5);
  lbl.SetTransparent();
  EXPECT_EQ(lbl.Paints(), before + 5);

  // A face name of 32 or more characters keeps 31.
  const std::u16string longName(40, u'N');
  lbl.SetFontName(longName.c_str());
  EXPECT_EQ(std::u16string(lbl.m_lf.lfFaceName), longName.substr(0, 31));
  EXPECT_EQ(lbl.m_lf.lfFaceName[LF_FACESIZE - 1], 0);
  lbl.SetFontName(std::u16string(31, u'M').c_str());
  EXPECT_EQ(std::u16string(lbl.m_lf.lfFaceName), std::u16string(31, u'M'));
}

TEST_F(LabelTest, TextFlashingAlternatesStartingWithTheEmptyTextOnAnyTimerOfTheLabel) {
  SetWindowTextW(lbl.m_hWnd, u"blink");
  Flash(CLabel::kFlashText);
  std::vector<std::u16string> shown;
  for (int i = 0; i < 4; ++i) {
    desk.Advance(milliseconds(CLabel::kFlashPeriodMs), run.hwnd);
    shown.push_back(Text(lbl));
  }
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"", u"blink", u"", u"blink"}));
  desk.Advance(milliseconds(CLabel::kFlashPeriodMs), run.hwnd);  // hidden again
  Flash(CLabel::kFlashNone);
  EXPECT_EQ(Text(lbl), u"blink");
  desk.Advance(milliseconds(CLabel::kFlashPeriodMs * 3), run.hwnd);
  EXPECT_EQ(Text(lbl), u"blink");

  // Any timer on the label's window is a flash step; not flashing, only the phase turns.
  const bool phase = lbl.m_bFlashPhase;
  SetTimer(lbl.m_hWnd, 77, 100, nullptr);
  desk.Advance(milliseconds(100), run.hwnd);
  EXPECT_EQ(lbl.m_bFlashPhase, !phase);
  EXPECT_EQ(Text(lbl), u"blink");
  desk.Advance(milliseconds(100), run.hwnd);
  EXPECT_EQ(lbl.m_bFlashPhase, phase);
}

TEST_F(LabelTest, BackgroundFlashingAlternatesTheButtonFaceBrushWithItsOwn) {
  lbl.SetTransparent();
  Flash(CLabel::kFlashBackground);
  const HBRUSH hollow = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  HDC dc = CreateCompatibleDC(nullptr);
  std::vector<HBRUSH> brushes{AskColors(WM_CTLCOLORSTATIC, lbl.m_hWnd, dc)};
  run.Settle();
  EXPECT_EQ(HeadlessDesktop::FrameColor(lbl.m_hWnd, POINT{149, 29}), GetSysColor(COLOR_BTNFACE));
  for (int i = 0; i < 3; ++i) {
    desk.Advance(milliseconds(CLabel::kFlashPeriodMs), run.hwnd);
    brushes.push_back(AskColors(WM_CTLCOLORSTATIC, lbl.m_hWnd, dc));
  }
  DeleteDC(dc);
  EXPECT_EQ(brushes, (std::vector<HBRUSH>{lbl.m_hFlashBrush, hollow, lbl.m_hFlashBrush, hollow}));
  Flash(CLabel::kFlashNone);
  RepaintDialog();
  EXPECT_EQ(HeadlessDesktop::FrameColor(lbl.m_hWnd, POINT{149, 29}), kSkin);
}

class Launches {
 public:
  Launches() {
    platform::shell::SetLauncher([this](const std::vector<std::string>& argv) {
      std::lock_guard g(mutex_);
      seen_.push_back(argv);
      return 0;
    });
  }
  ~Launches() { platform::shell::SetLauncher(nullptr); }
  std::vector<std::vector<std::string>> Seen() {
    std::lock_guard g(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::vector<std::string>> seen_;
};

TEST_F(LabelTest, ANotifyLabelOpensItsTextOnAClickAndShowsTheLinkCursorWhereAPlainOneDoesNeither) {
  Launches launches;
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND), arrow = LoadCursorW(nullptr, IDC_ARROW);
  ASSERT_NE(hand, nullptr);
  run.dlg.m_lblNotify.SetLinkCursor(hand);
  const std::vector<std::vector<std::string>> opened{{"xdg-open", "http://127.0.0.1/settings"}};
  desk.Host().ClickAt(run.dlg.m_lblNotify.m_hWnd, POINT{3, 3});
  run.Settle();
  EXPECT_EQ(run.dlg.parentPresses, 0);
  EXPECT_EQ(launches.Seen(), opened);
  EXPECT_EQ(desk.Host().Cursor(), hand);
  desk.Host().ClickAt(lbl.m_hWnd, POINT{3, 3});
  run.Settle();
  EXPECT_EQ(run.dlg.parentPresses, 1) << "a plain label's click reaches the dialog";
  EXPECT_EQ(launches.Seen(), opened);
  EXPECT_EQ(desk.Host().Cursor(), arrow);
}

TEST(LabelLifetime, EveryDrawingObjectIsReleasedOnce) {
  const std::size_t before = platform::gdi::LiveObjectCount();
  {
    CLabel label;
    EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 2);  // the font and the flash brush
    label.SetTransparent();
    EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 2);  // the hollow brush is the system's
  }
  EXPECT_EQ(platform::gdi::LiveObjectCount(), before);
}

}  // namespace
}  // namespace velmor::test
