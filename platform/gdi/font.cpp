#include "platform/gdi/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "platform/base/codepage.h"
#include "platform/gdi/font_matches.h"
#include "platform/kernel/debug_output.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define VELMOR_HAS_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define VELMOR_HAS_LSAN 1
#endif
#endif

namespace platform::gdi::fonts {
namespace {

constexpr int kDefaultEm = 12;
// Larger requests are clamped: a glyph's coverage grows with the square of the size.
constexpr int kMaxEm = 512;
constexpr std::size_t kMaxCachedGlyphs = 8192;
// fontconfig sorts every installed font; coverage beyond the first few dozen never matters.
constexpr std::size_t kMaxFallbacks = 48;

// A face fontconfig offers (emboldenAsked: its configuration asks for synthetic bold), with what
// is needed to pick it for a character.
struct Candidate : MatchAnswer {
  FcCharSet* charset = nullptr;  // owned

  Candidate() { fcWeight = FC_WEIGHT_REGULAR; }
  explicit Candidate(const MatchAnswer& answer) : MatchAnswer(answer) {}
  Candidate(const Candidate&) = delete;
  Candidate& operator=(const Candidate&) = delete;
  ~Candidate() {
    if (charset != nullptr) FcCharSetDestroy(charset);
  }
};

std::unique_ptr<Candidate> CandidateFrom(FcPattern* pattern) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(pattern, FC_FILE, 0, &file) != FcResultMatch) return nullptr;
  auto c = std::make_unique<Candidate>();
  c->file = reinterpret_cast<const char*>(file);
  FcPatternGetInteger(pattern, FC_INDEX, 0, &c->index);
  FcChar8* family = nullptr;
  if (FcPatternGetString(pattern, FC_FAMILY, 0, &family) == FcResultMatch) c->family = reinterpret_cast<const char*>(family);
  // Variable fonts carry a weight range rather than a number; they count as regular.
  FcPatternGetInteger(pattern, FC_WEIGHT, 0, &c->fcWeight);
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(pattern, FC_SLANT, 0, &slant);
  c->italic = slant != FC_SLANT_ROMAN;
  FcBool embolden = FcFalse;
  c->emboldenAsked = FcPatternGetBool(pattern, FC_EMBOLDEN, 0, &embolden) == FcResultMatch && embolden == FcTrue;
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(pattern, FC_CHARSET, 0, &charset) == FcResultMatch) c->charset = FcCharSetCopy(charset);
  return c;
}

using FallbackList = std::vector<std::unique_ptr<Candidate>>;

// A font file's face: open only while glyphs are rendered from it (see ReleaseFontFaces).
struct FaceSlot {
  FT_Face face = nullptr;
  bool broken = false;  // failed to open: not tried again
};

// Cached glyphs are found without their face being open: by the slot and the character.
struct GlyphKey {
  const FaceSlot* slot;
  int em;
  bool embolden;
  bool oblique;
  char32_t c;
  bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
  std::size_t operator()(const GlyphKey& k) const {
    std::size_t h = std::hash<const void*>()(k.slot);
    h = h * 31 + static_cast<std::size_t>(k.em);
    h = h * 31 + (k.embolden ? 1 : 0) + (k.oblique ? 2 : 0);
    return h * 31 + k.c;
  }
};

using RealizationKey = std::tuple<std::string, LONG, int, bool>;  // family, lfHeight, weight, italic

struct System {
  std::mutex mutex;
  bool freetypeTried = false;
  FT_Library library = nullptr;
  bool fontconfigTried = false;
  bool fontconfigReady = false;
  std::size_t fontconfigMatches = 0;
  bool noFontSaid = false;
  // Where fontconfig's answers are remembered between runs; empty: nowhere.
  std::string matchesPath;
  bool matchesLoaded = false;
  MatchStore matches;
  // One slot per face ever asked for (there are only as many as fonts installed); never erased,
  // so a slot's address names its face for the life of the process.
  std::map<std::pair<std::string, int>, FaceSlot> faces;
  std::size_t openFaces = 0;
  std::unordered_map<GlyphKey, std::shared_ptr<const Glyph>, GlyphKeyHash> glyphs;
  std::map<RealizationKey, std::weak_ptr<Font>> realized;
  std::map<MatchQuery, std::shared_ptr<const FallbackList>> fallbacks;
};

