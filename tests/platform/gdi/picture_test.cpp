// Pictures from resources: BMP bitmaps and ICO icons, their decoders on good and bad bytes, and
// how icons are drawn.
#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "platform/gdi/image_codec.h"
#include "tests/platform/gdi/canvas.h"

using platform::gdi::DecodeBmp;
using platform::gdi::DecodeIco;
using velmor::test::Canvas;
using velmor::test::IcoImage;
using velmor::test::MakeBmp;
using velmor::test::MakeIco;
using velmor::test::PutLe;

namespace {

// Three columns of 24-bit pixels make 9 bytes, so every row carries 3 bytes of padding.
std::uint32_t Pattern(int x, int y) { return 0x102030u * static_cast<std::uint32_t>(x + 1) + 0x010101u * static_cast<std::uint32_t>(y); }

constexpr WORD kTestBitmapId = 901;
constexpr WORD kTestIconId = 902;

// A little-endian field of `bytes` bytes at `at` overwritten with `value`.
struct Damage {
  const char* name;
  std::size_t at;
  std::uint32_t value;
  int bytes;
};
std::vector<std::uint8_t> Damaged(std::vector<std::uint8_t> file, const Damage& d) {
  PutLe(file, d.at, d.value, d.bytes);
  return file;
}

// Registered resources must outlive the registration; the tests keep theirs in statics.
template <WORD Type, WORD Id>
void Register(std::vector<std::uint8_t> bytes) {
  static std::vector<std::uint8_t> kept;
  kept = std::move(bytes);
  platform::RegisterResource(Type, Id, kept);
}

}  // namespace

TEST(BmpTest, DecodesBothRowOrdersWithPaddedRowsAndAFinalRowWithoutItsPadding) {
  for (const bool topDown : {false, true}) {
    auto bitmap = DecodeBmp(MakeBmp(3, 2, topDown, Pattern));
    ASSERT_TRUE(bitmap) << topDown;
    EXPECT_EQ(bitmap->width, 3);
    EXPECT_EQ(bitmap->height, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(bitmap->pixels[static_cast<std::size_t>(y * 3 + x)], Pattern(x, y)) << topDown << " " << x << "," << y;
  }
  auto file = MakeBmp(3, 2, false, Pattern);
  file.resize(file.size() - 3);
  EXPECT_TRUE(DecodeBmp(file));
}

TEST(BmpTest, RefusesMalformedFiles) {
  const auto good = MakeBmp(3, 2, false, Pattern);
  const std::vector<Damage> cases = {
      {"magic", 0, 'X', 1},
      {"pixel offset past the end", 10, 0x7FFFFFF0, 4},
      {"pixel offset inside the header", 10, 20, 4},
      {"header size past the end", 14, 0x10000, 4},
      {"unknown header size", 14, 20, 4},
      {"zero width", 18, 0, 4},
      {"negative width", 18, static_cast<std::uint32_t>(-3), 4},
      {"absurd width", 18, 1000000, 4},
      {"zero height", 22, 0, 4},
      {"most negative height", 22, 0x80000000u, 4},
      {"rows beyond the data", 22, 3, 4},
      {"two planes", 26, 2, 2},
      {"32 bits per pixel", 28, 32, 2},
      {"8 bits per pixel", 28, 8, 2},
      {"run-length compressed", 30, 1, 4},
  };
  for (const Damage& c : cases) EXPECT_FALSE(DecodeBmp(Damaged(good, c))) << c.name;
  for (std::size_t n = 0; n + 3 < good.size(); ++n) EXPECT_FALSE(DecodeBmp(std::span(good.data(), n))) << "prefix of " << n;
}

TEST(BmpTest, LoadBitmapGivesTheResourceAsABitmap) {
  Register<RT_BITMAP_ID, kTestBitmapId>(MakeBmp(3, 2, false, Pattern));
  HBITMAP bitmap = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(kTestBitmapId));
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 3);
  EXPECT_EQ(bm.bmHeight, 2);

  HDC memory = CreateCompatibleDC(nullptr);
  SelectObject(memory, bitmap);
  EXPECT_EQ(GetPixel(memory, 2, 1), RGB(0x31, 0x61, 0x91));
  // Loads share one decoded picture, yet drawing on one load leaves the others as loaded.
  HBITMAP again = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(kTestBitmapId));
  const RECT all{0, 0, 3, 2};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(platform::gdi::BitmapSurface(bitmap)->At(2, 1), 0xFFFFFFu);
  EXPECT_EQ(platform::gdi::BitmapSurface(again)->At(2, 1), Pattern(2, 1));
  DeleteObject(again);
  DeleteDC(memory);
  DeleteObject(bitmap);

  EXPECT_EQ(LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(kTestBitmapId + 50)), nullptr);
  Register<RT_BITMAP_ID, kTestBitmapId>(Damaged(MakeBmp(3, 2, false, Pattern), {"8 bits per pixel", 28, 8, 2}));
  EXPECT_EQ(LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(kTestBitmapId)), nullptr);
  platform::UnregisterResource(RT_BITMAP_ID, kTestBitmapId);
}

