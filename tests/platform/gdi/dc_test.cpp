// BitBlt and the cursor, checked on offscreen pixels. Not checked, as nothing the program does
// could show a fault there: RestoreDC (the one DC it saves, the button's drawing DC, is released
// right after) and stale or foreign handles (every object it makes has an owner that deletes it
// once).
#include <gtest/gtest.h>

#include "tests/platform/gdi/canvas.h"

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
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 2, 2, source.dc, 0, 0, 0x00EE0086)) << "another raster operation";
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
}

TEST(FillRect, TheNullBrushFillsNothing) {
  Canvas canvas(2, 2, kWhite);
  const RECT all{0, 0, 2, 2};
  EXPECT_EQ(FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);
  EXPECT_EQ(canvas.At(1, 1), kWhite);
}

TEST(Cursor, SetCursorTellsTheObserverOnlyOfChanges) {
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW), hand = LoadCursorW(nullptr, IDC_HAND);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_HAND), hand);
  EXPECT_EQ(platform::gdi::SystemCursorId(hand), 32649);
  SetCursor(arrow);
  std::vector<HCURSOR> seen;
  platform::gdi::SetCursorObserver([&](HCURSOR c) { seen.push_back(c); });
  EXPECT_EQ(SetCursor(hand), arrow);
  EXPECT_EQ(SetCursor(hand), hand);
  SetCursor(arrow);
  platform::gdi::SetCursorObserver(nullptr);
  EXPECT_EQ(seen, (std::vector<HCURSOR>{hand, arrow}));
}

}  // namespace
