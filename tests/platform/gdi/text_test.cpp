// Fonts and DrawTextW, checked on the pixels they lay down with the fonts installed here.
#include <gtest/gtest.h>

#include "tests/platform/gdi/canvas.h"

namespace velmor::test {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
const std::u16string kSettings = u"設定画面へ";

// Draws `text` in black on white (or measures it, with DT_CALCRECT) and keeps what DrawTextW
// answered and the rectangle it left.
struct Drawn : Canvas {
  Drawn(std::u16string_view text, HFONT font, RECT r, UINT format) : Canvas(240, 100, kWhite), rect(r) {
    if (font) SelectObject(dc, font);
    result = DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect, format);
  }
  // How much ink black text laid on white: the sum of every pixel's darkness.
  long Darkness() const {
    long sum = 0;
    for (std::uint32_t p : surface->pixels) sum += 0xFF - static_cast<long>(p & 0xFF);
    return sum;
  }
  RECT rect;
  int result = 0;
};
int LineHeight(HFONT font) { return Drawn(u"x", font, {0, 0, 100, 0}, DT_CALCRECT).result; }
LONG Width(std::u16string_view text, HFONT font = nullptr, UINT format = 0) { return Drawn(text, font, {0, 0, 1000, 0}, format | DT_CALCRECT).rect.right; }

// (The text colour is seen on the main window's labels.)
TEST(Text, JapaneseIsDrawnWithRealGlyphsFromFacesThatHaveThem) {
  const RECT ink = Drawn(kSettings, nullptr, {0, 0, 200, 40}, DT_SINGLELINE).Ink(kWhite);
  EXPECT_NEAR(ink.right - ink.left, 56, 6) << "five ideographs of 12 pixels";
  // A face without them would draw one and the same missing-glyph box for each; the default font
  // and a Latin face alike find faces that have them.
  Font latin(-16, FW_NORMAL, u"DejaVu Sans");
  for (HFONT font : {HFONT{nullptr}, latin.handle}) {
    EXPECT_NE(Drawn(u"設", font, {0, 0, 40, 40}, 0).surface->pixels, Drawn(u"定", font, {0, 0, 40, 40}, 0).surface->pixels);
  }
}

TEST(Text, AlignmentPlacesTheTextInItsRectangleAndTheRectangleClipsIt) {
  const RECT rect{20, 10, 180, 70};
  const struct {
    UINT format;
    double x, y;  // where the ink's centre goes: 0 the rectangle's start, 0.5 its middle
  } cases[] = {{DT_CENTER | DT_VCENTER | DT_SINGLELINE, 0.5, 0.5}, {DT_LEFT, 0, 0}, {DT_CENTER | DT_VCENTER, 0.5, 0}};
  for (const auto& c : cases) {
    const RECT ink = Drawn(u"口口", nullptr, rect, c.format).Ink(kWhite);
    const double width = ink.right - ink.left, height = ink.bottom - ink.top;
    EXPECT_NEAR((ink.left + ink.right) / 2.0, rect.left + width / 2 + c.x * (160 - width), 2.0) << c.format;
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, rect.top + height / 2 + c.y * (60 - height), 3.0) << c.format;
  }
  EXPECT_LE(Drawn(kSettings, nullptr, {0, 0, 30, 40}, DT_SINGLELINE).Ink(kWhite).right, 30);
  Canvas clipped(100, 40, kWhite, POINT{0, 0}, RECT{0, 0, 20, 40});
  RECT wide{0, 0, 100, 40};
  DrawTextW(clipped.dc, kSettings.c_str(), -1, &wide, DT_SINGLELINE);
  EXPECT_EQ(std::clamp<LONG>(clipped.Ink(kWhite).right, 1, 20), clipped.Ink(kWhite).right);
}

TEST(Text, LinesBreakAtLineFeedsAndWithWordBreakAtSpacesAndBetweenJapaneseCharacters) {
  Font font(-16);
  const int line = LineHeight(font.handle), word = Width(u"abcd", font.handle), kana = Width(u"あいう", font.handle);
  const struct {
    const char* name;
    std::u16string text;
    UINT format;
    int width, lines;
  } cases[] = {
      {"no word break", u"abcd abcd abcd", 0, word, 1},
      {"one word a line", u"abcd abcd abcd", DT_WORDBREAK, word + word / 2, 3},
      {"two words fit", u"abcd abcd abcd", DT_WORDBREAK, 2 * word + word / 2, 2},
      {"a long word stays whole", u"abcdabcdabcd", DT_WORDBREAK, word, 1},
      {"line feeds", u"ab\ncd\r\nef", 0, 1000, 3},
      {"line feeds are text on a single line", u"ab\ncd", DT_SINGLELINE | DT_WORDBREAK, 10, 1},
      {"Japanese without spaces", u"設定画面へ接続します", DT_WORDBREAK, kana, 4},
      {"a full stop never starts a line", u"あいう。えお", DT_WORDBREAK, kana, 3},
  };
  for (const auto& c : cases) {
    const Drawn measured(c.text, font.handle, RECT{0, 0, c.width, 0}, c.format | DT_CALCRECT);
    EXPECT_EQ(measured.rect.bottom, c.lines * line) << c.name;
    EXPECT_EQ(Drawn(c.text, font.handle, RECT{0, 0, c.width, 100}, c.format).result, c.lines * line) << c.name;
    EXPECT_TRUE(c.lines == 1 || (c.format & DT_WORDBREAK) == 0 || measured.rect.right <= c.width) << c.name;
  }
}

