#include "tests/support/headless/headless_desktop.h"

#include <gtest/gtest.h>

#include "tests/support/window_rest.h"

namespace velmor::test {

HeadlessDesktop::HeadlessDesktop()
    : clock_(std::make_shared<ManualClock>()), host_(std::make_shared<platform::host::HeadlessHost>()) {
  platform::kernel::SetClock(clock_);
  platform::host::Install(host_);
}

HeadlessDesktop::~HeadlessDesktop() {
  platform::host::Install(nullptr);
  platform::kernel::SetClock(nullptr);
}

void HeadlessDesktop::Settle(HWND hwnd) {
  EXPECT_TRUE(WaitUntilIdle(hwnd)) << "the window thread did not come to rest";
}

void HeadlessDesktop::Advance(std::chrono::milliseconds by, HWND hwnd) {
  clock_->Advance(by);
  Settle(hwnd);
}

COLORREF HeadlessDesktop::FrameColor(HWND hwnd, POINT client) {
  RECT r, top;
  GetWindowRect(hwnd, &r);  // a window is all client area
  GetWindowRect(GetAncestorRoot(hwnd), &top);
  auto surface = platform::ui::WindowSurface(hwnd);
  const int x = r.left + client.x - top.left, y = r.top + client.y - top.top;
  if (!surface || x < 0 || y < 0 || x >= surface->width || y >= surface->height) {
    ADD_FAILURE() << "pixel outside the framebuffer";
    return CLR_INVALID;
  }
  return ColorOf(surface->At(x, y));
}

bool HeadlessDesktop::ScreenMatchesFramebuffer(HWND top) const {
  auto surface = platform::ui::WindowSurface(top);
  return surface && host_->Screen(top) == surface->pixels;
}

}  // namespace velmor::test
