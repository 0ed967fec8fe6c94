// Device contexts, brushes, BitBlt and the handle rules, checked on offscreen pixels.
#include <gtest/gtest.h>

#include "platform/base/errors.h"
#include "platform/gdi/gdi.h"
#include "tests/platform/gdi/canvas.h"

using velmor::test::Canvas;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

struct PixelCheck {
  int x;
  int y;
  std::uint32_t expected;
};

std::uint32_t Numbered(int x, int y) { return (static_cast<std::uint32_t>(x + 1) << 16) | (static_cast<std::uint32_t>(y + 1) << 8); }

// A bitmap whose every pixel differs: red counts columns, green counts rows.
HBITMAP NumberedBitmap(HDC memory, int w, int h) {
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, w, h);
  auto surface = platform::gdi::BitmapSurface(bitmap);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) surface->pixels[static_cast<std::size_t>(y * w + x)] = Numbered(x, y);
  SelectObject(memory, bitmap);
  return bitmap;
}

}  // namespace

TEST(FillRectTest, FillsInsideTheRectangleOriginAndClipWithEachKindOfBrush) {
  Canvas canvas(10, 10, kBlack, POINT{2, 3}, RECT{1, 1, 8, 8});
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  const RECT all{0, 0, 10, 10};
  EXPECT_NE(FillRect(canvas.dc, &all, red), 0);
  for (const PixelCheck& c : std::vector<PixelCheck>{{2, 3, 0xFF0000}, {7, 7, 0xFF0000}, {1, 3, kBlack}, {2, 2, kBlack}, {8, 5, kBlack}, {5, 8, kBlack}}) {
    EXPECT_EQ(canvas.At(c.x, c.y), c.expected) << c.x << "," << c.y;
  }
  DeleteObject(red);

  Canvas plain(4, 4, kBlack);
  EXPECT_NE(FillRect(plain.dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 0);
  EXPECT_EQ(plain.Ink(kBlack), RECT{}) << "a hollow brush fills nothing";
  EXPECT_NE(FillRect(plain.dc, &all, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)), 0);
  EXPECT_EQ(plain.At(3, 3), 0xF0F0F0u);
  EXPECT_NE(FillRect(plain.dc, &all, GetSysColorBrush(COLOR_WINDOWFRAME)), 0);
  EXPECT_EQ(plain.At(0, 0), 0x646464u);
}

TEST(BitBltTest, CopiesOnlyWhereBothTheDestinationClipAndTheSourceAllow) {
  struct Case {
    const char* name;
    int x, y, cx, cy, x1, y1;
    std::vector<PixelCheck> checks;
  };
  const std::vector<Case> cases = {
      {"destination clip", 0, 0, 4, 4, 0, 0, {{0, 0, kWhite}, {1, 1, Numbered(1, 1)}, {3, 3, Numbered(3, 3)}, {4, 4, kWhite}}},
      {"offset source", 2, 2, 4, 4, 1, 1, {{2, 2, Numbered(1, 1)}, {4, 2, Numbered(3, 1)}, {4, 4, Numbered(3, 3)}, {5, 5, kWhite}}},
      {"source above and right of its bitmap", 1, 1, 4, 4, 2, -1, {{1, 1, kWhite}, {1, 2, Numbered(2, 0)}, {2, 2, Numbered(3, 0)}, {3, 2, kWhite}, {2, 4, Numbered(3, 2)}}},
      {"nothing readable", 1, 1, 2, 2, 10, 10, {{1, 1, kWhite}, {2, 2, kWhite}}},
  };
  for (const Case& c : cases) {
    Canvas canvas(6, 6, kWhite, POINT{0, 0}, RECT{1, 1, 5, 5});
    HDC memory = CreateCompatibleDC(canvas.dc);
    HBITMAP bitmap = NumberedBitmap(memory, 4, 4);
    EXPECT_TRUE(BitBlt(canvas.dc, c.x, c.y, c.cx, c.cy, memory, c.x1, c.y1, SRCCOPY)) << c.name;
    for (const PixelCheck& p : c.checks) EXPECT_EQ(canvas.At(p.x, p.y), p.expected) << c.name << " at " << p.x << "," << p.y;
    DeleteDC(memory);
    DeleteObject(bitmap);
  }
}

TEST(BitBltTest, OverlappingCopiesReadBeforeTheyWriteAndBadRequestsAreRefused) {
  for (const bool down : {true, false}) {
    Canvas canvas(1, 5, kBlack);
    for (int y = 0; y < 5; ++y) canvas.surface->pixels[static_cast<std::size_t>(y)] = static_cast<std::uint32_t>(y + 1);
    ASSERT_TRUE(BitBlt(canvas.dc, 0, down ? 1 : 0, 1, 4, canvas.dc, 0, down ? 0 : 1, SRCCOPY));
    const std::vector<std::uint32_t> expected = down ? std::vector<std::uint32_t>{1, 1, 2, 3, 4} : std::vector<std::uint32_t>{2, 3, 4, 5, 5};
    EXPECT_EQ(canvas.surface->pixels, expected);
  }
  Canvas canvas(2, 2, kBlack);
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 2, 2, canvas.dc, 0, 0, 0x00EE0086)) << "another raster operation";
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, -1, 2, canvas.dc, 0, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
}