System& TheSystem() {
  static auto* system = new System;  // never destroyed: fonts may be released during exit
  return *system;
}

// The Ensure functions are called with the lock held.
bool EnsureFreeType(System& s) {
  if (!s.freetypeTried) {
    s.freetypeTried = true;
    if (FT_Init_FreeType(&s.library) != 0) s.library = nullptr;
  }
  return s.library != nullptr;
}

bool EnsureFontconfig(System& s) {
  if (!s.fontconfigTried) {
    s.fontconfigTried = true;
#ifdef VELMOR_HAS_LSAN
    // fontconfig's configuration parser drops a few blocks for good while it reads the system
    // configuration; that is the library's, once per process, and no leak of ours.
    __lsan::ScopedDisabler libraryInitLeaks;
#endif
    s.fontconfigReady = FcInit() == FcTrue;
  }
  return s.fontconfigReady;
}

MatchStore& EnsureMatchesLoaded(System& s) {
  if (!s.matchesLoaded) {
    s.matchesLoaded = true;
    if (!s.matchesPath.empty()) s.matches = LoadMatches(s.matchesPath);
  }
  return s.matches;
}

std::vector<std::string> FromStrList(FcStrList* list) {
  std::vector<std::string> out;
  if (list == nullptr) return out;
  while (FcChar8* item = FcStrListNext(list)) out.emplace_back(reinterpret_cast<const char*>(item));
  FcStrListDone(list);
  return out;
}

// Everything fontconfig's answers depend on: the files and folders it read, where the user's own
// configuration and fonts would be, and the variables that move them.
std::vector<std::string> FontconfigSources(const MatchStore& store) {
  std::vector<std::string> sources{"$FONTCONFIG_FILE", "$FONTCONFIG_PATH", "$FONTCONFIG_SYSROOT", "$HOME",
                                   "$XDG_CONFIG_HOME", "$XDG_DATA_HOME", "$XDG_CACHE_HOME"};
  for (const std::string& file : FromStrList(FcConfigGetConfigFiles(nullptr))) {
    sources.push_back(file);
    sources.push_back(file.substr(0, file.rfind('/')));  // a file added beside it
  }
  for (const std::string& dir : FromStrList(FcConfigGetFontDirs(nullptr))) sources.push_back(dir);
  for (const std::string& dir : FromStrList(FcConfigGetCacheDirs(nullptr))) sources.push_back(dir);
  const char* home = std::getenv("HOME");
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (home != nullptr && *home != '\0') {
    const std::string h = home;
    const std::string config = configHome != nullptr && *configHome != '\0' ? configHome : h + "/.config";
    const std::string data = dataHome != nullptr && *dataHome != '\0' ? dataHome : h + "/.local/share";
    for (const std::string& place : {config + "/fontconfig/fonts.conf", config + "/fontconfig/conf.d", h + "/.fonts.conf",
                                     h + "/.fonts.conf.d", data + "/fonts", h + "/.fonts"}) {
      sources.push_back(place);
    }
  }
  for (std::string& file : store.AnswerFiles()) sources.push_back(std::move(file));
  std::sort(sources.begin(), sources.end());
  sources.erase(std::unique(sources.begin(), sources.end()), sources.end());
  return sources;
}

FaceSlot& SlotOf(System& s, const std::string& file, int index) { return s.faces[std::make_pair(file, index)]; }

FT_Face OpenFace(System& s, const std::string& file, int index) {
  FaceSlot& slot = SlotOf(s, file, index);
  if (slot.face == nullptr && !slot.broken) {
    if (FT_New_Face(s.library, file.c_str(), index, &slot.face) == 0) {
      ++s.openFaces;
    } else {
      slot.face = nullptr;
      slot.broken = true;
    }
  }
  return slot.face;
}

std::shared_ptr<const Glyph> EmptyGlyph() {
  static const auto glyph = std::make_shared<const Glyph>();
  return glyph;
}

