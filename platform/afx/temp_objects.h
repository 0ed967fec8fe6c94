// Objects the framework lends out for handles nobody attached (CWnd::FromHandle and friends).
// They belong to the thread and go when its outermost message is done.
#pragma once

#include <map>
#include <memory>

class CWnd;
class CDC;
class CBitmap;
class CFont;

namespace platform::afx::detail {

template <class T>
struct TemporaryObjects {
  std::map<const void*, std::unique_ptr<T>> objects;
  ~TemporaryObjects() { Clear(); }
  void Clear() {
    for (auto& [handle, object] : objects) Unhook(*object);
    objects.clear();
  }
  // Forgets the handle without touching what it names.
  static void Unhook(T& object);
};

template <class T>
TemporaryObjects<T>& Temporaries() {
  thread_local TemporaryObjects<T> map;
  return map;
}

// The borrowed object for `handle`, made on first use by `make`.
template <class T, class Make>
T* Borrow(const void* handle, Make&& make) {
  auto& map = Temporaries<T>().objects;
  auto it = map.find(handle);
  if (it == map.end()) it = map.emplace(handle, make()).first;
  return it->second.get();
}

template <>
void TemporaryObjects<CWnd>::Unhook(CWnd& object);
template <>
void TemporaryObjects<CDC>::Unhook(CDC& object);
template <>
void TemporaryObjects<CBitmap>::Unhook(CBitmap& object);
template <>
void TemporaryObjects<CFont>::Unhook(CFont& object);

}  // namespace platform::afx::detail
