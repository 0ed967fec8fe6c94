// Kernel object handles: events, threads and device files live behind opaque HANDLE values.
//
// A handle value is never reused within a process, so a stale handle can only fail, never reach
// another object.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/base/errors.h"
#include "platform/base/types.h"

namespace platform::kernel {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);
std::size_t OpenHandleCount();

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace platform::kernel

// Releases the handle; the object goes once its last user lets go of it.
// FALSE with ERROR_INVALID_HANDLE for a NULL, unknown or already closed handle.
BOOL CloseHandle(HANDLE handle);
