#include "platform/base/resources.h"

#include <map>
#include <mutex>
#include <tuple>

namespace platform {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::tuple<WORD, WORD, int>, std::span<const BYTE>> entries;
};

Registry& TheRegistry() {
  static auto* r = new Registry;
  return *r;
}

}  // namespace

HINSTANCE ResourceModule() {
  static int module;
  return reinterpret_cast<HINSTANCE>(&module);
}

void RegisterResource(WORD type, WORD id, std::span<const BYTE> bytes, int scale) {
  Registry& r = TheRegistry();
  std::lock_guard g(r.mutex);
  r.entries[{type, id, scale}] = bytes;
}

std::optional<std::span<const BYTE>> FindResourceBytes(WORD type, LPCWSTR name, int scale) {
  if (name == nullptr || !IS_INTRESOURCE(name)) return std::nullopt;
  const auto id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
  Registry& r = TheRegistry();
  std::lock_guard g(r.mutex);
  auto it = r.entries.find({type, id, scale});
  if (it == r.entries.end()) return std::nullopt;
  return it->second;
}

}  // namespace platform
