// Fonts and DrawTextW, checked on the pixels they lay down with the fonts installed here.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/gdi/font.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "tests/platform/gdi/canvas.h"

using velmor::test::Canvas;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
const std::u16string kSettings = u"設定画面へ";

// A font that lives as long as the test needs it.
class Font {
 public:
  explicit Font(LONG height, LONG weight = FW_NORMAL, std::u16string_view face = u"") {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    handle_ = CreateFontIndirectW(&lf);
  }
  ~Font() { DeleteObject(handle_); }
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  HFONT handle() const { return handle_; }
  platform::gdi::fonts::FaceInfo FaceFor(char32_t c) const {
    auto object = platform::gdi::detail::LookupAs<platform::gdi::detail::FontObject>(handle_, platform::gdi::detail::Kind::Font);
    return platform::gdi::fonts::FaceFor(*object->font, c);
  }

 private:
  HFONT handle_ = nullptr;
};

bool FaceSupportsJapanese(const platform::gdi::fonts::FaceInfo& face) {
  int count = 0;
  FcPattern* pattern = FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(face.file.c_str()), face.index, nullptr, &count);
  if (pattern == nullptr) return false;
  FcLangSet* langs = nullptr;
  const bool ja = FcPatternGetLangSet(pattern, FC_LANG, 0, &langs) == FcResultMatch && FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual;
  FcPatternDestroy(pattern);
  return ja;
}

// Draws `text` black on white into a fresh canvas and hands the canvas back.
std::unique_ptr<Canvas> Draw(std::u16string_view text, HFONT font, RECT rect, UINT format, int* result = nullptr) {
  auto canvas = std::make_unique<Canvas>(240, 100, kWhite);
  SetBkMode(canvas->dc, TRANSPARENT);
  if (font != nullptr) SelectObject(canvas->dc, font);
  const int r = DrawTextW(canvas->dc, text.data(), static_cast<int>(text.size()), &rect, format);
  if (result != nullptr) *result = r;
  return canvas;
}

int LineHeight(HFONT font) {
  Canvas canvas(1, 1, kWhite);
  if (font != nullptr) SelectObject(canvas.dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(canvas.dc, &tm);
  return tm.tmHeight;
}

// Width and height that DT_CALCRECT reports for `text` in a rectangle `width` wide.
SIZE Measure(std::u16string_view text, HFONT font, UINT format, int width = 1000) {
  Canvas canvas(1, 1, kWhite);
  if (font != nullptr) SelectObject(canvas.dc, font);
  RECT rect{0, 0, width, 0};
  DrawTextW(canvas.dc, text.data(), static_cast<int>(text.size()), &rect, format | DT_CALCRECT);
  return {rect.right, rect.bottom};
}

}  // namespace

TEST(TextTest, JapaneseIsDrawnWithRealGlyphsInTheTextColour) {
  Canvas canvas(200, 40, kWhite);
  SetTextColor(canvas.dc, RGB(255, 0, 0));
  SetBkMode(canvas.dc, TRANSPARENT);
  RECT rect{0, 0, 200, 40};
  EXPECT_EQ(DrawTextW(canvas.dc, kSettings.c_str(), -1, &rect, DT_SINGLELINE | DT_NOPREFIX), LineHeight(nullptr));

  int strong = 0;
  std::uint32_t darkest = 0xFF;
  for (std::uint32_t p : canvas.surface->pixels) {
    if (p == kWhite) continue;
    ASSERT_EQ(p >> 16, 0xFFu) << "every touched pixel lies between white and the text colour";
    ASSERT_EQ((p >> 8) & 0xFF, p & 0xFF);
    darkest = std::min(darkest, p & 0xFF);
    strong += (p & 0xFF) <= 0x40 ? 1 : 0;
  }
  EXPECT_GT(strong, 40) << "strokes: pixels at least three quarters covered";
  EXPECT_LE(darkest, 0x20u) << "some pixels are (nearly) the text colour itself";
  const RECT ink = canvas.Ink(kWhite);
  EXPECT_GE(ink.right - ink.left, 50) << "five ideographs of 12 pixels";
  EXPECT_LE(ink.right - ink.left, 62);

  // Every character comes from a face that has it, and distinct characters look distinct.
  Font gui(-12, FW_NORMAL, u"MS UI Gothic");
  for (char32_t c : std::u32string_view(U"設定画面へ")) EXPECT_TRUE(FaceSupportsJapanese(gui.FaceFor(c))) << static_cast<int>(c);
  auto first = Draw(u"設", nullptr, {0, 0, 40, 40}, DT_SINGLELINE);
  auto second = Draw(u"定", nullptr, {0, 0, 40, 40}, DT_SINGLELINE);
  EXPECT_NE(first->surface->pixels, second->surface->pixels);
}

