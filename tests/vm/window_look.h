// The program's window as the X server shows it (kept apart: Xlib's macros clash with the
// platform's names).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// Connects to $DISPLAY for the rest of the process; false when it cannot.
bool OpenDisplay();
// The pixels of `window` as the screen shows them now; nothing when it is not viewable or gone.
std::optional<Image> LookAtWindow(unsigned long window);