std::shared_ptr<const Glyph> Render(FT_Face face, int em, bool embolden, bool oblique, FT_UInt index) {
  auto glyph = std::make_shared<Glyph>();
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0) return glyph;
  // Light hinting keeps the shapes of CJK outlines; faces with only bitmaps need the second try.
  if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0 && FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return glyph;
  FT_GlyphSlot slot = face->glyph;
  FT_Pos advance = slot->advance.x;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (oblique) {
      const FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (embolden) {
      const FT_Pos strength = FT_MulFix(face->units_per_EM, face->size->metrics.y_scale) / 24;
      FT_Outline_Embolden(&slot->outline, strength);
      advance += strength;
    }
  }
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;
  const FT_Bitmap& bm = slot->bitmap;
  glyph->advance = static_cast<int>((advance + 32) >> 6);
  if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return glyph;
  glyph->left = slot->bitmap_left;
  glyph->top = slot->bitmap_top;
  glyph->width = static_cast<int>(bm.width);
  glyph->rows = static_cast<int>(bm.rows);
  glyph->coverage.resize(static_cast<std::size_t>(glyph->width) * static_cast<std::size_t>(glyph->rows));
  for (int y = 0; y < glyph->rows; ++y) {
    const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
    for (int x = 0; x < glyph->width; ++x) {
      const std::uint8_t v = bm.pixel_mode == FT_PIXEL_MODE_GRAY ? row[x] : (((row[x / 8] >> (7 - x % 8)) & 1) != 0 ? 255 : 0);
      glyph->coverage[static_cast<std::size_t>(y) * static_cast<std::size_t>(glyph->width) + static_cast<std::size_t>(x)] = v;
    }
  }
  return glyph;
}

std::shared_ptr<const FallbackList> SortedFallbacks(System& s, const MatchQuery& query);

}  // namespace

class Font {
 public:
  MatchQuery query;
  int em = kDefaultEm;
  bool bold = false;
  bool italic = false;
  Metrics metrics;
  int averageWidth = -1;  // measured when first asked
  std::unique_ptr<Candidate> primary;
  // Sorted when a character first needs one: a remembered answer draws the program's texts
  // without fontconfig ever being loaded.
  std::shared_ptr<const FallbackList> fallbacks;
  // Which candidate draws a character: 0 the primary, i the fallback i - 1.
  std::unordered_map<char32_t, std::size_t> chosen;

  const Candidate& CandidateAt(std::size_t i) const { return i == 0 ? *primary : *(*fallbacks)[i - 1]; }
  // The matched face's weight may already be the one asked for, when fontconfig's configuration
  // decided on synthetic bold; it then says so with FC_EMBOLDEN.
  bool Embolden(const Candidate& c) const { return bold && (c.emboldenAsked || c.fcWeight < FC_WEIGHT_DEMIBOLD); }
  bool Oblique(const Candidate& c) const { return italic && !c.italic; }

  // Called with the lock held.
  std::size_t Choose(System& s, char32_t c) {
    auto it = chosen.find(c);
    if (it != chosen.end()) return it->second;
    std::size_t pick = 0;
    FT_Face face = OpenFace(s, primary->file, primary->index);
    if (face == nullptr || FT_Get_Char_Index(face, c) == 0) {
      if (!fallbacks) fallbacks = SortedFallbacks(s, query);
      for (std::size_t i = 0; i < fallbacks->size(); ++i) {
        const Candidate& f = *(*fallbacks)[i];
        if (f.charset == nullptr || FcCharSetHasChar(f.charset, c) != FcTrue) continue;
        FT_Face fallback = OpenFace(s, f.file, f.index);
        if (fallback != nullptr && FT_Get_Char_Index(fallback, c) != 0) {
          pick = i + 1;
          break;
        }
      }
    }
    chosen.emplace(c, pick);
    return pick;
  }

