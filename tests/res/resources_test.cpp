// The embedded skin and icon as the program loads them: sizes, depths, the background's frame,
// top bar and seamless glyphs, and the icon's eight images.
#include <gtest/gtest.h>

#include <set>

#include "platform/gdi/gdi.h"
#include "platform/gdi/image_codec.h"
#include "res/program_resources.h"
#include "res/resource.h"

namespace {

std::shared_ptr<platform::gdi::Surface> Picture(WORD id) {
  RegisterProgramResources();
  HBITMAP bitmap = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(id));
  auto surface = platform::gdi::BitmapSurface(bitmap);
  DeleteObject(bitmap);
  return surface;
}

TEST(Resources, TheBitmapsLoadWithTheirSizes) {
  const std::pair<std::vector<WORD>, SIZE> groups[] = {
      {{IDB_BACKGROUND}, {358, 327}},
      {{IDB_MINIMIZE_PRESSED, IDB_MINIMIZE_HOVER, IDB_MINIMIZE_NORMAL, IDB_CLOSE_PRESSED, IDB_CLOSE_HOVER, IDB_CLOSE_NORMAL}, {18, 24}},
      {{IDB_SETTINGS_PRESSED, IDB_SETTINGS_DISABLED, IDB_SETTINGS_HOVER, IDB_SETTINGS_NORMAL}, {160, 58}},
  };
  for (const auto& [ids, size] : groups) {
    for (WORD id : ids) {
      auto picture = Picture(id);
      ASSERT_TRUE(picture) << id;
      EXPECT_EQ(std::make_pair(picture->width, picture->height), std::make_pair(int{size.cx}, int{size.cy})) << id;
    }
  }
}

TEST(Resources, TheBackgroundHasTheSsidFrameTheDarkTopBarAndTheNormalGlyphsSeamlessly) {
  const auto bg = Picture(IDB_BACKGROUND);
  ASSERT_TRUE(bg);
  // The straight runs of the SSID's rounded frame at columns 99..258, rows 252..272: exactly olive.
  constexpr std::uint32_t kOlive = 0x4A452A;
  for (int x = 105; x <= 252; ++x) {
    EXPECT_TRUE(bg->At(x, 252) == kOlive && bg->At(x, 272) == kOlive && bg->At(x, 253) != kOlive) << "x " << x;
  }
  for (int y = 258; y <= 266; ++y) {
    EXPECT_TRUE(bg->At(99, y) == kOlive && bg->At(258, y) == kOlive && bg->At(98, y) != kOlive) << "y " << y;
  }
  // Dark grey between the emblem and the glyphs, where the title is drawn.
  for (int y = 2; y <= 21; ++y) {
    for (int x = 26; x < 300; x += 7) {
      for (int shift : {0, 8, 16}) EXPECT_NEAR(static_cast<int>((bg->At(x, y) >> shift) & 0xFF), 62, 6) << x << "," << y;
    }
  }
  for (const auto& [id, left] : {std::pair<WORD, int>{IDB_MINIMIZE_NORMAL, 307}, {IDB_CLOSE_NORMAL, 330}}) {
    const auto glyph = Picture(id);
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 18; ++x) ASSERT_EQ(glyph->At(x, y), bg->At(left + x, y)) << id << " at " << x << "," << y;
    }
  }
}

TEST(Resources, TheIconHoldsFourSizesInTwoDepthsWithTransparentCornersAndAnOpaqueDisc) {
  RegisterProgramResources();
  const auto bytes = platform::FindResourceBytes(RT_GROUP_ICON_ID, MAKEINTRESOURCEW(IDR_MAINFRAME));
  ASSERT_TRUE(bytes);
  const auto images = platform::gdi::DecodeIco(*bytes);
  ASSERT_TRUE(images);
  std::set<std::pair<int, int>> seen;  // (size, bits)
  for (const auto& image : *images) {
    const int size = image.width;
    seen.insert({size, image.bitCount});
    EXPECT_EQ(image.argb[0] >> 24, 0u) << size;
    EXPECT_EQ(image.argb[static_cast<std::size_t>(size / 2 * size + size / 2)] >> 24, 0xFFu) << size;
  }
  EXPECT_EQ(images->size(), 8u);
  EXPECT_EQ(seen, (std::set<std::pair<int, int>>{{16, 24}, {16, 32}, {24, 24}, {24, 32}, {32, 24}, {32, 32}, {48, 24}, {48, 32}}));
}

}  // namespace
