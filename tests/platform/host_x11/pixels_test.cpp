// Framebuffer pixels in the layouts of X TrueColor visuals.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/host/x11/x11_pixels.h"

namespace platform::host::x11 {
namespace {

TEST(PixelLayout, OnlyPackedTrueColorLayoutsAreServedAndEachChannelIsScaledIntoItsMaskWithRounding) {
  struct Case {
    const char* what;
    PixelLayout layout;
    bool served;
    std::uint32_t rgb, pixel;
  };
  const PixelLayout rgb565{16, 0xF800, 0x07E0, 0x001F}, deep{32, 0x3FF00000, 0x000FFC00, 0x000003FF};
  const Case cases[] = {
      {"32-bit RGB: the words as they are", PixelLayout{}, true, 0x123456, 0x123456},
      {"32-bit BGR swaps red and blue", {32, 0x0000FF, 0x00FF00, 0xFF0000}, true, 0x123456, 0x563412},
      {"30-bit white", deep, true, 0xFFFFFF, 0x3FFFFFFF},
      {"30-bit green", deep, true, 0x00FF00, 0x000FFC00},
      {"24-bit packed", {24, 0xFF0000, 0x00FF00, 0x0000FF}, true, 0x123456, 0x123456},
      {"565 white", rgb565, true, 0xFFFFFF, 0xFFFF},
      {"565 grey", rgb565, true, 0x808080, 0x8410},
      {"565 just below a step rounds up", rgb565, true, 0x050000, 0x0800},
      {"15-bit 555 white", {16, 0x7C00, 0x03E0, 0x001F}, true, 0xFFFFFF, 0x7FFF},
      {"8-bit 332 white", {8, 0xE0, 0x1C, 0x03}, true, 0xFFFFFF, 0xFF},
      {"12 bits per pixel", {12, 0xF00, 0x0F0, 0x00F}, false, 0, 0},
      {"overlapping masks", {32, 0xFF0000, 0x01FF00, 0x0000FF}, false, 0, 0},
      {"mask wider than the pixel", {16, 0xFF0000, 0x00FF00, 0x0000FF}, false, 0, 0},
      {"mask with a gap", {32, 0xF0F000, 0x000F00, 0x0000FF}, false, 0, 0},
      {"empty mask", {32, 0xFF0000, 0, 0x0000FF}, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto converter = PixelConverter::For(c.layout);
    ASSERT_EQ(converter.has_value(), c.served);
    if (!converter) continue;
    // A row of two pixels, in this machine's byte order, and not a byte past it.
    const auto size = static_cast<std::size_t>(converter->BytesPerPixel());
    ASSERT_EQ(size * 8, static_cast<std::size_t>(c.layout.bitsPerPixel));
    const std::uint32_t row[] = {0, c.rgb};
    std::vector<std::byte> out(size * 2 + 1, std::byte{0xEE});
    converter->ConvertRow(row, out.data());
    std::uint32_t value = 0;
    const std::size_t at = std::endian::native == std::endian::little ? 0 : 4 - size;
    std::memcpy(reinterpret_cast<std::byte*>(&value) + at, out.data() + size, size);
    EXPECT_EQ(value, c.pixel);
    EXPECT_EQ(out.back(), std::byte{0xEE});
  }
}

}  // namespace
}  // namespace platform::host::x11
