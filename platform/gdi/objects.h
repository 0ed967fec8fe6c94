// The drawing objects behind the opaque handles of gdi.h, and the table that hands them out.
//
// A handle is a number, never a pointer: the table maps it to the object, so a stale, foreign or
// made-up handle is only ever "not found". Handle values are never reused within a process.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/base/errors.h"
#include "platform/base/rect.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/image_codec.h"

namespace platform::gdi::fonts {
class Font;
}

namespace platform::gdi::detail {

enum class Kind : std::uint8_t { Dc = 1, Bitmap, Brush, Font, Icon };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  const Kind kind;
};

struct BitmapObject final : Object {
  BitmapObject() : Object(Kind::Bitmap) {}
  // The bitmap resource it was loaded from, and its picture's size; 0 only for the placeholder
  // bitmap of a fresh memory DC, which nothing draws on. The pixels stay in the resource's bytes
  // and are decoded a row at a time as copies read them: what is drawn from them is on the
  // window's surface, and no other copy is kept.
  WORD resource = 0;
  int width = 1;
  int height = 1;
};

// The bitmap's picture for a surface of `scale`: its resource's own at that scale, where there
// is one of the right size (`scale` stays), else the picture at its own size (`scale` becomes
// 1). Nothing for the placeholder.
std::optional<BmpPicture> PictureAt(const BitmapObject& bitmap, int& scale);

struct BrushObject final : Object {
  BrushObject() : Object(Kind::Brush) {}
  bool hollow = false;  // the stock NULL_BRUSH: fills nothing
  COLORREF color = 0;
};

struct FontObject final : Object {
  FontObject() : Object(Kind::Font), font(logFont) {}
  LOGFONTW logFont{};
  // The font is realized when text is first drawn or measured with it: a font that is made and
  // replaced before any text (a label's size, then its weight) never asks fontconfig or opens a
  // face. Null when no installed font could be matched at all; text then draws nothing.
  class Realization {
   public:
    explicit Realization(const LOGFONTW& logFont) : logFont_(logFont) {}
    // The font for a surface of `scale`: the description with its heights that many times as
    // large, so that the glyphs have the detail of the surface's pixels.
    const std::shared_ptr<fonts::Font>& get(int scale = 1) const;
    fonts::Font& operator*() const { return *get(); }

   private:
    const LOGFONTW& logFont_;
    mutable std::once_flag once_;
    mutable std::shared_ptr<fonts::Font> font_;
    mutable std::mutex scaledMutex_;
    mutable std::map<int, std::shared_ptr<fonts::Font>> scaled_;
  } font;
};

struct IconObject final : Object {
  IconObject() : Object(Kind::Icon) {}
  std::vector<IconBitmap> images;
  WORD systemCursor = 0;  // the IDC_ id of a system cursor, else 0
};

// What SelectObject, SetTextColor and friends change, and SaveDC keeps.
struct DcState {
  HGDIOBJ bitmapHandle = nullptr;
  std::shared_ptr<BitmapObject> bitmap;
  HGDIOBJ brushHandle = nullptr;
  std::shared_ptr<BrushObject> brush;
  HGDIOBJ fontHandle = nullptr;
  std::shared_ptr<FontObject> font;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
};

struct DcObject final : Object {
  DcObject() : Object(Kind::Dc) {}
  bool memory = false;
  std::shared_ptr<Surface> surface;  // surface DCs only; a memory DC draws on its bitmap
  POINT origin{};  // surface pixels
  RECT clip{};     // surface pixels
  // A memory DC's: the scale of the DC it was made compatible with, which picks its bitmap's
  // picture.
  int scale = 1;
  DcState state;
  std::vector<DcState> saved;
};

// Where a DC's drawing lands: a surface, the surface position of logical (0, 0), and the clip
// in surface coordinates (already inside the surface). `surface` is null when nothing can land.
// Each logical pixel covers `scale` by `scale` of the surface's: this is the one place where
// the DC's coordinates become the surface's.
struct Target {
  std::shared_ptr<Surface> surface;
  POINT origin{};
  RECT clip{};
  int scale = 1;

  // A memory DC's bitmap instead of a surface: copies read it, nothing draws on it.
  std::optional<BmpPicture> picture;

  // Row `y` of what a copy reads: the surface's own, or the picture's decoded into `buffer`.
  const std::uint32_t* Row(LONG y, std::vector<std::uint32_t>& buffer) const {
    if (surface) return surface->pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(surface->width);
    buffer.resize(static_cast<std::size_t>(picture->width));
    picture->Row(static_cast<int>(y), buffer.data());
    return buffer.data();
  }

  POINT ToSurface(POINT p) const { return {p.x * scale + origin.x, p.y * scale + origin.y}; }
  RECT ToSurface(const RECT& r) const {
    return {r.left * scale + origin.x, r.top * scale + origin.y, r.right * scale + origin.x, r.bottom * scale + origin.y};
  }
  // A length of the surface's pixels in the DC's, rounded up.
  int ToLogical(int length) const { return (length + scale - 1) / scale; }
};
// Where drawing on the DC lands, and where a copy from it is read. A memory DC stands over its
// bitmap's picture for `scale` (0: its own scale), which only copies read.
Target TargetOf(const DcObject& dc, int scale = 0);

// Stock objects live for the whole process, are never counted as live and are never deleted.
void* Insert(std::shared_ptr<Object> object, bool stock = false);
std::shared_ptr<Object> Lookup(const void* handle);
bool Remove(const void* handle);  // false for unknown handles; stock objects stay (true)

template <class T>
std::shared_ptr<T> LookupAs(const void* handle, Kind kind) {
  std::shared_ptr<Object> object = Lookup(handle);
  if (!object || object->kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(std::move(object));
}

std::shared_ptr<DcObject> LookupDc(HDC hdc);

using platform::Intersect;
using platform::IsEmpty;
using platform::Offset;

// Fills `area` (the target's pixels, cut to its clip) with one pixel value.
void Fill(const Target& t, RECT area, std::uint32_t pixel);

// Blends `color` (0x00RRGGBB) over a pixel with coverage 0..255.
inline std::uint32_t Blend(std::uint32_t dst, std::uint32_t color, unsigned coverage) {
  if (coverage >= 255) return color;
  if (coverage == 0) return dst;
  std::uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const std::uint32_t d = (dst >> shift) & 0xFF;
    const std::uint32_t c = (color >> shift) & 0xFF;
    out |= ((d * (255 - coverage) + c * coverage + 127) / 255) << shift;
  }
  return out;
}

// COLORREF is 0x00BBGGRR; surfaces hold 0x00RRGGBB.
inline std::uint32_t ToPixel(COLORREF c) { return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c); }

}  // namespace platform::gdi::detail