TEST(TextTest, CharactersMissingFromTheRequestedFaceFallBackToAJapaneseFont) {
  Font latin(-16, FW_NORMAL, u"DejaVu Sans");
  const auto a = latin.FaceFor(U'A');
  if (a.family != "DejaVu Sans") GTEST_SKIP() << "DejaVu Sans is not installed";
  const auto kanji = latin.FaceFor(U'設');
  EXPECT_NE(kanji.file, a.file);
  EXPECT_TRUE(FaceSupportsJapanese(kanji)) << kanji.family;
  auto canvas = Draw(u"A設定", latin.handle(), {0, 0, 240, 100}, DT_SINGLELINE);
  const RECT ink = canvas->Ink(kWhite);
  EXPECT_GE(ink.right - ink.left, 40) << "one letter and two ideographs of 16 pixels";
}

TEST(TextTest, AlignmentPlacesTheTextInItsRectangle) {
  const RECT rect{20, 10, 180, 70};  // centre (100, 40)
  enum Place { kStart, kCentre, kEnd };
  const auto at = [](Place place, double start, double end) {
    return place == kStart ? start : place == kEnd ? end : (start + end) / 2;
  };
  const struct {
    UINT format;
    Place x, y;
  } cases[] = {
      {DT_CENTER | DT_VCENTER | DT_SINGLELINE, kCentre, kCentre},
      {DT_LEFT | DT_VCENTER | DT_SINGLELINE, kStart, kCentre},
      {DT_CENTER, kCentre, kStart},  // vertical alignment is for single lines only
      {DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, kEnd, kEnd},
  };
  for (const auto& c : cases) {
    const RECT ink = Draw(u"口口", nullptr, rect, c.format)->Ink(kWhite);
    ASSERT_NE(ink.right, 0) << c.format;
    EXPECT_NEAR(at(c.x, ink.left, ink.right), at(c.x, rect.left, rect.right), 2.0) << c.format;
    EXPECT_NEAR(at(c.y, ink.top, ink.bottom), at(c.y, rect.top, rect.bottom), 3.0) << c.format;
  }
  int below = 0;
  Draw(u"口口", nullptr, rect, DT_VCENTER | DT_SINGLELINE, &below);
  EXPECT_EQ(below, (60 - LineHeight(nullptr)) / 2 + LineHeight(nullptr)) << "from the top to the bottom of the text";
}

