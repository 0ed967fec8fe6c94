// Objects the framework lends out for handles nobody attached (CWnd::FromHandle and friends).
// They belong to the thread and go when its outermost message is done.
#pragma once

#include <map>
#include <memory>

#include "platform/afx/wnd.h"

namespace platform::afx::detail {

// The member that holds an object's handle.
inline auto& HandleOf(CWnd& w) { return w.m_hWnd; }
inline auto& HandleOf(CDC& dc) { return dc.m_hDC; }
inline auto& HandleOf(CGdiObject& object) { return object.m_hObject; }

template <class T>
struct TemporaryObjects {
  std::map<const void*, std::unique_ptr<T>> objects;
  ~TemporaryObjects() { Clear(); }
  // Forgets each handle without touching what it names.
  void Clear() {
    for (auto& [handle, object] : objects) HandleOf(*object) = nullptr;
    objects.clear();
  }
};

template <class T>
TemporaryObjects<T>& Temporaries() {
  thread_local TemporaryObjects<T> map;
  return map;
}

// The borrowed object for `handle`, made on first use; null for a null handle.
template <class T, class H>
T* Borrow(H handle) {
  if (!handle) return nullptr;
  std::unique_ptr<T>& object = Temporaries<T>().objects[handle];
  if (!object) {
    object = std::make_unique<T>();
    HandleOf(*object) = handle;
  }
  return object.get();
}

}  // namespace platform::afx::detail
