// Pictures from resources: the BMP and ICO decoders on good and damaged bytes, loading them as
// bitmaps and icons, and how icons are drawn.
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

// `file` with a little-endian field of `bytes` bytes at `at` overwritten by `value`.
struct Damage {
  const char* name;
  std::size_t at;
  std::uint32_t value;
  int bytes;
};
std::vector<std::uint8_t> Damaged(std::vector<std::uint8_t> file, const Damage& d) {
  for (int i = 0; i < d.bytes; ++i) file[d.at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(d.value >> (8 * i));
  return file;
}

TEST(Bmp, DecodesBottomUpPaddedRowsAndRefusesDamagedFiles) {
  auto file = MakeBmp(3, 2, Pattern);
  auto bitmap = DecodeBmp(file);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->width, 3);
  EXPECT_EQ(bitmap->pixels, (std::vector<std::uint32_t>{Pattern(0, 0), Pattern(1, 0), Pattern(2, 0), Pattern(0, 1), Pattern(1, 1), Pattern(2, 1)}));
  const Damage cases[] = {
      {"magic", 0, 'X', 1},          {"pixel offset past the end", 10, 0x7FFFFFF0, 4}, {"pixel offset inside the header", 10, 20, 4},
      {"short header", 14, 12, 4},   {"header past the end", 14, 0x10000, 4},          {"absurd width", 18, 1000000, 4},
      {"top-down", 22, static_cast<std::uint32_t>(-2), 4},                              {"rows beyond the data", 22, 3, 4},
      {"8 bits per pixel", 28, 8, 2}, {"compressed", 30, 1, 4},
  };
  for (const Damage& c : cases) EXPECT_FALSE(DecodeBmp(Damaged(file, c))) << c.name;
  for (std::size_t n = 0; n + 3 < file.size(); ++n) EXPECT_FALSE(DecodeBmp(std::span(file.data(), n))) << n;
  file.resize(file.size() - 3);  // a last row without its padding, as lax writers leave it
  EXPECT_TRUE(DecodeBmp(file));
}

TEST(Bmp, LoadBitmapGivesTheResourceAsABitmapAndNothingForAMissingOrDamagedOne) {
  RegisterTestBitmap(901, 3, 2, Pattern);
  HBITMAP bitmap = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(901));
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth * 10 + bm.bmHeight, 32);
  // Loads share one decoded picture, yet drawing on one load leaves the others as loaded.
  HDC memory = CreateCompatibleDC(nullptr);
  SelectObject(memory, bitmap);
  HBITMAP again = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(901));
  const RECT all{0, 0, 3, 2};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(platform::gdi::BitmapSurface(bitmap)->At(2, 1), 0xFFFFFFu);
  EXPECT_EQ(platform::gdi::BitmapSurface(again)->At(2, 1), Pattern(2, 1));
  DeleteObject(again);
  DeleteDC(memory);
  DeleteObject(bitmap);
  EXPECT_EQ(LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(951)), nullptr);
  RegisterTestBitmap(901, 3, 0, Pattern);
  EXPECT_EQ(LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(901)), nullptr);
  platform::UnregisterResource(RT_BITMAP_ID, 901);
}

// A 32-bit image: transparent left column, half-transparent second column, opaque red bottom
// row, opaque blue elsewhere. A 24-bit one: green with a masked-out left column.
IcoImage AlphaImage(int size) {
  return {size, 32, [size](int x, int y) -> std::uint32_t {
            return x == 0 ? 0x00FFFFFFu : x == 1 ? 0x800000FFu : y == size - 1 ? 0xFFFF0000u : 0xFF0000FFu;
          }};
}
IcoImage MaskedImage(int size) { return {size, 24, [](int x, int) -> std::uint32_t { return x == 0 ? 0 : 0xFF00FF00u; }}; }

TEST(Ico, DecodesAlphaAndMaskedImagesAndRefusesDamagedDirectories) {
  const auto file = MakeIco({AlphaImage(16), MaskedImage(32)});
  auto images = DecodeIco(file);
  ASSERT_TRUE(images);
  ASSERT_EQ(images->size(), 2u);
  const auto& alpha = (*images)[0].argb;
  EXPECT_EQ(std::vector<std::uint32_t>(alpha.begin(), alpha.begin() + 3), (std::vector<std::uint32_t>{0x00FFFFFF, 0x800000FF, 0xFF0000FF}));
  EXPECT_EQ(alpha[16 * 15 + 2], 0xFFFF0000u);
  const auto& masked = (*images)[1].argb;
  EXPECT_EQ(masked[32 * 5] >> 24, 0u);
  EXPECT_EQ(masked[32 * 5 + 7], 0xFF00FF00u);
  auto png = MakeIco({AlphaImage(8)});
  std::ranges::copy(std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, png.begin() + 22);
  EXPECT_FALSE(DecodeIco(png)) << "a file of nothing but PNG has no usable image";
  const Damage cases[] = {
      {"type cursor", 2, 2, 2},         {"more entries than bytes", 4, 500, 2}, {"image past the end", 18, 0x7FFFFFF0, 4},
      {"image longer than the file", 14, 0xFFFFFFFF, 4}, {"8-bit image", 22 + 14, 8, 2}, {"oversized image", 22 + 4, 4096, 4},
  };
  const auto one = MakeIco({AlphaImage(16)});
  for (const Damage& c : cases) EXPECT_FALSE(DecodeIco(Damaged(one, c))) << c.name;
  for (std::size_t n = 0; n < one.size(); ++n) EXPECT_FALSE(DecodeIco(std::span(one.data(), n))) << n;
}

TEST(Icon, DrawIconBlendsTheIconSizedThirtyTwoBitImageAndLoadingIsShared) {
  static const auto file = MakeIco({MaskedImage(16), MaskedImage(32), AlphaImage(32), MaskedImage(48)});
  platform::RegisterResource(RT_GROUP_ICON_ID, 902, file);
  HICON icon = LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(902));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(902)), icon);
  Canvas canvas(40, 40, 0x00FF00);
  ASSERT_TRUE(DrawIcon(canvas.dc, 4, 2, icon));
  const std::pair<POINT, std::uint32_t> pixels[] = {
      {{4, 2}, 0x00FF00}, {{5, 2}, 0x007F80}, {{6, 2}, 0x0000FF}, {{6, 33}, 0xFF0000}, {{6, 34}, 0x00FF00}, {{36, 10}, 0x00FF00}};
  for (const auto& [p, color] : pixels) EXPECT_EQ(canvas.At(p.x, p.y), color) << p.x << "," << p.y;
  EXPECT_EQ(platform::gdi::IconImage(icon, 32)[1], 0x800000FFu);
  EXPECT_EQ(platform::gdi::IconImage(icon, 16).size(), 256u);
  EXPECT_TRUE(platform::gdi::IconImage(icon, 24).empty());
  platform::UnregisterResource(RT_GROUP_ICON_ID, 902);
}

}  // namespace
}  // namespace velmor::test
