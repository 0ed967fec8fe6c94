// The embedded skin and icon as the program loads them: sizes, depths and the icon's eight images;
// the skin drawn at twice the size too.
#include <gtest/gtest.h>

#include <set>

#include "platform/gdi/gdi.h"
#include "platform/gdi/image_codec.h"
#include "res/program_resources.h"
#include "res/resource.h"

namespace {

std::optional<platform::gdi::DecodedBitmap> Picture(WORD id, int scale = 1) {
  RegisterProgramResources();
  const auto bytes = platform::FindResourceBytes(RT_BITMAP_ID, MAKEINTRESOURCEW(id), scale);
  return bytes ? platform::gdi::DecodeBmp(*bytes) : std::nullopt;
}

TEST(Resources, TheBitmapsLoadWithTheirSizesAndTwiceThemAtScaleTwo) {
  const std::pair<std::vector<WORD>, SIZE> groups[] = {
      {{IDB_BACKGROUND}, {358, 327}},
      {{IDB_MINIMIZE_PRESSED, IDB_MINIMIZE_HOVER, IDB_MINIMIZE_NORMAL, IDB_CLOSE_PRESSED, IDB_CLOSE_HOVER, IDB_CLOSE_NORMAL}, {18, 24}},
      {{IDB_SETTINGS_PRESSED, IDB_SETTINGS_DISABLED, IDB_SETTINGS_HOVER, IDB_SETTINGS_NORMAL}, {160, 58}},
  };
  for (const auto& [ids, size] : groups) {
    for (WORD id : ids) {
      for (int scale : {1, 2}) {
        auto picture = Picture(id, scale);
        ASSERT_TRUE(picture) << id << " at " << scale;
        EXPECT_EQ(std::make_pair(picture->width, picture->height), std::make_pair(int{size.cx} * scale, int{size.cy} * scale)) << id;
      }
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
  EXPECT_EQ(seen, (std::set<std::pair<int, int>>{{16, 24}, {16, 32}, {24, 24}, {24, 32}, {32, 24}, {32, 32}, {48, 24}, {48, 32}}));
}

}  // namespace
