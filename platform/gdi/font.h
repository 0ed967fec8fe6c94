// Fonts: a LOGFONTW realized through fontconfig, glyphs rendered by FreeType.
//
// Realizations are shared between font handles with the same description, and glyphs are cached.
// Every fontconfig and FreeType call goes through one lock, so fonts may be made on any thread
// while another draws.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi/gdi.h"

namespace platform::gdi::fonts {

// A rendered glyph: 8-bit coverage, placed relative to the pen on the baseline.
struct Glyph {
  int left = 0;  // from the pen to the first column
  int top = 0;   // from the baseline up to the first row
  int width = 0;
  int rows = 0;
  int advance = 0;  // pixels
  std::vector<std::uint8_t> coverage;
};

// Line metrics in pixels. The cell is the font's typographic ascent and descent (one em for the
// usual CJK and Latin faces), not its Windows clipping extents: the skin's text boxes are sized
// for faces whose cell is one em high, and the substitutes' extents carry half an em of leading.
struct Metrics {
  int ascent = 0;
  int descent = 0;
  int height = 0;
  int maxWidth = 0;
  int weight = FW_NORMAL;
};

class Font;

// Null when fontconfig knows no font at all.
std::shared_ptr<Font> Realize(const LOGFONTW& logFont);

const Metrics& MetricsOf(const Font& font);
// The mean advance of A-Z and a-z. Only dialog units and tabs need it, and it costs 52 glyphs:
// it is measured when first asked for.
int AverageWidthOf(Font& font);

// The glyph of each character, from the first face that has it: the matched face, then the
// faces fontconfig sorts after it for Japanese text. A character no face has gets the matched
// face's missing-glyph box; control characters get an empty glyph.
std::vector<std::shared_ptr<const Glyph>> GlyphsFor(Font& font, std::u32string_view text);

// Which face draws a character: its file and the family fontconfig gives it.
struct FaceInfo {
  std::string file;
  int index = 0;
  std::string family;
  bool emboldened = false;  // bold asked of a face that has no bold of its own
};
FaceInfo FaceFor(Font& font, char32_t c);

// Keeps fontconfig's answers in `path` and takes them from there while they hold (see
// font_matches.h); fonts made afterwards use it. Empty: answers are not kept.
void RememberMatchesIn(std::string path);

// How many font faces are open now (ReleaseFontFaces closes them).
std::size_t OpenFaceCount();

// How many times fontconfig was asked to match a description in this process.
std::size_t FontconfigMatchCount();

}  // namespace platform::gdi::fonts
