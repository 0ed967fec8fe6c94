#include "platform/kernel/handle.h"

#include "platform/base/handle_table.h"

namespace platform::kernel {
namespace {

// Starts high so that a handle never looks like a small integer, NULL or INVALID_HANDLE_VALUE.
// Never destroyed: detached workers may still close handles.
HandleTable<KernelObject>& TheTable() {
  static auto* table = new HandleTable<KernelObject>(0x10000);
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) { return TheTable().Insert(std::move(object)); }

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) { return TheTable().Lookup(handle); }

bool RemoveHandle(HANDLE handle) { return TheTable().Remove(handle); }

std::size_t OpenHandleCount() { return TheTable().Count(); }

}  // namespace platform::kernel

BOOL CloseHandle(HANDLE handle) {
  if (!platform::kernel::RemoveHandle(handle)) return platform::FailWith(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}
