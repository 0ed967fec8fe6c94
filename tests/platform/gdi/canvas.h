// Offscreen canvases and hand-built picture files for the drawing tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gdi/gdi.h"

namespace velmor::test {

// A surface filled with one colour and a DC over all of it (or over `clip`, drawn at `origin`).
struct Canvas {
  std::shared_ptr<platform::gdi::Surface> surface;
  HDC dc = nullptr;

  Canvas(int w, int h, std::uint32_t background, POINT origin = {0, 0}, RECT clip = {0, 0, 1 << 20, 1 << 20})
      : surface(std::make_shared<platform::gdi::Surface>(w, h)) {
    std::fill(surface->pixels.begin(), surface->pixels.end(), background);
    dc = platform::gdi::CreateSurfaceDC(surface, origin, clip);
  }
  ~Canvas() { DeleteDC(dc); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  std::uint32_t At(int x, int y) const { return surface->At(x, y); }

  // The smallest rectangle holding every pixel that differs from `background` (empty if none).
  RECT Ink(std::uint32_t background) const {
    RECT box{surface->width, surface->height, 0, 0};
    for (int y = 0; y < surface->height; ++y)
      for (int x = 0; x < surface->width; ++x)
        if (At(x, y) != background) box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
    if (box.right == 0) return {};
    return box;
  }
  // How far the pixels are from `background` in total: a measure of how much ink was laid.
  std::int64_t Darkness(std::uint32_t background) const {
    std::int64_t sum = 0;
    for (std::uint32_t p : surface->pixels)
      for (int shift = 0; shift <= 16; shift += 8) sum += std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((background >> shift) & 0xFF));
    return sum;
  }
};

inline void PutLe(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A 24-bit BMP file whose pixel (x, y), counted from the top, is `color(x, y)` (0x00RRGGBB).
inline std::vector<std::uint8_t> MakeBmp(int w, int h, bool topDown, const std::function<std::uint32_t(int, int)>& color) {
  const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> file(54 + stride * static_cast<std::size_t>(h));
  file[0] = 'B';
  file[1] = 'M';
  PutLe(file, 2, static_cast<std::uint32_t>(file.size()), 4);
  PutLe(file, 10, 54, 4);
  PutLe(file, 14, 40, 4);
  PutLe(file, 18, static_cast<std::uint32_t>(w), 4);
  PutLe(file, 22, static_cast<std::uint32_t>(topDown ? -h : h), 4);
  PutLe(file, 26, 1, 2);
  PutLe(file, 28, 24, 2);
  for (int y = 0; y < h; ++y) {
    const std::size_t row = 54 + stride * static_cast<std::size_t>(topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) PutLe(file, row + static_cast<std::size_t>(x) * 3, color(x, y), 3);
  }
  return file;
}

// One icon image for MakeIco: ARGB pixels, top row first, stored with 32 or 24 bits per pixel
// (24-bit images keep alpha 0 as a set AND-mask bit).
struct IcoImage {
  int size = 0;
  int bitCount = 32;
  std::function<std::uint32_t(int, int)> argb;
};

inline std::vector<std::uint8_t> MakeIco(const std::vector<IcoImage>& images) {
  std::vector<std::uint8_t> file(6 + 16 * images.size());
  PutLe(file, 2, 1, 2);
  PutLe(file, 4, static_cast<std::uint32_t>(images.size()), 2);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const IcoImage& im = images[i];
    const std::size_t colorStride = (static_cast<std::size_t>(im.size * im.bitCount) + 31) / 32 * 4;
    const std::size_t maskStride = (static_cast<std::size_t>(im.size) + 31) / 32 * 4;
    std::vector<std::uint8_t> dib(40 + (colorStride + maskStride) * static_cast<std::size_t>(im.size));
    PutLe(dib, 0, 40, 4);
    PutLe(dib, 4, static_cast<std::uint32_t>(im.size), 4);
    PutLe(dib, 8, static_cast<std::uint32_t>(im.size * 2), 4);
    PutLe(dib, 12, 1, 2);
    PutLe(dib, 14, static_cast<std::uint32_t>(im.bitCount), 2);
    for (int y = 0; y < im.size; ++y) {
      const std::size_t row = 40 + colorStride * static_cast<std::size_t>(im.size - 1 - y);
      const std::size_t mask = 40 + colorStride * static_cast<std::size_t>(im.size) + maskStride * static_cast<std::size_t>(im.size - 1 - y);
      for (int x = 0; x < im.size; ++x) {
        const std::uint32_t p = im.argb(x, y);
        PutLe(dib, row + static_cast<std::size_t>(x * im.bitCount / 8), im.bitCount == 32 ? p : p & 0xFFFFFF, im.bitCount / 8);
        if ((p >> 24) == 0) dib[mask + static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    const std::size_t entry = 6 + 16 * i;
    file[entry] = static_cast<std::uint8_t>(im.size);
    file[entry + 1] = static_cast<std::uint8_t>(im.size);
    PutLe(file, entry + 4, 1, 2);
    PutLe(file, entry + 6, static_cast<std::uint32_t>(im.bitCount), 2);
    PutLe(file, entry + 8, static_cast<std::uint32_t>(dib.size()), 4);
    PutLe(file, entry + 12, static_cast<std::uint32_t>(file.size()), 4);
    file.insert(file.end(), dib.begin(), dib.end());
  }
  return file;
}

}  // namespace velmor::test
