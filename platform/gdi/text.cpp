// Fonts as drawing objects, and text: measuring, line breaking and drawing.
#include <algorithm>
#include <string>

#include "platform/base/codepage.h"
#include "platform/gdi/font.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/stock.h"

using namespace platform::gdi::detail;
namespace fonts = platform::gdi::fonts;

namespace {

struct Item {
  char32_t c = 0;
  bool underline = false;
  std::shared_ptr<const fonts::Glyph> glyph;
};

struct Line {
  std::size_t begin = 0;  // into the items
  std::size_t end = 0;
  int width = 0;
};

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000; }

// Characters between which Japanese text may break: the ideographs, kana and full-width forms.
bool IsCjk(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// Line-start and line-end rules of Japanese typesetting: closing marks and small kana never start
// a line, opening brackets never end one.
bool NoBreakBefore(char32_t c) {
  static constexpr std::u32string_view kClosing = U"、。，．・：；？！ー」』）］｝〕〉》】〙〗ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ々ゝゞヽヾ,.:;?!)]}";
  return kClosing.find(c) != std::u32string_view::npos;
}
bool NoBreakAfter(char32_t c) {
  static constexpr std::u32string_view kOpening = U"「『（［｛〔〈《【〘〖([{";
  return kOpening.find(c) != std::u32string_view::npos;
}

bool CanBreakBefore(const std::vector<Item>& items, std::size_t i) {
  const char32_t prev = items[i - 1].c;
  const char32_t cur = items[i].c;
  if (IsSpace(cur)) return false;  // spaces stay at the end of the line they follow
  if (IsSpace(prev)) return true;
  return (IsCjk(prev) || IsCjk(cur)) && !NoBreakBefore(cur) && !NoBreakAfter(prev);
}

int Width(const std::vector<Item>& items, std::size_t begin, std::size_t end) {
  int w = 0;
  for (std::size_t i = begin; i < end; ++i) w += items[i].glyph->advance;
  return w;
}

// UTF-16 to code points; a lone surrogate becomes U+FFFD.
std::u32string Decode(std::u16string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) out.push_back(platform::NextCodePoint(text, i));
  return out;
}

std::u16string_view TextView(LPCWSTR text, int length) {
  if (length >= 0) return {text, static_cast<std::size_t>(length)};
  return std::u16string_view(text);
}

// Splits the items of one paragraph (no line feeds in it) into lines that fit `limit`.
void BreakParagraph(const std::vector<Item>& items, std::size_t begin, std::size_t end, int limit, bool wrap, std::vector<Line>& lines) {
  if (!wrap) {
    lines.push_back({begin, end, Width(items, begin, end)});
    return;
  }
  std::size_t start = begin;
  do {
    std::size_t stop = end;
    std::size_t lastBreak = start;
    int width = 0;
    for (std::size_t i = start; i < end; ++i) {
      if (i > start && CanBreakBefore(items, i)) lastBreak = i;
      // A word wider than the line stays whole on a line of its own and is clipped.
      if (i > start && !IsSpace(items[i].c) && width + items[i].glyph->advance > limit && lastBreak > start) {
        stop = lastBreak;
        break;
      }
      width += items[i].glyph->advance;
    }
    std::size_t trimmed = stop;
    while (trimmed > start && IsSpace(items[trimmed - 1].c)) --trimmed;
    lines.push_back({start, trimmed, Width(items, start, trimmed)});
    start = stop;
    while (start < end && IsSpace(items[start].c)) ++start;
  } while (start < end);
}

void BlitGlyph(const Target& t, const RECT& clip, const fonts::Glyph& g, int penX, int baseline, std::uint32_t color) {
  const int x0 = penX + g.left;
  const int y0 = baseline - g.top;
  const RECT box = Intersect(RECT{x0, y0, x0 + g.width, y0 + g.rows}, clip);
  for (LONG y = box.top; y < box.bottom; ++y) {
    const std::uint8_t* cov = g.coverage.data() + static_cast<std::size_t>(y - y0) * static_cast<std::size_t>(g.width);
    std::uint32_t* row = t.surface->pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(t.surface->width);
    for (LONG x = box.left; x < box.right; ++x) row[x] = Blend(row[x], color, cov[x - x0]);
  }
}

std::shared_ptr<fonts::Font> FontOf(const DcObject& dc, int scale = 1) { return dc.state.font ? dc.state.font->font.get(scale) : nullptr; }

}  // namespace

namespace platform::gdi::detail {

const std::shared_ptr<fonts::Font>& FontObject::Realization::get(int scale) const {
  if (scale == 1) {
    std::call_once(once_, [this] { font_ = fonts::Realize(logFont_); });
    return font_;
  }
  std::lock_guard lock(scaledMutex_);
  auto [it, added] = scaled_.try_emplace(scale);
  if (added) {
    LOGFONTW larger = logFont_;
    larger.lfHeight *= scale;
    larger.lfWidth *= scale;
    it->second = fonts::Realize(larger);
  }
  return it->second;
}

HFONT MakeFont(const LOGFONTW& logFont, bool stock) {
  auto font = std::make_shared<FontObject>();
  font->logFont = logFont;
  return static_cast<HFONT>(Insert(std::move(font), stock));
}

}  // namespace platform::gdi::detail

