// Small 24-bit BMP pictures made by tests, and registered as bitmap resources.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/base/types.h"

namespace velmor::test {

using PixelFunction = std::function<std::uint32_t(int x, int y)>;  // 0x00RRGGBB, y from the top

// A bottom-up 24-bit BMP file, as saved pictures are.
std::vector<BYTE> MakeBmp(int width, int height, const PixelFunction& pixel);
// Registers MakeBmp's picture under bitmap resource `id` (the one drawn at `scale` times its
// size); the bytes live as long as the process, as the resource registry wants.
void RegisterTestBitmap(WORD id, int width, int height, const PixelFunction& pixel, int scale = 1);

}  // namespace velmor::test
