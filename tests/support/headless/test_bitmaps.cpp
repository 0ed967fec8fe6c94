#include "tests/support/headless/test_bitmaps.h"

#include <deque>

#include "platform/base/resources.h"

namespace velmor::test {

std::vector<BYTE> MakeBmp(int width, int height, const PixelFunction& pixel) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<BYTE> file(54 + stride * static_cast<std::size_t>(height));
  const auto put = [&file](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + static_cast<std::size_t>(i)] = static_cast<BYTE>(value >> (8 * i));
  };
  // File header, BITMAPINFOHEADER: size, width, height, one plane, 24 bits.
  for (auto [at, value, bytes] : {std::tuple{0, 0x4D42u, 2}, {2, static_cast<std::uint32_t>(file.size()), 4}, {10, 54u, 4},
                                  {14, 40u, 4}, {18, static_cast<std::uint32_t>(width), 4},
                                  {22, static_cast<std::uint32_t>(height), 4}, {26, 1u, 2}, {28, 24u, 2}}) {
    put(static_cast<std::size_t>(at), value, bytes);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) put(54 + stride * static_cast<std::size_t>(height - 1 - y) + static_cast<std::size_t>(x) * 3, pixel(x, y), 3);
  }
  return file;
}

void RegisterTestBitmap(WORD id, int width, int height, const PixelFunction& pixel, int scale) {
  static auto* storage = new std::deque<std::vector<BYTE>>;
  storage->push_back(MakeBmp(width, height, pixel));
  platform::RegisterResource(RT_BITMAP_ID, id, storage->back(), scale);
}

}  // namespace velmor::test
