#include "platform/kernel/handle.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace platform::kernel {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Starts high and steps by 4 so that a handle never looks like a small integer, NULL or
  // INVALID_HANDLE_VALUE.
  std::uintptr_t next = 0x10000;
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: detached workers may still close handles
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  const std::uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> last;
  Table& t = TheTable();
  {
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.objects.end()) return false;
    last = std::move(it->second);
    t.objects.erase(it);
  }
  // The object may be destroyed here, outside the table's lock.
  return true;
}

std::size_t OpenHandleCount() {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  return t.objects.size();
}

}  // namespace platform::kernel

BOOL CloseHandle(HANDLE handle) {
  if (!platform::kernel::RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
