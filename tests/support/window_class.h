// Window classes of the tests' own; the program uses only the system's.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/ui/internal.h"

namespace velmor::test {

// A class of windows whose messages all go to `proc`, by a lower-case name; false when the name
// is taken.
inline bool AddWindowClass(std::u16string name, WNDPROC proc) {
  namespace ui = platform::ui::detail;
  std::lock_guard g(ui::Lock());
  auto c = std::make_shared<const ui::WindowClass>(ui::WindowClass{name, ui::ClassKind::Custom, proc});
  return ui::ClassesLocked().emplace(std::move(name), std::move(c)).second;
}

}  // namespace velmor::test
