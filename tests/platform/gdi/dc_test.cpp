// BitBlt and FillRect, checked on offscreen pixels. Not checked, as nothing the program does could
// show a fault there: RestoreDC (the one DC it saves, the button's drawing DC, is released right
// after) and stale or foreign handles (every object it makes has an owner that deletes it once).
#include <gtest/gtest.h>

#include "tests/platform/gdi/canvas.h"
#include "tests/support/headless/test_bitmaps.h"

using velmor::test::Canvas;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

// Red counts columns, green counts rows: every pixel differs.
std::uint32_t Numbered(int x, int y) { return static_cast<std::uint32_t>((x + 1) << 16 | (y + 1) << 8); }

// Copying a 4 x 4 picture over a 6 x 6 area lands where both the destination's clip and the
// source's own pixels allow.
TEST(BitBlt, CopiesOnlyWhereBothTheDestinationClipAndTheSourceAllow) {
  Canvas source(4, 4, 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) source.surface->pixels[static_cast<std::size_t>(y * 4 + x)] = Numbered(x, y);
  }
  Canvas canvas(6, 6, kWhite, POINT{0, 0}, RECT{1, 1, 5, 5});
  EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 6, 6, source.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(canvas.Ink(kWhite), (RECT{1, 1, 4, 4}));
  EXPECT_EQ(canvas.At(3, 2), Numbered(3, 2));
}

// On a surface of scale 2 each pixel of the DC covers 2 x 2. A bitmap resource with a picture
// drawn for that scale is copied from it pixel for pixel; one without has each pixel enlarged.
TEST(BitBlt, AtScaleTwoCopiesThePictureDrawnForTheScaleOrEnlargesEachPixel) {
  const auto halves = [](int x, int) { return x == 0 ? 0x0000FFu : 0x00FF00u; };
  for (WORD id : {903, 904}) velmor::test::RegisterTestBitmap(id, 2, 1, halves);
  velmor::test::RegisterTestBitmap(903, 4, 2, Numbered, 2);
  Canvas canvas(12, 6, kWhite, POINT{0, 0}, RECT{0, 0, 6, 3}, 2);
  HDC memory = CreateCompatibleDC(canvas.dc);
  for (WORD id : {903, 904}) {
    HGDIOBJ old = SelectObject(memory, LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(id)));
    BitBlt(canvas.dc, 3, id - 903, 2, 1, memory, 0, 0, SRCCOPY);
    DeleteObject(SelectObject(memory, old));
  }
  DeleteDC(memory);
  for (int x = 0; x < 4; ++x) EXPECT_TRUE(canvas.At(6 + x, 1) == Numbered(x, 1) && canvas.At(6 + x, 3) == halves(x / 2, 0)) << x;
}

TEST(FillRect, ABrushFillsTheRectangleTwiceOverAtScaleTwoAndTheNullBrushFillsNothing) {
  Canvas canvas(6, 6, kWhite, POINT{0, 0}, RECT{0, 0, 3, 3}, 2);
  const RECT one{1, 1, 2, 2}, all{0, 0, 3, 3};
  EXPECT_EQ(FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);
  FillRect(canvas.dc, &one, GetSysColorBrush(COLOR_WINDOWTEXT));
  EXPECT_EQ(canvas.Ink(kWhite), (RECT{2, 2, 4, 4}));
}

}  // namespace
