// The two connection states on the screen, and the SSID line's cut.
#include <gtest/gtest.h>

#include "platform/base/codepage.h"
#include "tests/support/program/program_fixture.h"

using velmor::test::ProgramTest;

namespace {

constexpr char16_t kDisconnected[] = u"Kavel-7100 との\nWi-Fi接続を確認してください";
constexpr char16_t kConnected[] = u"Kavel-7100 と\nWi-Fi接続済みです";
constexpr char16_t kNoticeButton[] = u"※「設定画面へ」ボタンは、Kavel-7100との\nWi-Fi接続後、アクティブになります";
constexpr char16_t kNoticeLogin[] = u"※接続にはID/PWが必要です。\n初期値はマニュアルで確認してください";

class StatusDisplay : public ProgramTest {
 protected:
  LONG SsidFontHeight() const { return dlg_->m_lblSsid.GetLogFont().lfHeight; }
};

}  // namespace

TEST_F(StatusDisplay, StartsDisconnected) {
  StartDialog();
  WaitForWorkers();
  EXPECT_EQ(TextOf(IDC_STATUS_LABEL), kDisconnected);
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), u"");
  EXPECT_EQ(TextOf(IDC_NOTICE_LABEL), kNoticeButton);
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
  EXPECT_EQ(dlg_->m_lblStatus.GetLogFont().lfHeight, -20);
  EXPECT_EQ(dlg_->m_lblStatus.GetLogFont().lfWeight, 700);
  EXPECT_EQ(dlg_->m_lblStatus.GetTextColor(), RGB(255, 0, 0));
}

TEST_F(StatusDisplay, SsidLineIsCutAndSizedByItsLength) {
  StartDialog();
  struct Case {
    std::u16string ssid;
    std::u16string line;
    LONG height;
  };
  const Case cases[] = {
      {u"ABCDEFGHIJKL", u"SSID: ABCDEFGHIJKL", -14},
      {u"ABCDEFGHIJKLM", u"SSID: ABCDEFGHIJKLM", -12},
      {u"ABCDEFGHIJKLMNO", u"SSID: ABCDEFGHIJKLMNO", -12},
      {u"ABCDEFGHIJKLMNOP", u"SSID: ABCDEFGHIJKLM...", -12},
      {u"", u"SSID: ", -14},
  };
  for (const Case& c : cases) {
    dlg_->ShowSsid(c.ssid.c_str());
    EXPECT_EQ(TextOf(IDC_SSID_LABEL), c.line);
    EXPECT_EQ(SsidFontHeight(), c.height) << "for " << c.line.size() << " characters";
    EXPECT_EQ(TextOf(IDC_NOTICE_LABEL), kNoticeLogin);
  }
  // No SSID after a long one empties the line and keeps the smaller font.
  dlg_->ShowSsid(u"ABCDEFGHIJKLMNOP");
  dlg_->ShowSsid(nullptr);
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), u"");
  EXPECT_EQ(SsidFontHeight(), -12);
  EXPECT_EQ(TextOf(IDC_NOTICE_LABEL), kNoticeButton);
}

// Lines the length rules leave wider than the label: full-width characters (whole by the rules,
// or cut by them), a cut by the rules that would split a surrogate pair, and 32 invalid bytes.
// Each is cut further at a character boundary, as little as makes it fit.
TEST_F(StatusDisplay, ALineWiderThanTheLabelIsCutFurtherUntilItFits) {
  StartDialog();
  HDC dc = CreateCompatibleDC(nullptr);
  const auto width = [&](std::u16string_view text) {
    HFONT font = CreateFontIndirectW(&dlg_->m_lblSsid.GetLogFont());
    HGDIOBJ old = SelectObject(dc, font);
    RECT rc{0, 0, 156, 15};
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
    SelectObject(dc, old);
    DeleteObject(font);
    return rc.right;
  };
  const std::u16string cases[] = {u"山田太郎の無線ルーター", u"カーベル無線接続試験用ネットワーク",
                                  u"\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6",
                                  std::u16string(32, char16_t{0xDCFF})};
  for (const std::u16string& ssid : cases) {
    dlg_->ShowSsid(ssid.c_str());
    const std::u16string full = u"SSID: " + ssid, line = TextOf(IDC_SSID_LABEL);
    ASSERT_TRUE(line.ends_with(u"...")) << platform::Utf16ToUtf8(line);
    const std::size_t kept = line.size() - 3;
    EXPECT_GE(kept, 6u);
    EXPECT_EQ(line.substr(0, kept), full.substr(0, kept));
    EXPECT_FALSE(full[kept] >= 0xDC00 && full[kept] <= 0xDFFF && full[kept - 1] >= 0xD800 && full[kept - 1] <= 0xDBFF);
    EXPECT_LE(width(line), 156);
    // One more character would not fit, unless the length rule's cut after 19 units was the one.
    const std::size_t more = kept + ((full[kept] >= 0xD800 && full[kept] <= 0xDBFF) ? 2 : 1);
    if (more <= 19) {
      EXPECT_GT(width(full.substr(0, more) + u"..."), 156) << "cut more than it needed";
    }
  }
  DeleteDC(dc);
}

TEST_F(StatusDisplay, ApplyingTheShownStateLeavesTheTimerAlone) {
  StartDialog();
  WaitForWorkers();
  TraceOn();
  dlg_->UpdateConnectionStatus(TRUE);
  dlg_->UpdateConnectionStatus(TRUE);
  EXPECT_EQ(TextOf(IDC_STATUS_LABEL), kConnected);
  EXPECT_TRUE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
  EXPECT_EQ(dlg_->m_lblStatus.GetTextColor(), RGB(0, 0, 0));
  EXPECT_EQ(Trace(), (std::vector<std::string>{"[Velmor]Ready to connect with Velmor\n", "[QXJ]Set the Timer duration 30s",
                                               "[Velmor]Ready to connect with Velmor\n", "[QXJ]Status is same"}));
  TraceOn();
  dlg_->UpdateConnectionStatus(FALSE);
  EXPECT_EQ(Trace(), (std::vector<std::string>{"[Velmor]Disconnect to Velmor\n", "[QXJ]Set the Timer duration 10s"}));
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
}
