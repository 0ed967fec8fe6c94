// Device contexts, brushes, bitmaps and the operations that only move pixels.
#include <cstring>
#include <utility>

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/stock.h"

using platform::gdi::Surface;
using namespace platform::gdi::detail;

namespace {

// The bitmap resource `id` at `scale`; nothing where there is none.
std::optional<platform::gdi::BmpPicture> Picture(WORD id, int scale) {
  const auto bytes = platform::FindResourceBytes(RT_BITMAP_ID, MAKEINTRESOURCEW(id), scale);
  return bytes ? platform::gdi::OpenBmp(*bytes) : std::nullopt;
}

DcState DefaultState() {
  DcState s;
  s.brushHandle = GetStockObject(WHITE_BRUSH);
  s.brush = LookupAs<BrushObject>(s.brushHandle, Kind::Brush);
  s.fontHandle = GetStockObject(DEFAULT_GUI_FONT);
  s.font = LookupAs<FontObject>(s.fontHandle, Kind::Font);
  return s;
}

// Copies `area` of the destination's coordinates from `from` on in the source's, whose surface
// has another scale: each destination pixel takes the source pixel it lies on, so that edges
// stay hard.
void CopyNearest(const Target& dt, const RECT& area, const Target& st, POINT from) {
  const RECT wanted = dt.ToSurface(area);
  const RECT to = Intersect(wanted, dt.clip);
  const POINT start = st.ToSurface(from);
  std::vector<std::uint32_t> buffer;
  for (LONG row = to.top; row < to.bottom; ++row) {
    const LONG sy = start.y + (row - wanted.top) * st.scale / dt.scale;
    if (sy < st.clip.top || sy >= st.clip.bottom) continue;
    const std::uint32_t* source = st.Row(sy, buffer);
    std::uint32_t* dest = dt.surface->pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(dt.surface->width);
    for (LONG col = to.left; col < to.right; ++col) {
      const LONG sx = start.x + (col - wanted.left) * st.scale / dt.scale;
      if (sx >= st.clip.left && sx < st.clip.right) dest[col] = source[sx];
    }
  }
}


}  // namespace

namespace platform::gdi {

HDC CreateSurfaceDC(std::shared_ptr<Surface> surface, POINT origin, RECT clip) {
  if (!surface) return platform::FailWith(ERROR_INVALID_PARAMETER, nullptr);
  const Target scaled{nullptr, POINT{0, 0}, RECT{}, surface->scale, std::nullopt};
  auto dc = std::make_shared<DcObject>();
  dc->clip = Intersect(scaled.ToSurface(clip), RECT{0, 0, surface->width, surface->height});
  dc->surface = std::move(surface);
  dc->origin = scaled.ToSurface(origin);
  dc->state = DefaultState();
  return static_cast<HDC>(Insert(std::move(dc)));
}

std::shared_ptr<Surface> BitmapSurface(HBITMAP bitmap) {
  auto object = LookupAs<BitmapObject>(bitmap, Kind::Bitmap);
  int scale = 1;
  const auto picture = object ? PictureAt(*object, scale) : std::nullopt;
  if (!picture) return nullptr;
  auto surface = std::make_shared<Surface>(picture->width, picture->height);
  for (int y = 0; y < picture->height; ++y) picture->Row(y, surface->pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture->width));
  return surface;
}

}  // namespace platform::gdi

HDC CreateCompatibleDC(HDC hdc) {
  std::shared_ptr<DcObject> compatible = hdc != nullptr ? LookupDc(hdc) : nullptr;
  if (hdc != nullptr && !compatible) return nullptr;
  auto dc = std::make_shared<DcObject>();
  dc->memory = true;
  if (compatible) dc->scale = compatible->memory ? compatible->scale : compatible->surface->scale;
  dc->state = DefaultState();
  dc->state.bitmapHandle = platform::gdi::detail::PlaceholderBitmap();
  dc->state.bitmap = LookupAs<BitmapObject>(dc->state.bitmapHandle, Kind::Bitmap);
  return static_cast<HDC>(Insert(std::move(dc)));
}

BOOL DeleteDC(HDC hdc) {
  if (!LookupDc(hdc)) return FALSE;
  return Remove(hdc) ? TRUE : FALSE;
}

int SaveDC(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->state);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int savedDepth) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (savedDepth < 1 || savedDepth > static_cast<int>(dc->saved.size())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  dc->state = dc->saved[static_cast<std::size_t>(savedDepth - 1)];
  dc->saved.resize(static_cast<std::size_t>(savedDepth - 1));
  return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  std::shared_ptr<Object> o = Lookup(object);
  if (!o) return platform::FailWith(ERROR_INVALID_HANDLE, nullptr);
  DcState& s = dc->state;
  // Puts the object in one of the DC's slots and gives the handle the slot held.
  const auto put = [&](HGDIOBJ& handle, auto& slot) {
    slot = std::static_pointer_cast<typename std::remove_reference_t<decltype(slot)>::element_type>(o);
    return std::exchange(handle, object);
  };
  switch (o->kind) {
    case Kind::Bitmap:
      // A window's DC draws on the window; only a memory DC takes a bitmap.
      if (!dc->memory) break;
      return put(s.bitmapHandle, s.bitmap);
    case Kind::Brush:
      return put(s.brushHandle, s.brush);
    case Kind::Font:
      return put(s.fontHandle, s.font);
    case Kind::Dc:
    case Kind::Icon:
      break;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

int SetBkMode(HDC hdc, int mode) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (mode != TRANSPARENT && mode != OPAQUE) return platform::FailWith(ERROR_INVALID_PARAMETER, 0);
  return std::exchange(dc->state.bkMode, mode);
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  auto dc = LookupDc(hdc);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->state.textColor, color & 0x00FFFFFFu);
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  auto dc = LookupDc(hdc);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->state.bkColor, color & 0x00FFFFFFu);
}

BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int x1, int y1, DWORD rop) {
  auto d = LookupDc(dest);
  auto s = LookupDc(source);
  if (!d || !s) return FALSE;
  if (rop != SRCCOPY || cx < 0 || cy < 0) return platform::FailWith(ERROR_INVALID_PARAMETER, FALSE);
  const Target dt = TargetOf(*d);
  const Target st = TargetOf(*s, dt.scale);
  if (dt.surface == nullptr || (st.surface == nullptr && !st.picture)) return TRUE;
  if (dt.scale != st.scale) {
    CopyNearest(dt, RECT{x, y, x + cx, y + cy}, st, POINT{x1, y1});
    return TRUE;
  }

  // Work in destination surface coordinates: the copy lands where both the destination's clip
  // and the source's readable area (moved onto the destination) allow.
  const RECT wanted = dt.ToSurface(RECT{x, y, x + cx, y + cy});
  const POINT from = st.ToSurface(POINT{x1, y1});
  const POINT shift{from.x - wanted.left, from.y - wanted.top};
  const RECT readable = Offset(st.clip, -shift.x, -shift.y);
  const RECT area = Intersect(Intersect(wanted, dt.clip), readable);
  if (IsEmpty(area)) return TRUE;

  const auto width = static_cast<std::size_t>(area.right - area.left);
  std::vector<std::uint32_t> buffer;
  for (LONG row = area.top; row < area.bottom; ++row) {
    const std::uint32_t* from = st.Row(row + shift.y, buffer) + static_cast<std::size_t>(area.left + shift.x);
    std::uint32_t* to = dt.surface->pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(dt.surface->width) + static_cast<std::size_t>(area.left);
    std::memmove(to, from, width * sizeof(std::uint32_t));
  }
  return TRUE;
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (rect == nullptr) return platform::FailWith(ERROR_INVALID_PARAMETER, 0);
  auto b = LookupAs<BrushObject>(brush, Kind::Brush);
  if (!b) return 0;
  if (b->hollow) return 1;
  const Target t = TargetOf(*dc);
  if (t.surface != nullptr) Fill(t, t.ToSurface(*rect), ToPixel(b->color));
  return 1;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto brush = std::make_shared<BrushObject>();
  brush->color = color & 0x00FFFFFFu;
  return static_cast<HBRUSH>(Insert(std::move(brush)));
}

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
  // A null instance names the system's own bitmaps, of which there are none here.
  const auto bytes = instance != nullptr ? platform::FindResourceBytes(RT_BITMAP_ID, name) : std::nullopt;
  if (!bytes) return platform::FailWith(ERROR_FILE_NOT_FOUND, nullptr);
  const auto size = platform::gdi::OpenBmp(*bytes);
  if (!size) return platform::FailWith(ERROR_INVALID_PARAMETER, nullptr);
  auto bitmap = std::make_shared<BitmapObject>();
  bitmap->resource = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
  bitmap->width = size->width;
  bitmap->height = size->height;
  return static_cast<HBITMAP>(Insert(std::move(bitmap)));
}

namespace platform::gdi::detail {

void Fill(const Target& t, RECT area, std::uint32_t pixel) {
  area = Intersect(area, t.clip);
  if (IsEmpty(area)) return;
  for (LONG y = area.top; y < area.bottom; ++y) {
    std::uint32_t* row = t.surface->pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(t.surface->width);
    std::fill(row + area.left, row + area.right, pixel);
  }
}

std::optional<platform::gdi::BmpPicture> PictureAt(const BitmapObject& bitmap, int& scale) {
  if (bitmap.resource == 0) return std::nullopt;
  // A picture that does not cover the same area would move everything drawn from it.
  auto picture = scale != 1 ? Picture(bitmap.resource, scale) : std::nullopt;
  if (picture && picture->width == bitmap.width * scale && picture->height == bitmap.height * scale) return picture;
  scale = 1;
  return Picture(bitmap.resource, 1);
}

}  // namespace platform::gdi::detail

BOOL DeleteObject(HGDIOBJ object) {
  std::shared_ptr<Object> o = Lookup(object);
  if (!o || o->kind == Kind::Dc || o->kind == Kind::Icon) return platform::FailWith(ERROR_INVALID_HANDLE, FALSE);
  return Remove(object) ? TRUE : FALSE;
}

int GetObjectW(HGDIOBJ object, int size, LPVOID out) {
  std::shared_ptr<Object> o = Lookup(object);
  if (!o) return platform::FailWith(ERROR_INVALID_HANDLE, 0);
  const auto copyOut = [&](const auto& value) -> int {
    constexpr int needed = static_cast<int>(sizeof value);
    if (out == nullptr) return needed;
    if (size < needed) return platform::FailWith(ERROR_INSUFFICIENT_BUFFER, 0);
    std::memcpy(out, &value, sizeof value);
    return needed;
  };
  switch (o->kind) {
    case Kind::Bitmap: {
      const auto& bitmap = static_cast<const BitmapObject&>(*o);
      // Loaded pictures are drawn in the screen's format, 32 bits per pixel, whatever the file.
      return copyOut(BITMAP{0, bitmap.width, bitmap.height, bitmap.width * 4, 1, 32, nullptr});
    }
    case Kind::Font: return copyOut(static_cast<const FontObject&>(*o).logFont);
    case Kind::Brush:
    case Kind::Dc:
    case Kind::Icon:
      break;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}