TEST(SaveDcTest, RestoresSelectedObjectsColoursAndModeByDepth) {
  Canvas canvas(2, 2, kBlack);
  HDC dc = CreateCompatibleDC(canvas.dc);
  HBITMAP first = CreateCompatibleBitmap(dc, 2, 2);
  HBITMAP second = CreateCompatibleBitmap(dc, 3, 3);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  LOGFONTW lf{};
  lf.lfHeight = -20;
  HFONT font = CreateFontIndirectW(&lf);

  SelectObject(dc, first);
  SetTextColor(dc, RGB(10, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ originalBrush = GetCurrentObject(dc, OBJ_BRUSH);
  HGDIOBJ originalFont = GetCurrentObject(dc, OBJ_FONT);
  EXPECT_EQ(SaveDC(dc), 1);
  SelectObject(dc, second);
  SelectObject(dc, brush);
  SelectObject(dc, font);
  SetTextColor(dc, RGB(20, 0, 0));
  SetBkMode(dc, OPAQUE);
  EXPECT_EQ(SaveDC(dc), 2);
  SetTextColor(dc, RGB(30, 0, 0));

  EXPECT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetTextColor(dc), RGB(20, 0, 0));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
  EXPECT_TRUE(RestoreDC(dc, 1));
  EXPECT_EQ(GetTextColor(dc), RGB(10, 0, 0));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), first);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), originalBrush);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), originalFont);
  EXPECT_FALSE(RestoreDC(dc, 1)) << "that level was used up";
  EXPECT_FALSE(RestoreDC(dc, -1));

  DeleteDC(dc);
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(first), static_cast<HGDIOBJ>(second), static_cast<HGDIOBJ>(brush), static_cast<HGDIOBJ>(font)}) EXPECT_TRUE(DeleteObject(o));
}

TEST(SelectObjectTest, ReturnsThePreviousObjectAndKeepsBitmapsToMemoryDcs) {
  Canvas canvas(2, 2, kBlack);
  HDC memory = CreateCompatibleDC(nullptr);
  BITMAP bm{};
  HGDIOBJ placeholder = GetCurrentObject(memory, OBJ_BITMAP);
  ASSERT_EQ(GetObjectW(placeholder, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(GetPixel(memory, 0, 0), CLR_INVALID) << "the placeholder is not drawn on";

  HBITMAP bitmap = CreateCompatibleBitmap(memory, 5, 7);
  EXPECT_EQ(SelectObject(memory, bitmap), placeholder);
  EXPECT_EQ(SelectObject(canvas.dc, bitmap), nullptr) << "a surface DC takes no bitmap";
  ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 5);
  EXPECT_EQ(bm.bmHeight, 7);
  EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), static_cast<int>(sizeof bm));
  EXPECT_EQ(GetObjectW(bitmap, 4, &bm), 0);
  EXPECT_EQ(SelectObject(memory, placeholder), bitmap);
  DeleteDC(memory);
  DeleteObject(bitmap);
}

TEST(HandleTest, StaleForeignAndStockHandlesFailOrSurviveSafely) {
  const std::size_t baseline = platform::gdi::LiveObjectCount();
  Canvas canvas(3, 3, kBlack);
  HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
  EXPECT_EQ(platform::gdi::LiveObjectCount(), baseline + 2);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  const RECT all{0, 0, 3, 3};
  EXPECT_EQ(FillRect(canvas.dc, &all, brush), 0);
  EXPECT_EQ(SelectObject(canvas.dc, brush), nullptr);
  EXPECT_EQ(canvas.Ink(kBlack), RECT{});

  int local = 0;
  auto* foreign = reinterpret_cast<HBRUSH>(&local);
  EXPECT_EQ(FillRect(canvas.dc, &all, foreign), 0);
  EXPECT_FALSE(DeleteObject(foreign));
  EXPECT_FALSE(DeleteObject(canvas.dc)) << "a DC goes with DeleteDC only";
  EXPECT_EQ(SelectObject(canvas.dc, canvas.dc), nullptr);

  HDC gone = CreateCompatibleDC(nullptr);
  EXPECT_TRUE(DeleteDC(gone));
  EXPECT_FALSE(DeleteDC(gone));
  EXPECT_EQ(GetPixel(gone, 0, 0), CLR_INVALID);

  // A bitmap deleted while selected stays drawable until its DC goes.
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = NumberedBitmap(memory, 3, 3);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_EQ(GetPixel(memory, 2, 1), RGB(3, 2, 0));
  EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 3, 3, memory, 0, 0, SRCCOPY));
  EXPECT_EQ(canvas.At(2, 2), Numbered(2, 2));
  DeleteDC(memory);
  EXPECT_EQ(platform::gdi::LiveObjectCount(), baseline + 1) << "only the canvas's DC is left";

  HGDIOBJ white = GetStockObject(WHITE_BRUSH);
  EXPECT_TRUE(DeleteObject(white));
  EXPECT_NE(FillRect(canvas.dc, &all, static_cast<HBRUSH>(white)), 0) << "stock objects outlive DeleteObject";
  EXPECT_EQ(canvas.At(1, 1), kWhite);
}

TEST(CursorTest, SetCursorTellsTheHostOnlyOfChanges) {
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  ASSERT_NE(hand, nullptr);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_HAND), hand);
  EXPECT_EQ(platform::gdi::SystemCursorId(hand), 32649);
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);

  SetCursor(arrow);
  std::vector<HCURSOR> seen;
  platform::gdi::SetCursorObserver([&](HCURSOR c) { seen.push_back(c); });
  EXPECT_EQ(SetCursor(hand), arrow);
  EXPECT_EQ(SetCursor(hand), hand);
  EXPECT_EQ(GetCursor(), hand);
  int local = 0;
  EXPECT_EQ(SetCursor(reinterpret_cast<HCURSOR>(&local)), nullptr);
  EXPECT_EQ(GetCursor(), hand) << "a bad handle changes nothing";
  SetCursor(arrow);
  platform::gdi::SetCursorObserver(nullptr);
  EXPECT_EQ(seen, (std::vector<HCURSOR>{hand, arrow}));
}
