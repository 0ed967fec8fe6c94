// The SSID line: its font and cut by its length, and a further cut for lines wider than the label.
#include <gtest/gtest.h>

#include "platform/base/codepage.h"
#include "tests/support/program/program_fixture.h"

using velmor::test::ProgramTest;

namespace {

constexpr char16_t kNoticeButton[] = u"※「設定画面へ」ボタンは、Kavel-7100との\nWi-Fi接続後、アクティブになります";
constexpr char16_t kNoticeLogin[] = u"※接続にはID/PWが必要です。\n初期値はマニュアルで確認してください";

class StatusDisplay : public ProgramTest {
 protected:
  LONG SsidFontHeight() const { return dlg_->m_lblSsid.GetLogFont().lfHeight; }
};

}  // namespace

TEST_F(StatusDisplay, SsidLineIsCutAndSizedByItsLength) {
  StartDialog();
  const struct {
    std::u16string ssid, line;
    LONG height;
  } cases[] = {
      {u"ABCDEFGHIJKL", u"SSID: ABCDEFGHIJKL", -14},
      {u"ABCDEFGHIJKLM", u"SSID: ABCDEFGHIJKLM", -12},
      {u"ABCDEFGHIJKLMNO", u"SSID: ABCDEFGHIJKLMNO", -12},
      {u"ABCDEFGHIJKLMNOP", u"SSID: ABCDEFGHIJKLM...", -12},
      {u"", u"SSID: ", -14},
  };
  for (const auto& c : cases) {
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

// Lines the length rules leave wider than the label (full-width characters, whole by the rules or
// cut by them; a cut by the rules that would split a surrogate pair; 32 invalid bytes) are cut
// further, at a character boundary, as little as makes them fit.
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
  const auto high = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
  for (const std::u16string& ssid : {std::u16string(u"山田太郎の無線ルーター"), std::u16string(u"カーベル無線接続試験用ネットワーク"),
                                    std::u16string(u"\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6"),
                                    std::u16string(32, char16_t{0xDCFF})}) {
    dlg_->ShowSsid(ssid.c_str());
    const std::u16string full = u"SSID: " + ssid, line = TextOf(IDC_SSID_LABEL);
    ASSERT_TRUE(line.ends_with(u"...")) << platform::Utf16ToUtf8(line);
    const std::size_t kept = line.size() - 3;
    EXPECT_GE(kept, 6u);
    EXPECT_EQ(line.substr(0, kept), full.substr(0, kept));
    EXPECT_FALSE(high(full[kept - 1])) << "a surrogate pair was split";
    EXPECT_LE(width(line), 156);
    // One more character would not fit, unless the length rule's cut after 19 units was the one.
    const std::size_t more = kept + (high(full[kept]) ? 2 : 1);
    if (more <= 19) {
      EXPECT_GT(width(full.substr(0, more) + u"..."), 156) << "cut more than it needed";
    }
  }
  DeleteDC(dc);
}
