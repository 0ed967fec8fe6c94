// Rectangle arithmetic shared by the window system and the drawing layer.
#pragma once

#include <algorithm>

#include "platform/base/types.h"

namespace platform {

inline bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// The common part; an empty rectangle (all zero) when there is none.
inline RECT Intersect(const RECT& a, const RECT& b) {
  const RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  return IsEmpty(r) ? RECT{} : r;
}

// The smallest rectangle holding both; an empty one adds nothing.
inline RECT Union(const RECT& a, const RECT& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

inline RECT Offset(const RECT& r, LONG dx, LONG dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

}  // namespace platform
