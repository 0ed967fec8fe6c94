// Icons from resources, and the system cursors.
#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"

using platform::gdi::IconBitmap;
using namespace platform::gdi::detail;

namespace {

constexpr WORD kSystemCursors[] = {32512, 32513, 32514, 32515, 32516, 32640, 32641, 32642, 32643,
                                   32644, 32645, 32646, 32648, 32649, 32650, 32651};

struct Shared {
  std::mutex mutex;
  // Loading the same resource again gives the same icon, as icons from resources are shared.
  std::map<std::tuple<WORD, const BYTE*, std::size_t>, HICON> icons;
  std::map<WORD, HCURSOR> cursors;
  HCURSOR current = nullptr;
  bool currentSet = false;
};

Shared& TheShared() {
  static auto* shared = new Shared;
  return *shared;
}

// The image of exactly `size`, the 32-bit one when there are both.
const IconBitmap* ExactImage(const IconObject& icon, int size) {
  const IconBitmap* best = nullptr;
  for (const IconBitmap& image : icon.images) {
    if (image.width != size || image.height != size) continue;
    if (best == nullptr || image.bitCount > best->bitCount) best = &image;
  }
  return best;
}

}  // namespace

namespace platform::gdi {

std::vector<std::uint32_t> IconImage(HICON icon, int size) {
  auto object = LookupAs<IconObject>(icon, Kind::Icon);
  if (!object) return {};
  const IconBitmap* image = ExactImage(*object, size);
  return image != nullptr ? image->argb : std::vector<std::uint32_t>{};
}

WORD SystemCursorId(HCURSOR cursor) {
  auto object = LookupAs<IconObject>(cursor, Kind::Icon);
  return object ? object->systemCursor : 0;
}

}  // namespace platform::gdi

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  // A null instance names the system's stock icons, of which there are none here.
  const auto bytes = instance != nullptr ? platform::FindResourceBytes(RT_GROUP_ICON_ID, name) : std::nullopt;
  if (!bytes) return platform::FailWith(ERROR_FILE_NOT_FOUND, nullptr);
  const auto key = std::make_tuple(static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name)), bytes->data(), bytes->size());
  Shared& s = TheShared();
  std::lock_guard lock(s.mutex);
  if (auto it = s.icons.find(key); it != s.icons.end()) return it->second;
  auto images = platform::gdi::DecodeIco(*bytes);
  if (!images) return platform::FailWith(ERROR_INVALID_PARAMETER, nullptr);
  auto icon = std::make_shared<IconObject>();
  icon->images = std::move(*images);
  // The sizes that screens of twice the density want, drawn for them.
  if (const auto larger = platform::FindResourceBytes(RT_GROUP_ICON_ID, name, 2)) {
    for (IconBitmap& image : platform::gdi::DecodeIco(*larger).value_or(std::vector<IconBitmap>{})) {
      if (ExactImage(*icon, image.width) == nullptr) icon->images.push_back(std::move(image));
    }
  }
  auto handle = static_cast<HICON>(Insert(std::move(icon), /*stock=*/true));
  s.icons.emplace(key, handle);
  return handle;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon) {
  auto dc = LookupDc(hdc);
  auto object = LookupAs<IconObject>(icon, Kind::Icon);
  if (!dc || !object) return FALSE;
  const int size = platform::gdi::kIconSize;
  const Target t = TargetOf(*dc);
  const IconBitmap* image = ExactImage(*object, size * t.scale);
  if (image == nullptr) image = ExactImage(*object, size);
  if (image == nullptr) return platform::FailWith(ERROR_INVALID_PARAMETER, FALSE);
  if (t.surface == nullptr) return TRUE;
  // The box covers size * scale of the surface's pixels; an image with fewer has each of its
  // pixels drawn as a square.
  const RECT box = t.ToSurface(RECT{x, y, x + size, y + size});
  const LONG extent = box.right - box.left;
  const RECT area = Intersect(box, t.clip);
  for (LONG sy = area.top; sy < area.bottom; ++sy) {
    const auto iy = static_cast<std::size_t>((sy - box.top) * image->height / extent);
    std::uint32_t* row = t.surface->pixels.data() + static_cast<std::size_t>(sy) * static_cast<std::size_t>(t.surface->width);
    for (LONG sx = area.left; sx < area.right; ++sx) {
      const auto ix = static_cast<std::size_t>((sx - box.left) * image->width / extent);
      const std::uint32_t argb = image->argb[iy * static_cast<std::size_t>(image->width) + ix];
      row[sx] = Blend(row[sx], argb & 0x00FFFFFFu, argb >> 24);
    }
  }
  return TRUE;
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  const auto id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
  const bool known = std::find(std::begin(kSystemCursors), std::end(kSystemCursors), id) != std::end(kSystemCursors);
  // Cursors from the program's resources do not exist; only the system's are offered.
  if (instance != nullptr || !IS_INTRESOURCE(name) || !known) return platform::FailWith(ERROR_FILE_NOT_FOUND, nullptr);
  Shared& s = TheShared();
  std::lock_guard lock(s.mutex);
  if (auto it = s.cursors.find(id); it != s.cursors.end()) return it->second;
  auto cursor = std::make_shared<IconObject>();
  cursor->systemCursor = id;
  auto handle = static_cast<HCURSOR>(Insert(std::move(cursor), /*stock=*/true));
  s.cursors.emplace(id, handle);
  return handle;
}

bool platform::gdi::SwapCursor(HCURSOR cursor, HCURSOR* previous) {
  if (cursor != nullptr && !LookupAs<IconObject>(cursor, Kind::Icon)) return false;
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);  // the cursor before any was set
  Shared& s = TheShared();
  std::lock_guard lock(s.mutex);
  *previous = s.currentSet ? s.current : arrow;
  s.current = cursor;
  s.currentSet = true;
  return true;
}