HFONT CreateFontIndirectW(const LOGFONTW* logFont) {
  if (logFont == nullptr) return platform::FailWith(ERROR_INVALID_PARAMETER, nullptr);
  return MakeFont(*logFont, /*stock=*/false);
}

int DrawTextW(HDC hdc, LPCWSTR text, int length, RECT* rect, UINT format) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (text == nullptr || rect == nullptr) return platform::FailWith(ERROR_INVALID_PARAMETER, 0);
  // The text is laid out and drawn in the surface's pixels, with the font at that scale.
  const Target t = TargetOf(*dc);
  const RECT box = t.ToSurface(*rect);
  auto font = FontOf(*dc, t.scale);
  if (!font) return 0;
  const fonts::Metrics& metrics = fonts::MetricsOf(*font);
  const bool singleLine = (format & DT_SINGLELINE) != 0;

  // The mnemonic prefix: "&&" is a literal ampersand, "&x" underlines x.
  std::u32string chars = Decode(TextView(text, length));
  std::vector<Item> items;
  items.reserve(chars.size());
  bool underlineNext = false;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    char32_t c = chars[i];
    if ((format & DT_NOPREFIX) == 0 && c == U'&') {
      if (i + 1 < chars.size() && chars[i + 1] == U'&') {
        ++i;
      } else {
        underlineNext = true;
        continue;
      }
    }
    if (c == U'\r' && i + 1 < chars.size() && chars[i + 1] == U'\n') continue;
    if (c == U'\r') c = U'\n';
    if (singleLine && c == U'\n') continue;
    items.push_back({c, underlineNext && c != U'\n', nullptr});
    underlineNext = false;
  }
  {
    std::u32string shaped(items.size(), U'\0');
    for (std::size_t i = 0; i < items.size(); ++i) shaped[i] = items[i].c == U'\t' ? U' ' : items[i].c;
    auto glyphs = fonts::GlyphsFor(*font, shaped);
    for (std::size_t i = 0; i < items.size(); ++i) items[i].glyph = std::move(glyphs[i]);
  }
  if ((format & DT_EXPANDTABS) != 0 && std::ranges::any_of(items, [](const Item& item) { return item.c == U'\t'; })) {
    // A tab is as wide as eight average characters.
    auto tab = std::make_shared<fonts::Glyph>();
    tab->advance = 8 * fonts::AverageWidthOf(*font);
    for (auto& item : items) {
      if (item.c == U'\t') item.glyph = tab;
    }
  }

  std::vector<Line> lines;
  const int limit = box.right - box.left;
  const bool wrap = !singleLine && (format & DT_WORDBREAK) != 0;
  std::size_t paragraph = 0;
  for (std::size_t i = 0; i <= items.size(); ++i) {
    if (i < items.size() && items[i].c != U'\n') continue;
    BreakParagraph(items, paragraph, i, limit, wrap, lines);
    paragraph = i + 1;
  }

  const int lineHeight = metrics.height;
  const int textHeight = lineHeight * static_cast<int>(lines.size());
  int top = box.top;
  if (singleLine && (format & DT_VCENTER) != 0) top = box.top + (box.bottom - box.top - lineHeight) / 2;
  const int result = t.ToLogical((singleLine && (format & DT_VCENTER) != 0) ? top + lineHeight - box.top : textHeight);

  if ((format & DT_CALCRECT) != 0) {
    int widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);
    rect->right = rect->left + t.ToLogical(widest);
    rect->bottom = rect->top + t.ToLogical(textHeight);
    return t.ToLogical(textHeight);
  }

  if (t.surface == nullptr) return result;
  const RECT clip = Intersect(t.clip, box);
  const std::uint32_t color = ToPixel(dc->state.textColor);
  const int underlineThickness = std::max(1, metrics.height / 14);

  for (std::size_t n = 0; n < lines.size(); ++n) {
    const Line& line = lines[n];
    int pen = box.left;
    if ((format & DT_CENTER) != 0) pen = box.left + (limit - line.width) / 2;
    const int lineTop = top + static_cast<int>(n) * lineHeight;
    const int baseline = lineTop + metrics.ascent;
    for (std::size_t i = line.begin; i < line.end; ++i) {
      const fonts::Glyph& g = *items[i].glyph;
      BlitGlyph(t, clip, g, pen, baseline, color);
      if (items[i].underline) {
        Fill(t, Intersect(RECT{pen, baseline + 1, pen + g.advance, baseline + 1 + underlineThickness}, clip), color);
      }
      pen += g.advance;
    }
  }
  return result;
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* metrics) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (metrics == nullptr) return platform::FailWith(ERROR_INVALID_PARAMETER, FALSE);
  auto font = FontOf(*dc);
  if (!font) return FALSE;
  const fonts::Metrics& m = fonts::MetricsOf(*font);
  *metrics = TEXTMETRICW{m.height, m.ascent, m.descent, 0, 0, fonts::AverageWidthOf(*font), m.maxWidth, m.weight};
  return TRUE;
}
