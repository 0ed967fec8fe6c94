// The main window as start-up leaves it: the disconnected state on its skin, pixel by pixel where
// the skin's pictures are and by colour where text is drawn.
#include <gtest/gtest.h>

#include "platform/gdi/font.h"
#include "platform/gdi/gdi.h"
#include "tests/support/program/program_fixture.h"

class MainWindow : public velmor::test::ProgramTest {
 protected:
  COLORREF PixelAt(int x, int y) const { return velmor::test::HeadlessDesktop::FrameColor(hwnd_, POINT{x, y}); }
  // Pixels of the region within `tolerance` of the colour in each component.
  int CountPixels(RECT r, int red, int green, int blue, int tolerance) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        const COLORREF c = PixelAt(x, y);
        n += std::abs(GetRValue(c) - red) <= tolerance && std::abs(GetGValue(c) - green) <= tolerance &&
             std::abs(GetBValue(c) - blue) <= tolerance;
      }
    }
    return n;
  }
  // Whether the bitmap resource's pixels, as the drawing layer decodes them, are on screen at `at`.
  bool ShowsPicture(WORD id, POINT at) const {
    HBITMAP bitmap = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(id));
    const auto picture = platform::gdi::BitmapSurface(bitmap);
    DeleteObject(bitmap);
    for (int y = 0; picture && y < picture->height; ++y) {
      for (int x = 0; x < picture->width; ++x) {
        if (PixelAt(at.x + x, at.y + y) != velmor::test::ColorOf(picture->At(x, y))) return false;
      }
    }
    return picture != nullptr;
  }
};

TEST_F(MainWindow, StartsDisconnectedOnItsSkin) {
  StartDialog();
  EXPECT_EQ(TextOf(IDC_STATUS_LABEL), u"Kavel-7100 との\nWi-Fi接続を確認してください");
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
  EXPECT_FALSE(IsWindowVisible(Control(IDOK)));
  EXPECT_EQ(platform::gdi::fonts::OpenFaceCount(), 0u) << "the window waits with its fonts' faces closed";

  EXPECT_EQ(CountPixels(RECT{300, 3, 301, 4}, 62, 62, 62, 8), 1) << "the top bar";
  for (int x : {110, 180, 250}) EXPECT_EQ(PixelAt(x, 252), RGB(74, 69, 42)) << "the SSID frame at " << x;
  EXPECT_TRUE(ShowsPicture(IDB_SETTINGS_DISABLED, POINT{99, 123})) << "the disabled settings picture";
  EXPECT_TRUE(ShowsPicture(IDB_CLOSE_NORMAL, POINT{330, 0}));
  EXPECT_TRUE(ShowsPicture(IDB_MINIMIZE_NORMAL, POINT{307, 0}));
  // The labels' glyphs stand on the skin in their own colours (antialiased at their edges):
  // white title, red status, brown notice; the empty SSID line leaves the frame's inside as it is.
  EXPECT_GT(CountPixels(RECT{26, 7, 296, 19}, 255, 255, 255, 40), 60);
  EXPECT_GT(CountPixels(RECT{34, 59, 324, 102}, 255, 0, 0, 40), 100);
  EXPECT_GT(CountPixels(RECT{15, 205, 340, 245}, 64, 58, 29, 30), 40);
  EXPECT_EQ(CountPixels(RECT{101, 256, 257, 271}, 64, 58, 29, 30), 0);
}