  std::shared_ptr<const Glyph> GlyphOf(System& s, char32_t c) {
    if (c < 0x20 || c == 0x7F) return EmptyGlyph();
    const Candidate& cand = CandidateAt(Choose(s, c));
    const GlyphKey key{&SlotOf(s, cand.file, cand.index), em, Embolden(cand), Oblique(cand), c};
    auto it = s.glyphs.find(key);
    if (it != s.glyphs.end()) return it->second;
    FT_Face face = OpenFace(s, cand.file, cand.index);
    if (face == nullptr) return EmptyGlyph();
    if (s.glyphs.size() >= kMaxCachedGlyphs) s.glyphs.clear();
    auto glyph = Render(face, em, key.embolden, key.oblique, FT_Get_Char_Index(face, c));
    s.glyphs.emplace(key, glyph);
    return glyph;
  }
};

namespace {

// Fills in the size and the metrics from the primary face; called with the lock held.
bool Measure(System& s, Font& font, LONG lfHeight, LONG lfWeight) {
  FT_Face face = OpenFace(s, font.primary->file, font.primary->index);
  if (face == nullptr || face->units_per_EM == 0) return false;
  const double upem = face->units_per_EM;
  double ascender = face->ascender;
  double descender = face->descender;
  if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)); os2 != nullptr && os2->sTypoAscender - os2->sTypoDescender > 0) {
    ascender = os2->sTypoAscender;
    descender = os2->sTypoDescender;
  }
  if (ascender - descender <= 0) {
    ascender = upem * 0.88;
    descender = -upem * 0.12;
  }
  // A negative height is the character (em) height; 0 asks for the default. (The program asks
  // for no cell heights, which a positive height would be.)
  double em = kDefaultEm;
  if (lfHeight < 0) em = -static_cast<double>(lfHeight);
  font.em = std::clamp(static_cast<int>(std::lround(em)), 1, kMaxEm);

  Metrics& m = font.metrics;
  m.ascent = static_cast<int>(std::lround(ascender * font.em / upem));
  m.descent = static_cast<int>(std::lround(-descender * font.em / upem));
  m.height = std::max(1, m.ascent + m.descent);
  m.maxWidth = static_cast<int>(std::lround(face->max_advance_width * font.em / upem));
  m.weight = font.bold ? FW_BOLD : (lfWeight > 0 ? lfWeight : FW_NORMAL);
  return true;
}

// The description as fontconfig is asked it. The program's texts are Japanese: among the faces
// that stand in for a missing family, those that cover Japanese come first, both for the match
// and for the per-character fallback.
FcPattern* PatternFor(const MatchQuery& query) {
  FcPattern* pattern = FcPatternCreate();
  if (!query.family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(query.family.c_str()));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddInteger(pattern, FC_WEIGHT, query.fcWeight);
  FcPatternAddInteger(pattern, FC_SLANT, query.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  return pattern;
}

std::shared_ptr<const FallbackList> SortedFallbacks(System& s, const MatchQuery& query) {
  auto it = s.fallbacks.find(query);
  if (it != s.fallbacks.end()) return it->second;
  auto list = std::make_shared<FallbackList>();
  FcResult result = FcResultNoMatch;
  if (EnsureFontconfig(s)) {
    FcPattern* pattern = PatternFor(query);
    if (FcFontSet* set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result)) {
      for (int i = 0; i < set->nfont && list->size() < kMaxFallbacks; ++i) {
        if (auto c = CandidateFrom(set->fonts[i])) list->push_back(std::move(c));
      }
      FcFontSetDestroy(set);
    }
    FcPatternDestroy(pattern);
  }
  s.fallbacks.emplace(query, list);
  return list;
}

// fontconfig's answer, which is remembered for the next run.
std::unique_ptr<Candidate> AskFontconfig(System& s, const MatchQuery& query) {
  if (!EnsureFontconfig(s)) return nullptr;
  ++s.fontconfigMatches;
  FcPattern* pattern = PatternFor(query);
  FcResult result = FcResultNoMatch;
  std::unique_ptr<Candidate> answer;
  if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
    answer = CandidateFrom(match);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  if (answer && !s.matchesPath.empty()) {
    MatchStore& store = EnsureMatchesLoaded(s);
    store.Put(query, *answer);
    store.StampSources(FontconfigSources(store));
    SaveMatches(s.matchesPath, store);
  }
  return answer;
}

