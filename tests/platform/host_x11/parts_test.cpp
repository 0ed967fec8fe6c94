// The X11 host's pieces that need no screen: pixel layouts and key symbols.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <cstring>

#include "platform/host/x11/x11_keys.h"
#include "platform/host/x11/x11_pixels.h"
#include "platform/ui/ui.h"

namespace platform::host::x11 {
namespace {

TEST(PixelLayout, OnlyPackedTrueColorLayoutsAreServedAndChannelsAreScaledIntoTheirMasksWithRounding) {
  struct Case {
    const char* what;
    PixelLayout layout;
    bool served;
    std::uint32_t rgb, pixel;
  };
  const PixelLayout rgb565{16, 0xF800, 0x07E0, 0x001F}, deep{32, 0x3FF00000, 0x000FFC00, 0x000003FF};
  const Case cases[] = {
      {"32-bit RGB: the words as they are, less the unused byte", PixelLayout{}, true, 0xAB123456, 0x123456},
      {"32-bit BGR swaps red and blue", {32, 0x0000FF, 0x00FF00, 0xFF0000}, true, 0x123456, 0x563412},
      {"30-bit white", deep, true, 0xFFFFFF, 0x3FFFFFFF},
      {"30-bit green", deep, true, 0x00FF00, 0x000FFC00},
      {"24-bit packed", {24, 0xFF0000, 0x00FF00, 0x0000FF}, true, 0x123456, 0x123456},
      {"565 white", rgb565, true, 0xFFFFFF, 0xFFFF},
      {"565 black", rgb565, true, 0x000000, 0x0000},
      {"565 red", rgb565, true, 0xFF0000, 0xF800},
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
    EXPECT_EQ(converter->BytesPerPixel(), c.layout.bitsPerPixel / 8);
    EXPECT_EQ(converter->Pixel(c.rgb), c.pixel);
  }
}

TEST(PixelLayout, RowsAreWrittenInThisMachinesByteOrder) {
  const std::uint32_t row[] = {0xFF0000, 0x0000FF, 0x123456};
  struct Case {
    PixelLayout layout;
    std::vector<std::uint32_t> pixels;
  };
  const Case cases[] = {
      {PixelLayout{}, {0xFF0000, 0x0000FF, 0x123456}},
      {PixelLayout{16, 0xF800, 0x07E0, 0x001F}, {0xF800, 0x001F, 0x11AA}},
      {PixelLayout{24, 0xFF0000, 0x00FF00, 0x0000FF}, {0xFF0000, 0x0000FF, 0x123456}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout.bitsPerPixel);
    const auto converter = PixelConverter::For(c.layout);
    ASSERT_TRUE(converter);
    const auto size = static_cast<std::size_t>(converter->BytesPerPixel());
    std::vector<std::byte> out(size * 3 + 1, std::byte{0xEE});
    converter->ConvertRow(row, out.data());
    for (std::size_t i = 0; i < 3; ++i) {
      std::uint32_t value = 0;
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, out.data() + i * size, size);
      } else {
        std::memcpy(reinterpret_cast<std::byte*>(&value) + (4 - size), out.data() + i * size, size);
      }
      EXPECT_EQ(value, c.pixels[i]) << "pixel " << i;
    }
    EXPECT_EQ(out.back(), std::byte{0xEE}) << "nothing written past the row";
  }
}

TEST(Keysyms, BecomeTheVirtualKeyCodesOfTheirKeys) {
  struct Case {
    unsigned long keysym;
    UINT vk;
  };
  const Case cases[] = {
      {XK_a, 'A'},          {XK_A, 'A'},         {XK_z, 'Z'},          {XK_q, 'Q'},
      {XK_0, '0'},          {XK_9, '9'},         {XK_Return, VK_RETURN}, {XK_KP_Enter, VK_RETURN},
      {XK_Escape, VK_ESCAPE}, {XK_Tab, VK_TAB},  {XK_ISO_Left_Tab, VK_TAB}, {XK_BackSpace, VK_BACK},
      {XK_space, VK_SPACE}, {XK_Shift_L, VK_SHIFT}, {XK_Shift_R, VK_SHIFT}, {XK_Control_L, VK_CONTROL},
      {XK_Control_R, VK_CONTROL}, {XK_Alt_L, VK_MENU}, {XK_Alt_R, VK_MENU}, {XK_Meta_L, VK_MENU},
      {XK_F1, VK_F1},       {XK_F4, VK_F4},      {XK_F10, VK_F10},     {XK_F12, VK_F12},
      {XK_Left, VK_LEFT},   {XK_Up, VK_UP},      {XK_Right, VK_RIGHT}, {XK_Down, VK_DOWN},
      {XK_Home, VK_HOME},   {XK_KP_Home, VK_HOME}, {XK_Delete, VK_DELETE}, {XK_Prior, VK_PRIOR},
      {XK_KP_0, 0x60},      {XK_KP_7, 0x67},     {XK_semicolon, 0xBA}, {XK_minus, 0xBD},
      {XK_Cyrillic_a, 0},   {XK_Kanji, 0},       {0 /* NoSymbol */, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeyFromKeysym(c.keysym), c.vk) << "keysym 0x" << std::hex << c.keysym;
  }
}

}  // namespace
}  // namespace platform::host::x11
