// Framebuffer pixels (0x00RRGGBB) in the layout of an X TrueColor visual.
//
// The screen's visual decides how many bits each pixel takes and where red, green and blue sit;
// the common 24- and 32-bit visuals take the framebuffer's words as they are, the others get
// each channel scaled into its mask. Pixels are written in this machine's byte order; the XImage
// that carries them says so, and Xlib swaps for a server of the other order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform::host::x11 {

struct PixelLayout {
  int bitsPerPixel = 32;  // 8, 16, 24 or 32
  std::uint32_t redMask = 0xFF0000;
  std::uint32_t greenMask = 0x00FF00;
  std::uint32_t blueMask = 0x0000FF;
};

class PixelConverter {
 public:
  // Null when the layout cannot be served: another pixel size, or masks that are empty,
  // overlap, have gaps or do not fit in the pixel.
  static std::optional<PixelConverter> For(const PixelLayout& layout);

  int BytesPerPixel() const { return bytesPerPixel_; }
  // Whether the framebuffer's words are the screen's pixels as they are.
  bool Identity() const { return identity_; }
  // Writes `source.size()` pixels to `dest` (BytesPerPixel() bytes each, this machine's order).
  void ConvertRow(std::span<const std::uint32_t> source, std::byte* dest) const;

 private:
  struct Channel {
    int shift = 0;
    int bits = 0;
  };
  PixelConverter() = default;
  std::uint32_t Pixel(std::uint32_t rgb) const;
  static std::uint32_t Scale(std::uint32_t value8, const Channel& channel);

  int bytesPerPixel_ = 4;
  // The framebuffer's words are the pixels already (32 bits, red, green and blue bytes in place).
  bool identity_ = false;
  Channel red_, green_, blue_;
};

}  // namespace platform::host::x11
