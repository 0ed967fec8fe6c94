#include "platform/host/x11/x11_pixels.h"

#include <bit>
#include <cstring>

namespace platform::host::x11 {
namespace {

// A mask as (shift, width), when its bits are one unbroken run.
std::optional<std::pair<int, int>> Run(std::uint32_t mask) {
  if (mask == 0) return std::nullopt;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  if ((mask >> shift) != ((bits == 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u)))) return std::nullopt;
  return std::pair{shift, bits};
}

}  // namespace

std::optional<PixelConverter> PixelConverter::For(const PixelLayout& layout) {
  const int bpp = layout.bitsPerPixel;
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return std::nullopt;
  const std::uint32_t masks[] = {layout.redMask, layout.greenMask, layout.blueMask};
  if ((masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2])) return std::nullopt;
  const std::uint32_t all = masks[0] | masks[1] | masks[2];
  if (bpp < 32 && (all >> bpp) != 0) return std::nullopt;
  PixelConverter c;
  Channel* channels[] = {&c.red_, &c.green_, &c.blue_};
  for (int i = 0; i < 3; ++i) {
    auto run = Run(masks[i]);
    if (!run) return std::nullopt;
    *channels[i] = Channel{run->first, run->second};
  }
  c.bytesPerPixel_ = bpp / 8;
  c.identity_ = bpp == 32 && layout.redMask == 0xFF0000 && layout.greenMask == 0x00FF00 && layout.blueMask == 0x0000FF;
  return c;
}

std::uint32_t PixelConverter::Scale(std::uint32_t value8, const Channel& channel) {
  // Rounded, so that full intensity stays full and black stays black at every width.
  const std::uint64_t top = (channel.bits >= 32) ? 0xFFFFFFFFull : ((1ull << channel.bits) - 1);
  const std::uint64_t scaled = (value8 * top + 127) / 255;
  return static_cast<std::uint32_t>(scaled << channel.shift);
}

std::uint32_t PixelConverter::Pixel(std::uint32_t rgb) const {
  return Scale((rgb >> 16) & 0xFF, red_) | Scale((rgb >> 8) & 0xFF, green_) | Scale(rgb & 0xFF, blue_);
}

void PixelConverter::ConvertRow(std::span<const std::uint32_t> source, std::byte* dest) const {
  for (const std::uint32_t rgb : source) {
    const std::uint32_t value = Pixel(rgb);
    switch (bytesPerPixel_) {
      case 1: {
        const auto v = static_cast<std::uint8_t>(value);
        std::memcpy(dest, &v, 1);
        break;
      }
      case 2: {
        const auto v = static_cast<std::uint16_t>(value);
        std::memcpy(dest, &v, 2);
        break;
      }
      case 3:
        // Three bytes, least significant first when this machine is little-endian.
        if constexpr (std::endian::native == std::endian::little) {
          std::memcpy(dest, &value, 3);
        } else {
          std::memcpy(dest, reinterpret_cast<const std::byte*>(&value) + 1, 3);
        }
        break;
      default:
        std::memcpy(dest, &value, 4);
        break;
    }
    dest += bytesPerPixel_;
  }
}

}  // namespace platform::host::x11
