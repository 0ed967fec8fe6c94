#include "tests/support/headless/test_bitmaps.h"

#include <deque>
#include <mutex>
#include <vector>

#include "platform/base/resources.h"

namespace velmor::test {
namespace {

void Put(std::vector<BYTE>& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace

void RegisterTestBitmap(WORD id, int width, int height, const PixelFunction& pixel) {
  static std::mutex mutex;
  static auto* storage = new std::deque<std::vector<BYTE>>;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<BYTE> file(54 + stride * static_cast<std::size_t>(height));
  file[0] = 'B';
  file[1] = 'M';
  Put(file, 2, static_cast<std::uint32_t>(file.size()), 4);
  Put(file, 10, 54, 4);
  Put(file, 14, 40, 4);
  Put(file, 18, static_cast<std::uint32_t>(width), 4);
  Put(file, 22, static_cast<std::uint32_t>(height), 4);  // bottom-up, as saved pictures are
  Put(file, 26, 1, 2);
  Put(file, 28, 24, 2);
  for (int y = 0; y < height; ++y) {
    const std::size_t row = 54 + stride * static_cast<std::size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x) Put(file, row + static_cast<std::size_t>(x) * 3, pixel(x, y), 3);
  }
  std::lock_guard g(mutex);
  storage->push_back(std::move(file));
  platform::RegisterResource(RT_BITMAP_ID, id, storage->back());
}

PixelFunction PatternOf(std::uint32_t base) {
  return [base](int x, int y) {
    const std::uint32_t r = ((base >> 16) & 0xFF) ^ static_cast<std::uint32_t>((x * 7 + y * 3) & 0x1F);
    const std::uint32_t g = ((base >> 8) & 0xFF) ^ static_cast<std::uint32_t>((x * 5 + y * 11) & 0x1F);
    const std::uint32_t b = (base & 0xFF) ^ static_cast<std::uint32_t>((x + y * 13) & 0x1F);
    return (r << 16) | (g << 8) | b;
  };
}

}  // namespace velmor::test