TEST(TextTest, LinesBreakAtLineFeedsAndWithWordBreakAtWordsAndBetweenJapaneseCharacters) {
  Font font(-16);
  const int line = LineHeight(font.handle());
  const int word = Measure(u"abcd", font.handle(), DT_SINGLELINE).cx;
  const int kana = Measure(u"あいう", font.handle(), DT_SINGLELINE).cx;
  struct Case {
    const char* name;
    std::u16string text;
    UINT format;
    int width;
    int lines;
  };
  const std::vector<Case> cases = {
      {"one line without word break", u"abcd abcd abcd", 0, word, 1},
      {"three words on three lines", u"abcd abcd abcd", DT_WORDBREAK, word + word / 2, 3},
      {"two words fit", u"abcd abcd abcd", DT_WORDBREAK, 2 * word + word / 2, 2},
      {"a long word stays whole", u"abcdabcdabcd", DT_WORDBREAK, word, 1},
      {"line feeds", u"ab\ncd\r\nef", 0, 1000, 3},
      {"line feeds are text on a single line", u"ab\ncd", DT_SINGLELINE | DT_WORDBREAK, 10, 1},
      {"Japanese without spaces", u"設定画面へ接続します", DT_WORDBREAK, kana, 4},
      {"a full stop never starts a line", u"あいう。えお", DT_WORDBREAK, kana, 3},
  };
  for (const Case& c : cases) {
    const SIZE size = Measure(c.text, font.handle(), c.format, c.width);
    EXPECT_EQ(size.cy, c.lines * line) << c.name;
    int drawn = 0;
    Draw(c.text, font.handle(), RECT{0, 0, c.width, 100}, c.format, &drawn);
    EXPECT_EQ(drawn, c.lines * line) << c.name;
    if (c.lines > 1 && (c.format & DT_WORDBREAK) != 0) {
      EXPECT_LE(size.cx, c.width) << c.name;
    }
  }
}

TEST(TextTest, AmpersandPrefixes) {
  EXPECT_EQ(Measure(u"A&B", nullptr, 0).cx, Measure(u"AB", nullptr, 0).cx);
  EXPECT_EQ(Measure(u"A&&B", nullptr, 0).cx, Measure(u"A&B", nullptr, DT_NOPREFIX).cx);
  EXPECT_GT(Measure(u"A&B", nullptr, DT_NOPREFIX).cx, Measure(u"AB", nullptr, 0).cx);
  EXPECT_EQ(Measure(u"AB&", nullptr, 0).cx, Measure(u"AB", nullptr, 0).cx);
  const RECT plain = Draw(u"AB", nullptr, {0, 0, 100, 40}, DT_SINGLELINE)->Ink(kWhite);
  auto canvas = Draw(u"A&B", nullptr, {0, 0, 100, 40}, DT_SINGLELINE);
  const RECT marked = canvas->Ink(kWhite);
  ASSERT_GT(marked.bottom, plain.bottom) << "the B is underlined";
  int firstUnderlined = 100;
  for (int x = 0; x < 100; ++x)
    if (canvas->At(x, marked.bottom - 1) != kWhite) firstUnderlined = std::min(firstUnderlined, x);
  EXPECT_GE(firstUnderlined, marked.left + Measure(u"A", nullptr, 0).cx - 1) << "only the B";
}

TEST(TextTest, BoldIsWiderAndDarkerSynthesizedWhenTheFaceHasNoneAndHeightSetsTheSize) {
  for (const std::u16string_view face : {u"", u"Droid Sans Fallback"}) {
    SCOPED_TRACE(std::string(face.begin(), face.end()));
    Font normal(-16, FW_NORMAL, face);
    Font bold(-16, FW_BOLD, face);
    if (!face.empty()) {
      if (normal.FaceFor(U'設').family != "Droid Sans Fallback") continue;  // not installed
      EXPECT_TRUE(bold.FaceFor(U'設').emboldened);
      EXPECT_FALSE(normal.FaceFor(U'設').emboldened);
    }
    auto thin = Draw(kSettings, normal.handle(), {0, 0, 240, 100}, DT_SINGLELINE);
    auto thick = Draw(kSettings, bold.handle(), {0, 0, 240, 100}, DT_SINGLELINE);
    EXPECT_GT(thick->Darkness(kWhite), thin->Darkness(kWhite) * 5 / 4);
    if (face.empty()) {
      EXPECT_GE(thick->Ink(kWhite).right, thin->Ink(kWhite).right);
    }
  }

  Font small(-12);
  Font large(-20);
  const RECT a = Draw(u"設", small.handle(), {0, 0, 240, 100}, DT_SINGLELINE)->Ink(kWhite);
  const RECT b = Draw(u"設", large.handle(), {0, 0, 240, 100}, DT_SINGLELINE)->Ink(kWhite);
  EXPECT_NEAR(static_cast<double>(b.bottom - b.top) / (a.bottom - a.top), 20.0 / 12.0, 0.25);
  Font cell(20);
  EXPECT_NEAR(LineHeight(cell.handle()), 20, 1) << "a positive height asks for the cell rather than the character";
}

