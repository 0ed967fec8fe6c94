// The framework: CString's comparison and who releases a drawing object's handle. Stock objects,
// message maps, dialogs and their data exchange, the modal loop and its PreTranslateMessage, the
// rest of CString and the application object are checked with the controls, the program's key
// filter and the end-to-end run.
#include <gtest/gtest.h>

#include "platform/afx/afx.h"

namespace velmor::test {
namespace {

// The debug keyword is "QXJ"; the keys typed include the codes 0x61..0x7A, which fold onto it.
TEST(CStringTest, CompareNoCaseFoldsLetters) {
  CString typed;
  typed = u"qxj";
  EXPECT_EQ(typed.CompareNoCase(u"QXJ"), 0);
}

TEST(GdiObjectsTest, OwnersReleaseTheirHandlesAndBorrowersDoNot) {
  const std::size_t before = platform::gdi::LiveObjectCount();
  LOGFONTW lf{};
  lf.lfHeight = -12;
  HFONT kept = CreateFontIndirectW(&lf);
  {
    CFont owned;
    owned.CreateFontIndirect(&lf);
    EXPECT_EQ(CFont::FromHandle(kept)->GetSafeHandle(), kept);
    platform::afx::ClearTemporaryObjects();
  }
  EXPECT_EQ(platform::gdi::LiveObjectCount(), before + 1);
  EXPECT_TRUE(DeleteObject(kept));
  EXPECT_EQ(platform::gdi::LiveObjectCount(), before);
}

}  // namespace
}  // namespace velmor::test