// Without a font the window has no text at all; whoever started the program should know why.
// Called with the lock held.
std::shared_ptr<Font> NoFont(System& s) {
  if (!s.noFontSaid) {
    s.noFontSaid = true;
    platform::kernel::TellUser(
        "no usable font: fontconfig offers none that can be opened, so the window shows no text; install one "
        "with Japanese characters (for example fonts-noto-cjk)");
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<Font> Realize(const LOGFONTW& logFont) {
  const WCHAR* faceEnd = std::find(std::begin(logFont.lfFaceName), std::end(logFont.lfFaceName), u'\0');
  const std::string family = platform::Utf16ToUtf8(std::u16string_view(logFont.lfFaceName, static_cast<std::size_t>(faceEnd - std::begin(logFont.lfFaceName))));
  const bool bold = logFont.lfWeight >= 600;
  const bool italic = logFont.lfItalic != 0;
  const int fcWeight = bold ? FC_WEIGHT_BOLD : (logFont.lfWeight <= 0 ? FC_WEIGHT_REGULAR : FcWeightFromOpenType(std::min<LONG>(logFont.lfWeight, 1000)));

  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  if (!EnsureFreeType(s)) return NoFont(s);
  const RealizationKey key{family, logFont.lfHeight, fcWeight, italic};
  if (auto existing = s.realized[key].lock()) return existing;

  auto font = std::make_shared<Font>();
  font->query = MatchQuery{family, fcWeight, italic};
  font->bold = bold;
  font->italic = italic;
  MatchStore& store = EnsureMatchesLoaded(s);
  if (const MatchAnswer* remembered = store.Find(font->query)) {
    font->primary = std::make_unique<Candidate>(*remembered);
    if (!Measure(s, *font, logFont.lfHeight, logFont.lfWeight)) {
      // The face is gone or broken although its stamp held: ask again.
      store.Forget(font->query);
      font->primary.reset();
    }
  }
  if (!font->primary) {
    font->primary = AskFontconfig(s, font->query);
    if (!font->primary || !Measure(s, *font, logFont.lfHeight, logFont.lfWeight)) return NoFont(s);
  }
  s.realized[key] = font;
  return font;
}

void RememberMatchesIn(std::string path) {
  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  s.matchesPath = std::move(path);
  s.matchesLoaded = false;
  s.matches = MatchStore();
}

std::size_t OpenFaceCount() {
  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  return s.openFaces;
}

std::size_t FontconfigMatchCount() {
  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  return s.fontconfigMatches;
}

const Metrics& MetricsOf(const Font& font) { return font.metrics; }

int AverageWidthOf(Font& font) {
  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  if (font.averageWidth < 0) {
    int total = 0;
    int count = 0;
    for (char32_t c = U'A'; c <= U'z'; ++c) {
      if (c > U'Z' && c < U'a') continue;
      total += font.GlyphOf(s, c)->advance;
      ++count;
    }
    font.averageWidth = (total + count / 2) / count;
  }
  return font.averageWidth;
}

std::vector<std::shared_ptr<const Glyph>> GlyphsFor(Font& font, std::u32string_view text) {
  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  std::vector<std::shared_ptr<const Glyph>> out;
  out.reserve(text.size());
  for (char32_t c : text) out.push_back(font.GlyphOf(s, c));
  return out;
}

FaceInfo FaceFor(Font& font, char32_t c) {
  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  const Candidate& cand = font.CandidateAt(font.Choose(s, c));
  return FaceInfo{cand.file, cand.index, cand.family, font.Embolden(cand)};
}

}  // namespace platform::gdi::fonts

namespace platform::gdi {

void ReleaseFontFaces() {
  using namespace fonts;
  System& s = TheSystem();
  std::lock_guard lock(s.mutex);
  if (s.openFaces == 0) return;
  for (auto& [key, slot] : s.faces) {
    if (slot.face != nullptr) FT_Done_Face(slot.face);
    slot.face = nullptr;
  }
  s.openFaces = 0;
  // The faces' tables were many small blocks among the heap's others: give their pages back.
  malloc_trim(0);
}

}  // namespace platform::gdi
