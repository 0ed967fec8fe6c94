// Pictures from resources: the BMP and ICO decoders, loading them, and how icons are drawn. The
// decoders only ever read the program's own resources: no fuzz target, no damaged files.
#include <gtest/gtest.h>

#include "platform/gdi/image_codec.h"
#include "tests/platform/gdi/canvas.h"
#include "tests/support/headless/test_bitmaps.h"

namespace velmor::test {
namespace {

using platform::gdi::DecodeBmp;
using platform::gdi::DecodeIco;

// Three columns of 24-bit pixels make 9 bytes, so every row carries 3 bytes of padding.
std::uint32_t Pattern(int x, int y) { return 0x102030u * static_cast<std::uint32_t>(x + 1) + 0x010101u * static_cast<std::uint32_t>(y); }

TEST(Bmp, DecodesBottomUpPaddedRows) {
  auto bitmap = DecodeBmp(MakeBmp(3, 2, Pattern));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->pixels, (std::vector<std::uint32_t>{Pattern(0, 0), Pattern(1, 0), Pattern(2, 0), Pattern(0, 1), Pattern(1, 1), Pattern(2, 1)}));
}

// (Its pixels are seen by the BitBlt tests, a missing one by the controls' test.)
TEST(Bmp, LoadBitmapGivesTheResourceAsABitmapOfItsSize) {
  RegisterTestBitmap(901, 3, 2, Pattern);
  HBITMAP bitmap = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(901));
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth * 10 + bm.bmHeight, 32);
  DeleteObject(bitmap);
}

// A 32-bit image: transparent left column, half-transparent second column, opaque red bottom
// row, opaque blue elsewhere. A 24-bit one: green with a masked-out left column.
IcoImage AlphaImage(int size) {
  return {size, 32, [size](int x, int y) -> std::uint32_t {
            return x == 0 ? 0x00FFFFFFu : x == 1 ? 0x800000FFu : y == size - 1 ? 0xFFFF0000u : 0xFF0000FFu;
          }};
}
IcoImage MaskedImage(int size) { return {size, 24, [](int x, int) -> std::uint32_t { return x == 0 ? 0 : 0xFF00FF00u; }}; }

TEST(Icon, DecodesAlphaAndMaskedImagesAndDrawIconBlendsTheIconSizedThirtyTwoBitOne) {
  static const auto file = MakeIco({MaskedImage(16), MaskedImage(32), AlphaImage(32), MaskedImage(48)});
  const auto images = DecodeIco(file);
  ASSERT_TRUE(images);
  ASSERT_EQ(images->size(), 4u);
  const auto& masked = (*images)[1].argb;
  EXPECT_EQ(masked[32 * 5] >> 24, 0u);
  EXPECT_EQ(masked[32 * 5 + 7], 0xFF00FF00u);
  const auto& alpha = (*images)[2].argb;
  EXPECT_EQ(std::vector<std::uint32_t>(alpha.begin(), alpha.begin() + 3), (std::vector<std::uint32_t>{0x00FFFFFF, 0x800000FF, 0xFF0000FF}));
  EXPECT_EQ(alpha[32 * 31 + 2], 0xFFFF0000u);

  platform::RegisterResource(RT_GROUP_ICON_ID, 902, file);
  static const auto larger = MakeIco({AlphaImage(64)});  // the sizes a screen of scale 2 wants
  platform::RegisterResource(RT_GROUP_ICON_ID, 902, larger, 2);
  HICON icon = LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(902));
  ASSERT_NE(icon, nullptr);
  Canvas canvas(40, 40, 0x00FF00);
  ASSERT_TRUE(DrawIcon(canvas.dc, 4, 2, icon));
  const std::pair<POINT, std::uint32_t> pixels[] = {
      {{4, 2}, 0x00FF00}, {{5, 2}, 0x007F80}, {{6, 2}, 0x0000FF}, {{6, 33}, 0xFF0000}, {{6, 34}, 0x00FF00}, {{36, 10}, 0x00FF00}};
  for (const auto& [p, color] : pixels) EXPECT_EQ(canvas.At(p.x, p.y), color) << p.x << "," << p.y;
  EXPECT_EQ(platform::gdi::IconImage(icon, 32)[1], 0x800000FFu);
  EXPECT_EQ(platform::gdi::IconImage(icon, 16).size(), 256u);
  EXPECT_EQ(platform::gdi::IconImage(icon, 64)[1], 0x800000FFu) << "from the images drawn for scale 2";
}

}  // namespace
}  // namespace velmor::test
