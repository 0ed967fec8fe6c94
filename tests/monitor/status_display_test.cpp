// The SSID line: its font and cut by its length, and a further cut for lines wider than the label.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "tests/support/program/program_fixture.h"

using velmor::test::ProgramTest;

namespace {

class StatusDisplay : public ProgramTest {
 protected:
  // How wide the SSID label draws `text` in its font of the moment: on one line, an "&" as itself.
  LONG LineWidth(std::u16string_view text) const {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontIndirectW(&dlg_->m_lblSsid.GetLogFont());
    HGDIOBJ old = SelectObject(dc, font);
    RECT rc{0, 0, 156, 15};
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    return rc.right;
  }
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
    EXPECT_EQ(dlg_->m_lblSsid.GetLogFont().lfHeight, c.height) << "for " << c.line.size() << " characters";
    EXPECT_EQ(TextOf(IDC_NOTICE_LABEL), u"※接続にはID/PWが必要です。\n初期値はマニュアルで確認してください");
  }
}

// Lines the length rules leave wider than the label (full-width characters, whole by the rules or
// cut by them; a cut by the rules that would split a surrogate pair; 32 invalid bytes; ampersands,
// which take room as any character) are cut further, at a character boundary, as little as makes
// them fit.
TEST_F(StatusDisplay, ALineWiderThanTheLabelIsCutFurtherUntilItFits) {
  StartDialog();
  const auto high = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
  for (const std::u16string& ssid : {std::u16string(u"山田太郎の無線ルーター"), std::u16string(u"カーベル無線接続試験用ネットワーク"),
                                    std::u16string(u"\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6\U0001F4F6"),
                                    std::u16string(32, char16_t{0xDCFF}), std::u16string(u"&M&M&M&M&M&M&M&")}) {
    dlg_->ShowSsid(ssid.c_str());
    const std::u16string full = u"SSID: " + ssid, line = TextOf(IDC_SSID_LABEL);
    ASSERT_TRUE(line.ends_with(u"...")) << platform::Utf16ToUtf8(line);
    const std::size_t kept = line.size() - 3;
    EXPECT_EQ(line.substr(0, kept), full.substr(0, kept));
    EXPECT_FALSE(high(full[kept - 1])) << "a surrogate pair was split";
    EXPECT_LE(LineWidth(line), 156);
    // One more character would not fit, unless the length rule's cut after 19 units was the one.
    const std::size_t more = kept + (high(full[kept]) ? 2 : 1);
    EXPECT_TRUE(more > 19 || LineWidth(full.substr(0, more) + u"...") > 156) << "cut more than it needed";
  }
}

// A network's name is shown as it is: an "&" in it is no mnemonic prefix that hides itself and
// underlines the next character. The label's ink spans the whole line.
TEST_F(StatusDisplay, AnAmpersandInTheSsidIsShownAsItIs) {
  StartDialog();
  const HWND label = Control(IDC_SSID_LABEL);
  RECT rc;
  GetClientRect(label, &rc);
  // The width of the columns that differ from the label without a line, which the first call keeps.
  std::vector<COLORREF> blank;
  const auto inkWidth = [&](const char16_t* ssid) {
    dlg_->ShowSsid(ssid);
    Settle();
    LONG left = rc.right, right = 0;
    for (LONG i = 0; i < rc.right * rc.bottom; ++i) {
      const COLORREF pixel = velmor::test::HeadlessDesktop::FrameColor(label, {i % rc.right, i / rc.right});
      if (ssid == nullptr) blank.push_back(pixel);
      if (pixel != blank[static_cast<std::size_t>(i)]) left = std::min(left, i % rc.right), right = std::max(right, i % rc.right + 1);
    }
    return right - left;
  };
  inkWidth(nullptr);
  for (const std::u16string ssid : {u"Tom&Jerry", u"&&&&"}) {
    const LONG inked = inkWidth(ssid.c_str());  // in the font ShowSsid chose
    EXPECT_NEAR(inked, LineWidth(u"SSID: " + ssid), 3) << platform::Utf16ToUtf8(ssid);
  }
}