TEST(TextTest, OpaqueModeFillsTheTextCellOnlyAndTextStaysInsideTheClipAndTheRectangleUnlessNoClip) {
  for (const int mode : {OPAQUE, TRANSPARENT}) {
    Canvas canvas(100, 40, kWhite);
    SetBkMode(canvas.dc, mode);
    SetBkColor(canvas.dc, RGB(0, 0, 255));
    RECT rect{10, 5, 100, 40};
    DrawTextW(canvas.dc, u"ab", -1, &rect, DT_SINGLELINE);
    const int width = Measure(u"ab", nullptr, DT_SINGLELINE).cx;
    EXPECT_EQ(canvas.At(10, 5), mode == OPAQUE ? 0x0000FFu : kWhite) << mode;
    EXPECT_EQ(canvas.At(10 + width, 5), kWhite) << mode;
    EXPECT_EQ(canvas.At(10, 5 + LineHeight(nullptr)), kWhite) << mode;
  }

  Canvas clipped(100, 40, kWhite, POINT{0, 0}, RECT{0, 0, 20, 40});
  SetBkMode(clipped.dc, TRANSPARENT);
  RECT rect{0, 0, 100, 40};
  DrawTextW(clipped.dc, kSettings.c_str(), -1, &rect, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_LE(clipped.Ink(kWhite).right, 20);
  EXPECT_GT(clipped.Ink(kWhite).right, 0);
  EXPECT_LE(Draw(kSettings, nullptr, {0, 0, 30, 40}, DT_SINGLELINE)->Ink(kWhite).right, 30);
  EXPECT_GT(Draw(kSettings, nullptr, {0, 0, 30, 40}, DT_SINGLELINE | DT_NOCLIP)->Ink(kWhite).right, 40);
}

TEST(TextTest, DefaultGuiFontDescribesTheJapaneseSystemFont) {
  LOGFONTW lf{};
  ASSERT_EQ(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(std::u16string_view(lf.lfFaceName), u"MS UI Gothic");
  Canvas canvas(1, 1, kWhite);
  EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), GetStockObject(DEFAULT_GUI_FONT));

  // A face name that fills the whole field is read no further than the field.
  std::fill(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), u'x');
  HFONT unterminated = CreateFontIndirectW(&lf);
  ASSERT_NE(unterminated, nullptr);
  LOGFONTW back{};
  GetObjectW(unterminated, sizeof back, &back);
  EXPECT_EQ(back.lfFaceName[LF_FACESIZE - 1], u'x');
  DeleteObject(unterminated);
}

TEST(TextThreadsTest, FontsMadeOnWorkersWhileTheWindowThreadDraws) {
  const std::size_t baseline = platform::gdi::LiveObjectCount();
  std::atomic<bool> done{false};
  std::vector<std::jthread> workers;
  for (int w = 0; w < 2; ++w) {
    workers.emplace_back([&done, w] {
      for (int i = 0; !done || i < 50; ++i) {
        Font font(-(10 + (i + w) % 15), (i % 2) != 0 ? FW_BOLD : FW_NORMAL, (i % 3) != 0 ? u"Arial Black" : u"");
        SIZE size{};
        Canvas canvas(1, 1, kWhite);
        SelectObject(canvas.dc, font.handle());
        GetTextExtentPoint32W(canvas.dc, u"接続", 2, &size);
        if (size.cx <= 0) ADD_FAILURE() << "no width";
        if (i > 2000) break;
      }
    });
  }
  for (int i = 0; i < 100; ++i) {
    Font font(-(12 + i % 9));
    Draw(kSettings + u"接続ツール", font.handle(), {0, 0, 240, 100}, DT_WORDBREAK);
  }
  done = true;
  workers.clear();
  EXPECT_EQ(platform::gdi::LiveObjectCount(), baseline);
}
