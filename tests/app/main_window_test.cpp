// The main window as start-up leaves it: size, place, title, controls, skin, fonts and colours.
#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "tests/support/program/program_fixture.h"

using velmor::test::ColorOf;
using velmor::test::ProgramTest;
using Kind = platform::host::HeadlessHost::RequestKind;

namespace {

class MainWindow : public ProgramTest {
 protected:
  // Pixels of the region that match `match`.
  template <class Match>
  int CountPixels(RECT r, Match match) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) n += match(PixelAt(x, y)) ? 1 : 0;
    }
    return n;
  }
  RECT ClientRectOf(int id) const {
    RECT dialog, control;
    GetWindowRect(hwnd_, &dialog);
    GetWindowRect(Control(id), &control);
    return RECT{control.left - dialog.left, control.top - dialog.top, control.right - dialog.left,
                control.bottom - dialog.top};
  }
  // The bitmap resource's pixels, as the drawing layer decodes it.
  std::shared_ptr<platform::gdi::Surface> Picture(WORD id) const {
    HBITMAP bitmap = LoadBitmapW(platform::ResourceModule(), MAKEINTRESOURCEW(id));
    auto surface = platform::gdi::BitmapSurface(bitmap);
    DeleteObject(bitmap);
    return surface;
  }
  bool ShowsPicture(WORD id, POINT at) const {
    auto picture = Picture(id);
    if (!picture) return false;
    for (int y = 0; y < picture->height; ++y) {
      for (int x = 0; x < picture->width; ++x) {
        if (PixelAt(at.x + x, at.y + y) != ColorOf(picture->At(x, y))) return false;
      }
    }
    return true;
  }
};

bool Near(COLORREF c, BYTE r, BYTE g, BYTE b, int tolerance) {
  return std::abs(GetRValue(c) - r) <= tolerance && std::abs(GetGValue(c) - g) <= tolerance &&
         std::abs(GetBValue(c) - b) <= tolerance;
}

}  // namespace

TEST_F(MainWindow, TakesTheSkinsSizeAndKeepsItsCentredCorner) {
  StartDialog();
  WaitForWorkers();
  const auto state = desktop_.Host().State(hwnd_);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->rect.right - state->rect.left, 358);
  EXPECT_EQ(state->rect.bottom - state->rect.top, 327);
  EXPECT_EQ(state->title, u"Kavel-7100設定画面接続ツール");

  // The template's size in dialog units was centred on the screen first; the corner stays.
  RECT created{};
  for (const auto& r : desktop_.Host().Requests()) {
    if (r.kind == Kind::Create && r.hwnd == hwnd_) created = r.rect;
  }
  EXPECT_EQ(state->rect.left, created.left);
  EXPECT_EQ(state->rect.top, created.top);
  const int createdWidth = created.right - created.left;
  EXPECT_NEAR(created.left, (1280 - createdWidth) / 2, 1);
}

TEST_F(MainWindow, ControlsSitAtTheirPixelRectangles) {
  StartDialog();
  struct Expected {
    int id;
    RECT rect;
  };
  const Expected controls[] = {
      {IDC_MINIMIZE_BUTTON, {307, 0, 325, 24}}, {IDCANCEL, {330, 0, 348, 24}},
      {IDC_SETTINGS_BUTTON, {99, 123, 259, 181}}, {IDC_TITLE_LABEL, {26, 7, 296, 19}},
      {IDC_STATUS_LABEL, {34, 59, 324, 102}},   {IDC_SSID_LABEL, {101, 256, 257, 271}},
      {IDC_NOTICE_LABEL, {15, 205, 340, 245}},
  };
  for (const Expected& c : controls) EXPECT_EQ(ClientRectOf(c.id), c.rect) << "control " << c.id;
  EXPECT_FALSE(IsWindowVisible(Control(IDOK)));
  EXPECT_EQ(TextOf(IDC_TITLE_LABEL), u"Kavel-7100設定画面接続ツール");
}

TEST_F(MainWindow, SkinTextsAndDisabledButtonAreOnScreen) {
  StartDialog();
  WaitForWorkers();
  EXPECT_TRUE(desktop_.ScreenMatchesFramebuffer(hwnd_));

  EXPECT_TRUE(Near(PixelAt(300, 3), 62, 62, 62, 8)) << "the top bar";
  for (int x : {110, 180, 250}) EXPECT_EQ(PixelAt(x, 252), RGB(74, 69, 42)) << "the SSID frame at " << x;
  EXPECT_TRUE(ShowsPicture(IDB_SETTINGS_DISABLED, POINT{99, 123})) << "the disabled settings picture";
  EXPECT_TRUE(ShowsPicture(IDB_CLOSE_NORMAL, POINT{330, 0}));
  EXPECT_TRUE(ShowsPicture(IDB_MINIMIZE_NORMAL, POINT{307, 0}));

  // The labels' glyphs stand on the skin in their own colours (antialiased at their edges):
  // white title, red status, brown notice.
  EXPECT_GT(CountPixels(RECT{26, 7, 296, 19}, [](COLORREF c) { return Near(c, 255, 255, 255, 40); }), 60);
  EXPECT_GT(CountPixels(RECT{34, 59, 324, 102}, [](COLORREF c) { return Near(c, 255, 0, 0, 40); }), 100);
  EXPECT_GT(CountPixels(RECT{15, 205, 340, 245}, [](COLORREF c) { return Near(c, 64, 58, 29, 30); }), 40);
  // The empty SSID line leaves the frame's light inside as the skin has it.
  EXPECT_EQ(CountPixels(RECT{101, 256, 257, 271}, [](COLORREF c) { return Near(c, 64, 58, 29, 30); }), 0);
}

TEST_F(MainWindow, MinimisedWindowShowsTheIconCentred) {
  StartDialog();
  WaitForWorkers();
  desktop_.Host().ClickAt(Control(IDC_MINIMIZE_BUTTON), POINT{9, 12});
  Settle();
  ASSERT_TRUE(IsIconic(hwnd_));
  InvalidateRect(hwnd_, nullptr, TRUE);
  Settle();

  // (358 - 32 + 1) / 2 and (327 - 32 + 1) / 2, truncated: one pixel left of and above a rounded
  // centre.
  const POINT at{163, 148};

  const std::vector<std::uint32_t> icon = platform::gdi::IconImage(dlg_->m_hIcon, 32);
  ASSERT_EQ(icon.size(), 32u * 32u);
  int opaque = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const std::uint32_t argb = icon[static_cast<std::size_t>(y * 32 + x)];
      if ((argb >> 24) != 0xFF) continue;
      ++opaque;
      ASSERT_EQ(PixelAt(at.x + x, at.y + y), ColorOf(argb & 0xFFFFFF)) << x << "," << y;
    }
  }
  EXPECT_GT(opaque, 300);
}
