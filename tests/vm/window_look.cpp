#include "tests/vm/window_look.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

Display* g_display = nullptr;

}  // namespace

bool OpenDisplay() {
  g_display = XOpenDisplay(nullptr);
  // A window that goes away while it is watched is a mismatch, not the end of this program.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  return g_display != nullptr;
}

std::optional<Image> LookAtWindow(unsigned long window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(g_display, window, &attributes) || attributes.map_state != IsViewable) return std::nullopt;
  const Window root = DefaultRootWindow(g_display);
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(g_display, window, root, 0, 0, &x, &y, &child)) return std::nullopt;
  // The root's pixels, not the window's: what is on the screen, whatever covers the window.
  XImage* raw = XGetImage(g_display, root, x, y, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (raw == nullptr) return std::nullopt;
  Image image{attributes.width, attributes.height, {}};
  image.pixels.reserve(static_cast<std::size_t>(image.width * image.height));
  for (int row = 0; row < image.height; ++row) {
    for (int column = 0; column < image.width; ++column) {
      image.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(raw, column, row)) & 0xFFFFFFu);
    }
  }
  XDestroyImage(raw);
  return image;
}
