#include "tests/platform/host_x11/x11_desktop.h"

#include <future>

#include "platform/host/host.h"

namespace velmor::test {

void MessageLog::Add(const Seen& seen) {
  std::lock_guard g(mutex_);
  seen_.push_back(seen);
}

std::vector<Seen> MessageLog::All() const {
  std::lock_guard g(mutex_);
  return seen_;
}

std::vector<Seen> MessageLog::Of(UINT message) const {
  std::lock_guard g(mutex_);
  std::vector<Seen> out;
  for (const Seen& s : seen_) {
    if (s.message == message) out.push_back(s);
  }
  return out;
}

void MessageLog::Clear() {
  std::lock_guard g(mutex_);
  seen_.clear();
}

std::uint32_t PatternPixel(int x, int y) {
  const auto r = static_cast<std::uint32_t>((x * 37 + y * 11) & 0xFF);
  const auto g = static_cast<std::uint32_t>((y * 53 + x * 7 + 90) & 0xFF);
  const auto b = static_cast<std::uint32_t>((x * 29 + y * 61 + 170) & 0xFF);
  return (r << 16) | (g << 8) | b;
}

namespace {

void PaintPattern(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  HDC memory = CreateCompatibleDC(hdc);
  HBITMAP bitmap = CreateCompatibleBitmap(hdc, rc.right, rc.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  auto surface = platform::gdi::BitmapSurface(bitmap);
  for (int y = 0; y < surface->height; ++y) {
    for (int x = 0; x < surface->width; ++x) surface->pixels[static_cast<std::size_t>(y * surface->width + x)] = PatternPixel(x, y);
  }
  BitBlt(hdc, 0, 0, rc.right, rc.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(hwnd, &ps);
}

LRESULT TestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* data = reinterpret_cast<WindowLoop::WindowData*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!data) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (data->log) data->log->Add(Seen{hwnd, message, wParam, lParam});
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      PaintPattern(hwnd);
      return 0;
    case WM_LBUTTONDOWN:
      if (data->setup.dragOnPress) SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      return 0;
    case WM_MOUSEMOVE:
      if (data->setup.trackLeave) {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, hwnd, 0};
        _TrackMouseEvent(&track);
      }
      return 0;
    case WM_SETCURSOR:
      if (data->setup.cursorAt) {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(hwnd, &p);
        SetCursor(data->setup.cursorAt(p));
        return TRUE;
      }
      break;
    case WM_SYSCOMMAND:
      // Recorded; the test decides what a close means.
      if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LPCWSTR TestClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = u"velmor-x11-test";
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
  return u"velmor-x11-test";
}

}  // namespace

WindowLoop::WindowLoop() {
  std::promise<HWND> made;
  auto ready = made.get_future();
  thread_ = std::thread([&made] {
    // A hidden window through which the test reaches this thread.
    HWND control = CreateWindowExW(0, TestClass(), u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    made.set_value(control);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  });
  control_ = ready.get();
}

WindowLoop::~WindowLoop() {
  platform::ui::CallOnWindowThread(control_, [this]() -> LRESULT {
    DestroyWindow(control_);
    PostQuitMessage(0);
    return 0;
  });
  thread_.join();
}

HWND WindowLoop::Create(const TestWindowSetup& setup, MessageLog* log) {
  auto data = std::make_unique<WindowData>(WindowData{setup, log});
  void* param = data.get();
  data_.push_back(std::move(data));
  return reinterpret_cast<HWND>(Run([&]() -> LRESULT {
    const RECT& r = setup.rect;
    return reinterpret_cast<LRESULT>(CreateWindowExW(setup.exStyle, TestClass(), setup.title.c_str(), setup.style, r.left,
                                                     r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                                     nullptr, param));
  }));
}

LRESULT WindowLoop::Run(const std::function<LRESULT()>& call) { return platform::ui::CallOnWindowThread(control_, call); }

bool WindowLoop::Settle() { return platform::ui::WaitUntilIdle(control_); }

void X11HostTest::SetUp() {
  std::string error;
  host_ = platform::host::X11Host::Open(platform::host::X11Options{Display().Name()}, &error);
  ASSERT_TRUE(host_) << error;
  platform::host::Install(host_);
  loop_ = std::make_unique<WindowLoop>();
}

void X11HostTest::TearDown() {
  // Windows still open go with their thread, before the host they are shown on.
  loop_.reset();
  platform::host::Install(nullptr);
  host_.reset();
  // The next test's connection gets the same window ids from the server; a window manager that
  // has not yet forgotten this test's windows (a loaded machine) takes the next ones for them.
  WaitUntil([&] { return Display().ManagedWindows().empty(); }, std::chrono::seconds(10));
}

unsigned long X11HostTest::WaitViewable(HWND hwnd) {
  const unsigned long window = host_->NativeWindow(hwnd);
  if (window == 0) return 0;
  return WaitUntil([&] { return Display().ViewableRect(window).has_value(); }) ? window : 0;
}

::testing::AssertionResult X11HostTest::ShowsFramebuffer(HWND hwnd, const Picture& picture, const ScreenRect& where) {
  auto surface = platform::ui::WindowSurface(hwnd);
  if (!surface) return ::testing::AssertionFailure() << "no framebuffer";
  if (surface->width != where.width || surface->height != where.height) {
    return ::testing::AssertionFailure() << "framebuffer " << surface->width << "x" << surface->height << ", screen area "
                                         << where.width << "x" << where.height;
  }
  const bool whole = picture.width != where.width || picture.height != where.height;
  const int ox = whole ? where.x : 0, oy = whole ? where.y : 0;
  int wrong = 0;
  std::string first;
  for (int y = 0; y < where.height; ++y) {
    for (int x = 0; x < where.width; ++x) {
      const int sx = ox + x, sy = oy + y;
      if (sx < 0 || sy < 0 || sx >= picture.width || sy >= picture.height) continue;
      if (picture.At(sx, sy) != surface->At(x, y)) {
        if (wrong++ == 0) {
          char text[96];
          std::snprintf(text, sizeof text, "at (%d, %d): screen %06x, framebuffer %06x", x, y, picture.At(sx, sy),
                        surface->At(x, y));
          first = text;
        }
      }
    }
  }
  if (wrong == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong << " pixels differ, first " << first;
}

}  // namespace velmor::test
