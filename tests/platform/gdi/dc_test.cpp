// BitBlt and the cursor, checked on offscreen pixels. Not checked, as nothing the program does
// could show a fault there: RestoreDC (the one DC it saves, the button's drawing DC, is released
// right after) and stale or foreign handles (every object it makes has an owner that deletes it
// once).
#include <gtest/gtest.h>

#include "tests/platform/gdi/canvas.h"
#include "tests/support/headless/test_bitmaps.h"

using velmor::test::Canvas;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0;

// Red counts columns, green counts rows: every pixel differs.
std::uint32_t Numbered(int x, int y) { return static_cast<std::uint32_t>((x + 1) << 16 | (y + 1) << 8); }

// A memory DC holding a 4 x 4 bitmap of numbered pixels.
struct Numbers {
  Numbers() { SelectObject(dc, bitmap); }
  ~Numbers() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = [] {
    velmor::test::RegisterTestBitmap(801, 4, 4, Numbered);
    return LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(801));
  }();
};

TEST(BitBlt, CopiesOnlyWhereBothTheDestinationClipAndTheSourceAllow) {
  const struct {
    const char* name;
    int x, y, cx, cy, x1, y1;
    RECT ink;
    POINT at, from;
  } cases[] = {
      {"destination clip", 0, 0, 4, 4, 0, 0, {1, 1, 4, 4}, {1, 1}, {1, 1}},
      {"nothing readable", 1, 1, 2, 2, 10, 10, {}, {1, 1}, {-1, -1}},
  };
  for (const auto& c : cases) {
    Canvas canvas(6, 6, kWhite, POINT{0, 0}, RECT{1, 1, 5, 5});
    Numbers source;
    EXPECT_TRUE(BitBlt(canvas.dc, c.x, c.y, c.cx, c.cy, source.dc, c.x1, c.y1, SRCCOPY)) << c.name;
    EXPECT_EQ(canvas.Ink(kWhite), c.ink) << c.name;
    EXPECT_EQ(canvas.At(c.at.x, c.at.y), c.from.x < 0 ? kWhite : Numbered(c.from.x, c.from.y)) << c.name;
  }
  Canvas canvas(2, 2, kBlack);
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 2, 2, canvas.dc, 0, 0, 0x00EE0086)) << "another raster operation";
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
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
