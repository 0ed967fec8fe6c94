// Owners of X resources, so that every window, cursor, picture and property buffer the host takes
// from Xlib goes back on every path. Part of the X11 host's implementation only.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace platform::host::x11 {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Memory that Xlib allocated for the caller (property data, visual lists).
struct XFreeDeleter {
  void operator()(void* data) const { XFree(data); }
};
template <typename T>
using XMemory = std::unique_ptr<T, XFreeDeleter>;

// An XImage whose pixel memory belongs to someone else: XDestroyImage would free it.
struct BorrowedImageDeleter {
  void operator()(XImage* image) const {
    image->data = nullptr;
    XDestroyImage(image);
  }
};
using BorrowedImage = std::unique_ptr<XImage, BorrowedImageDeleter>;

// An XID-named server resource released with `Free(display, id)`.
template <typename Id, int (*Free)(Display*, Id)>
class XidOwner {
 public:
  XidOwner() = default;
  XidOwner(Display* display, Id id) : display_(display), id_(id) {}
  ~XidOwner() { Reset(); }
  XidOwner(XidOwner&& other) noexcept : display_(other.display_), id_(std::exchange(other.id_, Id{})) {}
  XidOwner& operator=(XidOwner&& other) noexcept {
    if (this != &other) {
      Reset();
      display_ = other.display_;
      id_ = std::exchange(other.id_, Id{});
    }
    return *this;
  }
  XidOwner(const XidOwner&) = delete;
  XidOwner& operator=(const XidOwner&) = delete;

  Id get() const { return id_; }
  explicit operator bool() const { return id_ != Id{}; }
  void Reset() {
    if (id_ != Id{}) Free(display_, id_);
    id_ = Id{};
  }
  // Forgets the resource without freeing it: the server already has (a window another client
  // destroyed).
  void Release() { id_ = Id{}; }

 private:
  Display* display_ = nullptr;
  Id id_{};
};

using WindowOwner = XidOwner<Window, XDestroyWindow>;
using CursorOwner = XidOwner<Cursor, XFreeCursor>;
using ColormapOwner = XidOwner<Colormap, XFreeColormap>;

// A graphics context is not an XID in Xlib's interface; it has its own owner.
struct GcDeleter {
  Display* display = nullptr;
  void operator()(GC gc) const { XFreeGC(display, gc); }
};
using GcOwner = std::unique_ptr<std::remove_pointer_t<GC>, GcDeleter>;

}  // namespace platform::host::x11
