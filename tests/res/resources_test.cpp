// The embedded resources as the loaders will find them: BMP and icon files read byte by byte,
// independent of the drawing layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>

#include "platform/base/resources.h"
#include "res/program_resources.h"
#include "res/resource.h"

namespace {

std::uint32_t U32(std::span<const BYTE> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(std::span<const BYTE> b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }
std::int32_t I32(std::span<const BYTE> b, std::size_t at) { return static_cast<std::int32_t>(U32(b, at)); }

std::span<const BYTE> Resource(WORD type, WORD id) {
  RegisterProgramResources();
  auto bytes = platform::FindResourceBytes(type, MAKEINTRESOURCEW(id));
  return bytes ? *bytes : std::span<const BYTE>{};
}

// A 24-bit bottom-up BMP, checked as it is read.
struct Bmp {
  std::span<const BYTE> file;
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  std::size_t bits = 0;

  static Bmp Parse(WORD id) {
    SCOPED_TRACE(testing::Message() << "bitmap " << id);
    Bmp b;
    b.file = Resource(RT_BITMAP_ID, id);
    EXPECT_GE(b.file.size(), 54u);
    if (b.file.size() < 54) return b;
    EXPECT_EQ(b.file[0], 'B');
    EXPECT_EQ(b.file[1], 'M');
    EXPECT_EQ(U32(b.file, 2), b.file.size()) << "file size field";
    EXPECT_EQ(U32(b.file, 14), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(U16(b.file, 26), 1u);
    EXPECT_EQ(U16(b.file, 28), 24u) << "bits per pixel";
    EXPECT_EQ(U32(b.file, 30), 0u) << "compression";
    b.width = I32(b.file, 18);
    b.height = I32(b.file, 22);
    b.bits = U32(b.file, 10);
    b.stride = (static_cast<std::size_t>(b.width) * 3 + 3) & ~std::size_t{3};
    EXPECT_GT(b.height, 0) << "bottom-up rows";
    EXPECT_EQ(b.bits + b.stride * static_cast<std::size_t>(b.height), b.file.size());
    return b;
  }

  // RGB of the pixel at (x, y), y counted from the top.
  COLORREF At(int x, int y) const {
    const std::size_t at = bits + static_cast<std::size_t>(height - 1 - y) * stride + static_cast<std::size_t>(x) * 3;
    return RGB(file[at + 2], file[at + 1], file[at]);
  }
};

TEST(ResourcesTest, BitmapsAre24BitWithTheirSizes) {
  struct Case {
    WORD id;
    int width, height;
  };
  const Case cases[] = {
      {IDB_BACKGROUND, 358, 327},       {IDB_MINIMIZE_PRESSED, 18, 24},  {IDB_MINIMIZE_HOVER, 18, 24},
      {IDB_MINIMIZE_NORMAL, 18, 24},    {IDB_CLOSE_PRESSED, 18, 24},     {IDB_CLOSE_HOVER, 18, 24},
      {IDB_CLOSE_NORMAL, 18, 24},       {IDB_SETTINGS_PRESSED, 160, 58}, {IDB_SETTINGS_DISABLED, 160, 58},
      {IDB_SETTINGS_HOVER, 160, 58},    {IDB_SETTINGS_NORMAL, 160, 58},
  };
  for (const Case& c : cases) {
    const Bmp b = Bmp::Parse(c.id);
    EXPECT_EQ(b.width, c.width) << "bitmap " << c.id;
    EXPECT_EQ(b.height, c.height) << "bitmap " << c.id;
  }
}

TEST(ResourcesTest, BackgroundHasTheSsidFrameTheDarkTopBarAndTheNormalGlyphsSeamlessly) {
  const Bmp bg = Bmp::Parse(IDB_BACKGROUND);
  ASSERT_EQ(bg.width, 358);
  // The straight runs of the SSID's rounded frame at columns 99..258, rows 252..272: exactly olive.
  const COLORREF olive = RGB(74, 69, 42);
  for (int x = 105; x <= 252; ++x) {
    EXPECT_EQ(bg.At(x, 252), olive) << "top edge x " << x;
    EXPECT_EQ(bg.At(x, 272), olive) << "bottom edge x " << x;
    EXPECT_NE(bg.At(x, 253), olive) << "inside, x " << x;
  }
  for (int y = 258; y <= 266; ++y) {
    EXPECT_EQ(bg.At(99, y), olive) << "left edge y " << y;
    EXPECT_EQ(bg.At(258, y), olive) << "right edge y " << y;
    EXPECT_NE(bg.At(98, y), olive) << "outside, y " << y;
  }
  // Dark grey between the emblem and the glyphs, where the title is drawn.
  for (int y = 2; y <= 21; ++y) {
    for (int x = 26; x < 300; x += 7) {
      const COLORREF c = bg.At(x, y);
      for (int channel : {GetRValue(c), GetGValue(c), GetBValue(c)}) EXPECT_LE(std::abs(channel - 62), 6) << x << "," << y;
    }
  }
  for (const auto& [id, left] : {std::pair<WORD, int>{IDB_MINIMIZE_NORMAL, 307}, {IDB_CLOSE_NORMAL, 330}}) {
    const Bmp glyph = Bmp::Parse(id);
    ASSERT_EQ(glyph.width, 18);
    int differing = 0;
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 18; ++x) differing += glyph.At(x, y) != bg.At(left + x, y);
    }
    EXPECT_EQ(differing, 0) << "glyph " << id;
  }
}

TEST(ResourcesTest, IconHoldsEightDibImagesOneOfEachSizeAndDepth) {
  const std::span<const BYTE> ico = Resource(RT_GROUP_ICON_ID, IDR_MAINFRAME);
  ASSERT_GE(ico.size(), 6u + 8 * 16);
  EXPECT_EQ(U16(ico, 0), 0u);
  EXPECT_EQ(U16(ico, 2), 1u);
  ASSERT_EQ(U16(ico, 4), 8u);
  std::set<std::pair<int, int>> seen;  // (size, bits)
  for (std::size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(testing::Message() << "entry " << i);
    const std::size_t e = 6 + i * 16;
    const int size = ico[e];
    const int bits = U16(ico, e + 6);
    const std::uint32_t bytes = U32(ico, e + 8);
    const std::uint32_t offset = U32(ico, e + 12);
    EXPECT_EQ(ico[e + 1], size);
    ASSERT_LE(std::size_t{offset} + bytes, ico.size());
    const std::span<const BYTE> dib = ico.subspan(offset, bytes);
    ASSERT_GE(dib.size(), 40u);
    EXPECT_EQ(U32(dib, 0), 40u) << "a DIB, not a PNG";
    EXPECT_EQ(I32(dib, 4), size);
    EXPECT_EQ(I32(dib, 8), 2 * size) << "colour and mask halves";
    EXPECT_EQ(U16(dib, 14), bits);
    const std::size_t colourRow = (static_cast<std::size_t>(size) * static_cast<std::size_t>(bits) / 8 + 3) & ~std::size_t{3};
    const std::size_t maskRow = (static_cast<std::size_t>(size) + 31) / 32 * 4;
    EXPECT_EQ(dib.size(), 40 + (colourRow + maskRow) * static_cast<std::size_t>(size));
    // The AND mask (rows bottom-up after the colour rows): the corners show through, the disc
    // does not.
    const std::size_t mask = 40 + colourRow * static_cast<std::size_t>(size);
    const auto transparent = [&](int x, int y) {
      const std::size_t at = mask + static_cast<std::size_t>(size - 1 - y) * maskRow + static_cast<std::size_t>(x) / 8;
      return (dib[at] & (0x80 >> (x % 8))) != 0;
    };
    EXPECT_TRUE(transparent(0, 0));
    EXPECT_FALSE(transparent(size / 2, size / 2));
    seen.insert({size, bits});
  }
  std::set<std::pair<int, int>> expected;
  for (int size : {16, 24, 32, 48})
    for (int bits : {24, 32}) expected.insert({size, bits});
  EXPECT_EQ(seen, expected);
}

}  // namespace
