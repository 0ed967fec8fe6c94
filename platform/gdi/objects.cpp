#include "platform/gdi/objects.h"

#include <mutex>
#include <unordered_map>

namespace platform::gdi::detail {
namespace {

struct Entry {
  std::shared_ptr<Object> object;
  bool stock = false;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, Entry> entries;
  std::size_t stockCount = 0;
  // Far from the kernel's handle values, so that a kernel handle passed here is simply unknown.
  std::uintptr_t next = 0x40000000;
};

Table& TheTable() {
  static auto* table = new Table;  // never destroyed: objects may be released during exit
  return *table;
}

}  // namespace

void* Insert(std::shared_ptr<Object> object, bool stock) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  const std::uintptr_t value = t.next;
  t.next += 4;
  t.entries.emplace(value, Entry{std::move(object), stock});
  if (stock) ++t.stockCount;
  return reinterpret_cast<void*>(value);
}

std::shared_ptr<Object> Lookup(const void* handle) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  auto it = t.entries.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == t.entries.end() ? nullptr : it->second.object;
}

bool Remove(const void* handle) {
  std::shared_ptr<Object> last;
  Table& t = TheTable();
  {
    std::lock_guard lock(t.mutex);
    auto it = t.entries.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.entries.end()) return false;
    if (it->second.stock) return true;
    last = std::move(it->second.object);
    t.entries.erase(it);
  }
  // A DC may still hold the object selected; it goes when the last holder lets go, outside the
  // table's lock.
  return true;
}

std::shared_ptr<DcObject> LookupDc(HDC hdc) { return LookupAs<DcObject>(hdc, Kind::Dc); }

Target TargetOf(const DcObject& dc, int scale) {
  if (!dc.memory) return {dc.surface, dc.origin, dc.clip, dc.surface->scale};
  std::shared_ptr<Surface> s = dc.state.bitmap ? PictureAt(*dc.state.bitmap, scale > 0 ? scale : dc.scale) : nullptr;
  if (s == nullptr) return {};
  const RECT all{0, 0, s->width, s->height};
  const int pictureScale = s->scale;
  return {std::move(s), {0, 0}, all, pictureScale};
}

}  // namespace platform::gdi::detail

namespace platform::gdi {

std::size_t LiveObjectCount() {
  detail::Table& t = detail::TheTable();
  std::lock_guard lock(t.mutex);
  return t.entries.size() - t.stockCount;
}

}  // namespace platform::gdi
