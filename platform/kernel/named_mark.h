// The per-session mark behind a named event.
//
// A name is an exclusive flock on a file in the first private folder of this user that can hold
// one: $XDG_RUNTIME_DIR, else a 0700 folder under /tmp, else the user's cache folder. The lock is
// held while the process lives and released by the kernel when it ends, however it ends, so a
// crashed instance never blocks the next start.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace platform::kernel {

// Whether `path` is a folder this user may keep files in that no one else can touch: a real
// directory (not a link), the user's own, closed to others. The marks live only in such a folder,
// and so does anything else the program keeps between runs.
bool IsPrivateDirectory(const std::string& path);

class NamedMark {
 public:
  // The mark, or null with *error set: ERROR_ALREADY_EXISTS when another open holds it, or
  // ERROR_ACCESS_DENIED when no folder can hold it (said once on standard error).
  static std::shared_ptr<NamedMark> Acquire(std::u16string_view name, DWORD* error);

  explicit NamedMark(int fd) : fd_(fd) {}
  ~NamedMark();
  NamedMark(const NamedMark&) = delete;
  NamedMark& operator=(const NamedMark&) = delete;

 private:
  int fd_;
};

}  // namespace platform::kernel
