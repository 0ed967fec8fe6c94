// The embedded skin and icon as the program loads them: sizes, depths, the seamless glyphs, and the
// icon's eight images.
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

TEST(Resources, TheNormalGlyphsSitSeamlesslyOnTheBackground) {
  const auto bg = Picture(IDB_BACKGROUND);
  ASSERT_TRUE(bg);
  // (The frame around the SSID and the dark bar under the title are seen on the main window.)
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