namespace {

// A 32-bit image with a transparent left column, a half-transparent second column and opaque
// blue elsewhere; a 24-bit one that is red with a masked-out left column.
IcoImage AlphaImage(int size) {
  return {size, 32, [](int x, int) -> std::uint32_t { return x == 0 ? 0x00FFFFFFu : x == 1 ? 0x800000FFu : 0xFF0000FFu; }};
}
IcoImage MaskedImage(int size) {
  return {size, 24, [](int x, int) -> std::uint32_t { return x == 0 ? 0x00000000u : 0xFFFF0000u; }};
}

}  // namespace

TEST(IcoTest, DecodesAlphaAndMaskedImagesAndSkipsPng) {
  auto file = MakeIco({AlphaImage(16), MaskedImage(32)});
  auto png = MakeIco({AlphaImage(8)});
  const std::size_t pngStart = 6 + 16;
  const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::copy(std::begin(signature), std::end(signature), png.begin() + pngStart);
  EXPECT_FALSE(DecodeIco(png)) << "a file of nothing but PNG has no usable image";

  auto images = DecodeIco(file);
  ASSERT_TRUE(images);
  ASSERT_EQ(images->size(), 2u);
  const auto& alpha = (*images)[0];
  EXPECT_EQ(alpha.width, 16);
  EXPECT_EQ(alpha.argb[0] >> 24, 0u);
  EXPECT_EQ(alpha.argb[1], 0x800000FFu);
  const auto& masked = (*images)[1];
  EXPECT_EQ(masked.bitCount, 24);
  EXPECT_EQ(masked.argb[32 * 5], 0x00000000u);
  EXPECT_EQ(masked.argb[32 * 5 + 7], 0xFFFF0000u);
}

TEST(IcoTest, RefusesDamagedDirectories) {
  const auto good = MakeIco({AlphaImage(16)});
  const std::vector<Damage> cases = {
      {"reserved", 0, 1, 2},       {"type cursor", 2, 2, 2},       {"no images", 4, 0, 2},
      {"more entries than bytes", 4, 500, 2}, {"image past the end", 6 + 12, 0x7FFFFFF0, 4},
      {"image longer than the file", 6 + 8, 0xFFFFFFFF, 4}, {"8-bit image", 22 + 14, 8, 2},
      {"odd doubled height", 22 + 8, 33, 4}, {"oversized image", 22 + 4, 4096, 4},
  };
  for (const Damage& c : cases) EXPECT_FALSE(DecodeIco(Damaged(good, c))) << c.name;
  for (std::size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(DecodeIco(std::span(good.data(), n))) << "prefix of " << n;
}

TEST(IconTest, DrawIconBlendsTheIconSizedImage) {
  Register<RT_GROUP_ICON_ID, kTestIconId>(MakeIco({MaskedImage(16), AlphaImage(32), MaskedImage(32), MaskedImage(48)}));
  HICON icon = LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(kTestIconId));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(kTestIconId)), icon) << "icons from resources are shared";

  Canvas canvas(40, 40, 0x00FF00);
  ASSERT_TRUE(DrawIcon(canvas.dc, 4, 2, icon));
  EXPECT_EQ(canvas.At(4, 2), 0x00FF00u) << "transparent";
  EXPECT_EQ(canvas.At(5, 2), 0x007F80u) << "half blue over green";
  EXPECT_EQ(canvas.At(6, 33), 0x0000FFu) << "the 32-bit image, not a 24-bit one";
  EXPECT_EQ(canvas.At(6, 34), 0x00FF00u);
  EXPECT_EQ(canvas.At(36, 10), 0x00FF00u);

  EXPECT_EQ(platform::gdi::IconImage(icon, 16).size(), 256u);
  EXPECT_EQ(platform::gdi::IconImage(icon, 32)[1], 0x800000FFu);
  EXPECT_TRUE(platform::gdi::IconImage(icon, 24).empty());
  EXPECT_TRUE(DestroyIcon(icon));
  platform::UnregisterResource(RT_GROUP_ICON_ID, kTestIconId);
}

TEST(IconTest, WithoutAnIconSizedImageTheNextLargerIsScaled) {
  Register<RT_GROUP_ICON_ID, kTestIconId + 1>(MakeIco({MaskedImage(16), MaskedImage(64)}));
  HICON icon = LoadIconW(platform::ResourceModule(), MAKEINTRESOURCEW(kTestIconId + 1));
  Canvas canvas(32, 32, 0x00FF00);
  ASSERT_TRUE(DrawIcon(canvas.dc, 0, 0, icon));
  EXPECT_EQ(canvas.At(0, 0), 0x00FF00u) << "the masked column of the 64-pixel image";
  EXPECT_EQ(canvas.At(1, 0), 0xFF0000u) << "a 16-pixel image would have masked this column too";
  EXPECT_EQ(canvas.At(31, 31), 0xFF0000u);
  platform::UnregisterResource(RT_GROUP_ICON_ID, kTestIconId + 1);
}
