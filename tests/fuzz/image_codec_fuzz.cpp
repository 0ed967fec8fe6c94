// Feeds arbitrary files to the BMP and icon decoders; whatever they accept must be whole.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/gdi/image_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  if (const auto bitmap = platform::gdi::DecodeBmp(file)) {
    if (bitmap->width <= 0 || bitmap->height <= 0) __builtin_trap();
    if (bitmap->pixels.size() != static_cast<std::size_t>(bitmap->width) * static_cast<std::size_t>(bitmap->height)) {
      __builtin_trap();
    }
  }
  if (const auto icons = platform::gdi::DecodeIco(file)) {
    if (icons->empty()) __builtin_trap();
    for (const platform::gdi::IconBitmap& icon : *icons) {
      if (icon.width <= 0 || icon.height <= 0) __builtin_trap();
      if (icon.bitCount != 24 && icon.bitCount != 32) __builtin_trap();
      if (icon.argb.size() != static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height)) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
