// Decoders for the picture formats that resources hold: BMP files and ICO files.
//
// Both are pure functions over untrusted bytes: every length and offset is checked before it is
// used, and malformed input gives nothing (never a crash and never an oversized allocation).
// Fuzz targets call them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform::gdi {

// Pixels are 0x00RRGGBB, top row first.
struct DecodedBitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// One image of an icon: ARGB (0xAARRGGBB, alpha not premultiplied), top row first.
struct IconBitmap {
  int width = 0;
  int height = 0;
  int bitCount = 0;  // of the stored image: 24 or 32
  std::vector<std::uint32_t> argb;
};

// A checked .bmp file whose rows are decoded one at a time, where they are read: a picture
// drawn from it needs no decoded copy of its own. Views `file`, which must outlive it.
struct BmpPicture {
  int width = 0;
  int height = 0;
  std::span<const std::uint8_t> file;
  std::size_t pixelOffset = 0;
  std::size_t stride = 0;
  // Row `y` (top first, 0 <= y < height) as `width` pixels into `out`.
  void Row(int y, std::uint32_t* out) const;
};

// A whole .bmp file (BITMAPFILEHEADER first) holding an uncompressed 24-bit bottom-up image.
std::optional<BmpPicture> OpenBmp(std::span<const std::uint8_t> file);
std::optional<DecodedBitmap> DecodeBmp(std::span<const std::uint8_t> file);

// A whole .ico file: the directory and its images as DIBs (32-bit with alpha, or 24-bit with an
// AND mask). Images of other kinds (PNG, palettes) are skipped; a damaged directory, or a file
// with no usable image, gives nothing.
std::optional<std::vector<IconBitmap>> DecodeIco(std::span<const std::uint8_t> file);

}  // namespace platform::gdi
