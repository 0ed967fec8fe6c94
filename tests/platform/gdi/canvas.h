// Offscreen canvases, fonts and hand-built icon files for the drawing tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gdi/font.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"

namespace velmor::test {

// A surface of w x h pixels filled with one colour and a DC over all of it (or over `clip`,
// drawn at `origin`), at `scale` of its pixels for one of the DC's.
struct Canvas {
  std::shared_ptr<platform::gdi::Surface> surface;
  HDC dc = nullptr;

  Canvas(int w, int h, std::uint32_t background, POINT origin = {0, 0}, RECT clip = {0, 0, 1 << 20, 1 << 20}, int scale = 1)
      : surface(std::make_shared<platform::gdi::Surface>(w, h, scale)) {
    std::ranges::fill(surface->pixels, background);
    dc = platform::gdi::CreateSurfaceDC(surface, origin, clip);
  }
  ~Canvas() { DeleteDC(dc); }
  std::uint32_t At(int x, int y) const { return surface->At(x, y); }

  // The smallest rectangle holding every pixel that differs from `background` (empty if none).
  RECT Ink(std::uint32_t background) const {
    RECT box{surface->width, surface->height, 0, 0};
    for (int y = 0; y < surface->height; ++y) {
      for (int x = 0; x < surface->width; ++x) {
        if (At(x, y) != background) box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
      }
    }
    return box.right == 0 ? RECT{} : box;
  }
};

struct Font {
  explicit Font(LONG height, LONG weight = FW_NORMAL, std::u16string_view face = u"") {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::ranges::copy(face, lf.lfFaceName);
    handle = CreateFontIndirectW(&lf);
  }
  ~Font() { DeleteObject(handle); }
  platform::gdi::fonts::FaceInfo FaceFor(char32_t c) const {
    using namespace platform::gdi::detail;
    return platform::gdi::fonts::FaceFor(*LookupAs<FontObject>(handle, Kind::Font)->font, c);
  }
  HFONT handle = nullptr;
};

// One image of an icon file: ARGB pixels (y from the top), stored with 32 bits per pixel, or
// with 24 and the AND mask set where alpha is 0.
struct IcoImage {
  int size = 0;
  int bitCount = 32;
  std::function<std::uint32_t(int, int)> argb;
};

inline std::vector<std::uint8_t> MakeIco(const std::vector<IcoImage>& images) {
  std::vector<std::uint8_t> file{0, 0, 1, 0, static_cast<std::uint8_t>(images.size()), 0};
  std::vector<std::uint8_t> data;
  const auto put = [](std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  for (const IcoImage& im : images) {
    const auto size = static_cast<std::uint32_t>(im.size);
    const std::size_t start = data.size(), maskStride = (size + 31) / 32 * 4;
    put(data, 40, 4), put(data, size, 4), put(data, 2 * size, 4), put(data, 1, 2), put(data, static_cast<std::uint32_t>(im.bitCount), 2);
    data.resize(start + 40);
    for (int y = im.size - 1; y >= 0; --y) {
      for (int x = 0; x < im.size; ++x) put(data, im.argb(x, y), im.bitCount / 8);
      while ((data.size() - start) % 4 != 0) data.push_back(0);
    }
    for (int y = im.size - 1; y >= 0; --y) {
      std::vector<std::uint8_t> row(maskStride);
      for (int x = 0; x < im.size; ++x) row[static_cast<std::size_t>(x / 8)] |= (im.argb(x, y) >> 24) == 0 ? 0x80 >> (x % 8) : 0;
      data.insert(data.end(), row.begin(), row.end());
    }
    file.insert(file.end(), {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size), 0, 0, 1, 0});
    put(file, static_cast<std::uint32_t>(im.bitCount), 2);
    put(file, static_cast<std::uint32_t>(data.size() - start), 4);
    put(file, static_cast<std::uint32_t>(6 + 16 * images.size() + start), 4);
  }
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

}  // namespace velmor::test