// On a surface of scale 2 the glyphs are rendered at twice the font's size: twice as large, with
// antialiased edges at the surface's own pixels (an enlarged drawing is all 2 x 2 blocks), and
// measured in the DC's pixels.
TEST(Text, OnASurfaceOfScaleTwoGlyphsAreRenderedAtTwiceTheSizeAndMeasuredInTheDcsPixels) {
  Canvas doubled(480, 200, kWhite, POINT{0, 0}, RECT{0, 0, 240, 100}, 2);
  RECT rect{0, 0, 240, 100};
  DrawTextW(doubled.dc, kSettings.c_str(), -1, &rect, DT_SINGLELINE);
  const RECT ink = Drawn(kSettings, nullptr, rect, DT_SINGLELINE).Ink(kWhite), ink2 = doubled.Ink(kWhite);
  EXPECT_NEAR(ink2.right - ink2.left, 2 * (ink.right - ink.left), 4);
  EXPECT_NEAR(ink2.bottom - ink2.top, 2 * (ink.bottom - ink.top), 4);
  int mixed = 0;  // 2 x 2 blocks whose corners differ
  for (int y = 0; y < 200; y += 2) {
    for (int x = 0; x < 480; x += 2) mixed += doubled.At(x, y) != doubled.At(x + 1, y + 1);
  }
  EXPECT_GT(mixed, 50);
  DrawTextW(doubled.dc, kSettings.c_str(), -1, &rect, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_NEAR(rect.right, Width(kSettings), 2);
}

TEST(Text, AnAmpersandUnderlinesTheNextCharacterAndTwoStandForOne) {
  EXPECT_EQ(Width(u"A&B"), Width(u"AB"));
  EXPECT_EQ(Width(u"A&&B"), Width(u"A&B", nullptr, DT_NOPREFIX));
  const Drawn plain(u"AB", nullptr, {0, 0, 100, 40}, DT_SINGLELINE), marked(u"A&B", nullptr, {0, 0, 100, 40}, DT_SINGLELINE);
  const LONG bottom = marked.Ink(kWhite).bottom - 1;
  ASSERT_GT(bottom, plain.Ink(kWhite).bottom - 1) << "the B is underlined";
  for (int x = 0; x < Width(u"A") - 1; ++x) EXPECT_EQ(marked.At(x, bottom), kWhite) << "only the B, at " << x;
}

TEST(Text, ReleasedFacesOpenAgainOnlyForAGlyphNotYetRendered) {
  platform::gdi::ReleaseFontFaces();
  const Drawn first(u"鍵", nullptr, {0, 0, 40, 40}, 0);
  EXPECT_GT(platform::gdi::fonts::OpenFaceCount(), 0u);
  platform::gdi::ReleaseFontFaces();
  EXPECT_EQ(platform::gdi::fonts::OpenFaceCount(), 0u);
  EXPECT_EQ(Drawn(u"鍵", nullptr, {0, 0, 40, 40}, 0).surface->pixels, first.surface->pixels);
  EXPECT_EQ(platform::gdi::fonts::OpenFaceCount(), 0u) << "a glyph already rendered needs no face";
  const Drawn other(u"錠", nullptr, {0, 0, 40, 40}, 0);
  EXPECT_GT(platform::gdi::fonts::OpenFaceCount(), 0u);
  EXPECT_NE(other.surface->pixels, first.surface->pixels);
  EXPECT_GT(other.Darkness(), first.Darkness() / 2) << "the face opened again draws";
}

TEST(Text, BoldIsDarkerAndSynthesizedWhenTheFaceHasNoneAndTheHeightSetsTheSize) {
  for (const std::u16string_view face : {u"", u"Droid Sans Fallback"}) {
    Font normal(-16, FW_NORMAL, face), bold(-16, FW_BOLD, face);
    if (!face.empty() && normal.FaceFor(U'設').family != "Droid Sans Fallback") continue;  // not installed
    EXPECT_TRUE(face.empty() || (bold.FaceFor(U'設').emboldened && !normal.FaceFor(U'設').emboldened));
    EXPECT_GT(Drawn(kSettings, bold.handle, {0, 0, 240, 100}, 0).Darkness(),
              Drawn(kSettings, normal.handle, {0, 0, 240, 100}, 0).Darkness() * 5 / 4);
  }
  Font small(-12), large(-20);
  const RECT a = Drawn(u"設", small.handle, {0, 0, 240, 100}, 0).Ink(kWhite);
  const RECT b = Drawn(u"設", large.handle, {0, 0, 240, 100}, 0).Ink(kWhite);
  EXPECT_NEAR(static_cast<double>(b.bottom - b.top) / (a.bottom - a.top), 20.0 / 12.0, 0.25);
}

}  // namespace
}  // namespace velmor::test
