// The per-session mark behind a named event.
//
// A name is an exclusive flock on a file in $XDG_RUNTIME_DIR (or, without one, in a 0700 folder
// of this user under /tmp). The lock is held while the process lives and released by the kernel
// when it ends, however it ends, so a crashed instance never blocks the next start.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace platform::kernel {

class NamedMark {
 public:
  // The mark, or null with *error set: ERROR_ALREADY_EXISTS when another open holds it, or the
  // reason it could not be made.
  static std::shared_ptr<NamedMark> Acquire(std::u16string_view name, DWORD* error);

  explicit NamedMark(int fd) : fd_(fd) {}
  ~NamedMark();
  NamedMark(const NamedMark&) = delete;
  NamedMark& operator=(const NamedMark&) = delete;

 private:
  int fd_;
};

// The folder that holds the marks, made if needed; empty when no safe folder can be had.
std::string NamedMarkDirectory();

}  // namespace platform::kernel
