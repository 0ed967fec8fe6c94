#include "platform/gdi/objects.h"

#include "platform/base/handle_table.h"

namespace platform::gdi::detail {
namespace {

// Far from the kernel's handle values, so that a kernel handle passed here is simply unknown.
// Never destroyed: objects may be released during exit.
HandleTable<Object>& TheTable() {
  static auto* table = new HandleTable<Object>(0x40000000);
  return *table;
}

}  // namespace

void* Insert(std::shared_ptr<Object> object, bool stock) { return TheTable().Insert(std::move(object), stock); }

std::shared_ptr<Object> Lookup(const void* handle) { return TheTable().Lookup(handle); }

// A DC may still hold the object selected; it goes when the last holder lets go.
bool Remove(const void* handle) { return TheTable().Remove(handle); }

std::shared_ptr<DcObject> LookupDc(HDC hdc) { return LookupAs<DcObject>(hdc, Kind::Dc); }

Target TargetOf(const DcObject& dc, int scale) {
  if (!dc.memory) return {dc.surface, dc.origin, dc.clip, dc.surface->scale, std::nullopt};
  int pictureScale = scale > 0 ? scale : dc.scale;
  auto picture = dc.state.bitmap ? PictureAt(*dc.state.bitmap, pictureScale) : std::nullopt;
  if (!picture) return {};
  const RECT all{0, 0, picture->width, picture->height};
  return {nullptr, {0, 0}, all, pictureScale, std::move(picture)};
}

}  // namespace platform::gdi::detail

namespace platform::gdi {

std::size_t LiveObjectCount() { return detail::TheTable().Count(); }

}  // namespace platform::gdi
