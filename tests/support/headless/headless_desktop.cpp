#include "tests/support/headless/headless_desktop.h"

#include <gtest/gtest.h>

#include "platform/host/host.h"

namespace velmor::test {

HeadlessDesktop::HeadlessDesktop(SIZE screen)
    : clock_(std::make_shared<velmor::test::ManualClock>()),
      host_(std::make_shared<platform::host::HeadlessHost>(screen)) {
  platform::kernel::SetClock(clock_);
  platform::host::Install(host_);
}

HeadlessDesktop::~HeadlessDesktop() {
  platform::host::Install(nullptr);
  platform::kernel::SetClock(nullptr);
}

void HeadlessDesktop::Settle(HWND hwnd) {
  EXPECT_TRUE(platform::ui::WaitUntilIdle(hwnd)) << "the window thread did not come to rest";
}

void HeadlessDesktop::Advance(std::chrono::milliseconds by, HWND hwnd) {
  clock_->Advance(by);
  Settle(hwnd);
}

std::uint32_t HeadlessDesktop::FramePixel(HWND hwnd, POINT client) {
  HWND top = GetAncestorRoot(hwnd);
  RECT r;
  GetWindowRect(hwnd, &r);  // a window is all client area
  client = POINT{r.left + client.x, r.top + client.y};
  GetWindowRect(top, &r);
  auto surface = platform::ui::WindowSurface(hwnd);
  const int x = client.x - r.left, y = client.y - r.top;
  if (!surface || x < 0 || y < 0 || x >= surface->width || y >= surface->height) {
    ADD_FAILURE() << "pixel outside the framebuffer";
    return 0;
  }
  return surface->At(x, y);
}

COLORREF HeadlessDesktop::FrameColor(HWND hwnd, POINT client) { return ColorOf(FramePixel(hwnd, client)); }

bool HeadlessDesktop::ScreenMatchesFramebuffer(HWND top) const {
  auto surface = platform::ui::WindowSurface(top);
  if (!surface) return false;
  for (int y = 0; y < surface->height; ++y) {
    for (int x = 0; x < surface->width; ++x) {
      auto shown = host_->ScreenPixel(top, POINT{x, y});
      if (!shown || *shown != surface->At(x, y)) return false;
    }
  }
  return true;
}

WindowThread::WindowThread(std::function<void()> body)
    : thread_([this, body = std::move(body)] {
        body();
        std::lock_guard g(mutex_);
        finished_ = true;
        cv_.notify_all();
      }) {}

WindowThread::~WindowThread() {
  if (thread_.joinable()) thread_.join();
}

bool WindowThread::WaitFinished(std::chrono::milliseconds timeout) {
  std::unique_lock lk(mutex_);
  return cv_.wait_for(lk, timeout, [this] { return finished_; });
}

ModalRun::ModalRun(HeadlessDesktop& desk, std::function<INT_PTR()> doModal) : desk_(desk) {
  thread_ = std::make_unique<WindowThread>([this, doModal = std::move(doModal)] { result_ = doModal(); });
  hwnd_ = desk_.Host().WaitForShownWindow();
  EXPECT_NE(hwnd_, nullptr) << "the dialog never showed";
  if (hwnd_) desk_.Settle(hwnd_);
}

ModalRun::~ModalRun() { EXPECT_TRUE(Close()) << "the dialog did not close"; }

bool ModalRun::Close() {
  if (IsWindow(hwnd_)) desk_.Host().RequestClose(hwnd_);
  return thread_->WaitFinished();
}

bool ModalRun::WaitEnded(std::chrono::milliseconds timeout) { return thread_->WaitFinished(timeout); }

}  // namespace velmor::test
