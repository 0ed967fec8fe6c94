#include "platform/host/x11/x11_host.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/host/x11/x11_keys.h"
#include "platform/host/x11/x11_pixels.h"
#include "platform/host/x11/x11_scale.h"
#include "platform/kernel/debug_output.h"
#include "platform/ui/host_input.h"

// Xlib last: its macros (None, True, Status, KeyPress, ...) must not reach the headers above.
#include "platform/host/x11/x11_resources.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xrandr.h>

namespace platform::host {
namespace {

using namespace x11;

// --- X errors ---------------------------------------------------------------------------------
//
// Xlib's own handler ends the process on any error. Requests on windows that are already gone
// (a window destroyed while events about it were still queued, a window manager that has quit)
// are normal for a client, so errors are logged and the program goes on. A trap lets the host
// ask the server something that may fail without logging it.

struct Trap {
  Display* display = nullptr;
  int code = 0;
};
thread_local Trap t_trap;

int OnXError(Display* display, XErrorEvent* error) {
  if (t_trap.display == display) {
    if (t_trap.code == 0) t_trap.code = error->error_code;
    return 0;
  }
  char text[160] = {};
  XGetErrorText(display, error->error_code, text, sizeof text);
  char line[256] = {};
  std::snprintf(line, sizeof line, "X error: %s (request %d.%d, resource 0x%lx)", text, error->request_code,
                error->minor_code, error->resourceid);
  platform::kernel::TellUser(line);
  return 0;
}

// A lost connection (the server ended, or killed this client) leaves nothing to show and no way
// to go on. Xlib's own handlers call exit(), whose destructors need the display: a window's owner
// takes the host's lock, which the very call that found the connection gone still holds, and the
// process hangs with its instance mark held. Xlib first calls the process-wide handler, then the
// connection's exit handler; the first only lets the second decide, and the host's ends the
// process at once. The kernel releases the mark and everything else.
int OnXIOError(Display*) { return 0; }

void OnConnectionLost(Display* display, void*) {
  platform::kernel::TellUser(std::string("the connection to the X display \"") + DisplayString(display) + "\" was lost");
  ::_exit(1);
}

void InstallErrorHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
  });
}

class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    t_trap = Trap{display_, 0};
  }
  ~ErrorTrap() { Finish(); }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  // The first error since the trap was set, 0 for none.
  int Finish() {
    if (t_trap.display == display_) {
      XSync(display_, False);
      code_ = t_trap.code;
      t_trap = Trap{};
    }
    return code_;
  }

 private:
  Display* display_;
  int code_ = 0;
};

// --- Atoms ------------------------------------------------------------------------------------

enum AtomId {
  kWmProtocols,
  kWmDeleteWindow,
  kWmState,
  kUtf8String,
  kNetWmName,
  kNetWmIconName,
  kNetWmIcon,
  kNetWmPid,
  kNetWmPing,
  kNetWmWindowType,
  kNetWmWindowTypeNormal,
  kNetSupported,
  kNetSupportingWmCheck,
  kNetWmMoveresize,
  kNetWorkarea,
  kNetCurrentDesktop,
  kMotifWmHints,
  kAtomCount
};

constexpr std::array<const char*, kAtomCount> kAtomNames = {
    "WM_PROTOCOLS",
    "WM_DELETE_WINDOW",
    "WM_STATE",
    "UTF8_STRING",
    "_NET_WM_NAME",
    "_NET_WM_ICON_NAME",
    "_NET_WM_ICON",
    "_NET_WM_PID",
    "_NET_WM_PING",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_SUPPORTED",
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_WM_MOVERESIZE",
    "_NET_WORKAREA",
    "_NET_CURRENT_DESKTOP",
    "_MOTIF_WM_HINTS",
};

// _NET_WM_MOVERESIZE directions and _MOTIF_WM_HINTS fields.
constexpr long kMoveResizeMove = 8;
constexpr long kMoveResizeCancel = 11;
constexpr unsigned long kMotifHintsFunctions = 1;
constexpr unsigned long kMotifHintsDecorations = 2;
constexpr unsigned long kMotifFuncMove = 4;
constexpr unsigned long kMotifFuncMinimize = 8;
constexpr unsigned long kMotifFuncClose = 32;

// ICCCM WM_STATE values.
constexpr unsigned long kWmStateNormal = 1;
constexpr unsigned long kWmStateIconic = 3;

constexpr long kEventMask = ExposureMask | StructureNotifyMask | PropertyChangeMask | FocusChangeMask |
                            ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                            LeaveWindowMask | KeyPressMask | KeyReleaseMask;

constexpr unsigned int kButtonsMask = Button1Mask | Button2Mask | Button3Mask;

std::optional<ui::MouseButton> ButtonOf(unsigned int button) {
  switch (button) {
    case Button1:
      return ui::MouseButton::Left;
    case Button2:
      return ui::MouseButton::Middle;
    case Button3:
      return ui::MouseButton::Right;
    default:
      return std::nullopt;  // wheel and extra buttons: the program uses none
  }
}

unsigned int ButtonMaskOf(unsigned int button) {
  switch (button) {
    case Button1:
      return Button1Mask;
    case Button2:
      return Button2Mask;
    case Button3:
      return Button3Mask;
    default:
      return 0;
  }
}

// The X font cursor for a system cursor id (IDC_...): the program shows the arrow, the hand over a
// link and the move cursor of the host's own moves; any other shows as the arrow.
unsigned int FontCursorFor(WORD id) {
  switch (id) {
    case OCR_SIZEALL:
      return XC_fleur;
    case OCR_HAND:
      return XC_hand2;
    default:
      return XC_left_ptr;
  }
}

POINT TopLeft(const RECT& r) { return POINT{r.left, r.top}; }

// A coordinate of the screen's pixels in those of a window at scale `n`: rounded down, so that
// the n pixels that show one of the window's all name it, on either side of 0.
LONG Logical(LONG v, int n) { return v >= 0 ? v / n : -((-v + n - 1) / n); }

bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// Where a window of `size` goes when centred on `area`: wholly inside when it fits, else with
// its top-left corner, and so its title bar, on the area.
POINT CentredIn(const RECT& area, SIZE size) {
  return POINT{std::max(area.left + (area.right - area.left - size.cx) / 2, area.left),
               std::max(area.top + (area.bottom - area.top - size.cy) / 2, area.top)};
}

}  // namespace

// --- The host's state -------------------------------------------------------------------------

struct X11Host::Impl {
  struct Win {
    HWND hwnd = nullptr;
    WindowOwner xwindow;
    GcOwner gc;
    // The screen's pixels for one of the window's, in each direction. Everything below is in
    // the screen's pixels; the window system hears of positions and points in the window's.
    int scale = 1;
    RECT rect{};  // client area in screen coordinates
    POINT pressRoot{};  // where the left button last went down on it
    Window parent = 0;     // the root, or a window manager's frame
    bool mapped = false;
    bool iconic = false;     // from WM_STATE
    bool wmMoving = false;   // a _NET_WM_MOVERESIZE was sent and the release not yet seen
    // A centred dialog (DS_CENTER) is placed on one monitor when it is first shown, at the size
    // it has then: it is mapped with its first frame, by which time it has its final size.
    bool centre = false;
    bool showAtFirstFrame = false;
    // The window's pixels in the screen's layout, and an XImage over them. Where the screen's
    // layout is the framebuffer's, the image reads the last surface presented instead.
    int width = 0;
    int height = 0;
    int stride = 0;
    std::unique_ptr<std::byte[]> pixels;
    std::shared_ptr<const gdi::Surface> shown;
    BorrowedImage image;
  };

  // A move of the host's own: the pointer is grabbed until the left button goes up.
  struct Move {
    HWND hwnd = nullptr;
    POINT anchor{};  // where the pointer was, screen coordinates
    POINT start{};   // where the window was
  };

  struct HeldKey {
    HWND hwnd = nullptr;
    UINT vk = 0;
  };

  // Declared first so that it closes last, after every resource below went back to it.
  DisplayPtr display;
  int screen = 0;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  int scanlinePad = 32;
  ColormapOwner ownColormap;
  Colormap colormap = 0;
  std::optional<PixelConverter> converter;
  std::array<Atom, kAtomCount> atoms{};
  Atom wmSelection = 0;  // WM_Sn: owned by the running window manager
  bool xkb = false;
  bool detectableRepeat = false;

  // The scale the desktop asks for, read once at the start; a window too large for its monitor
  // at that scale gets the largest that fits.
  int scale = 1;

  mutable std::mutex mutex;
  SIZE screenSize{};
  std::map<HWND, std::unique_ptr<Win>> windows;
  std::map<Window, Win*> byXid;
  std::map<unsigned int, CursorOwner> fontCursors;
  Cursor cursor = 0;  // what every window shows; 0: the screen's default
  std::optional<Move> move;
  std::map<unsigned int, HeldKey> heldKeys;  // by keycode
  // What to tell the window system, told only after `mutex` is released.
  std::vector<std::function<void()>> reports;

  Display* dpy() const { return display.get(); }
  Atom atom(AtomId id) const { return atoms[id]; }

  // Runs `body` under the lock, then delivers the reports it queued.
  template <typename Body>
  auto Locked(Body&& body) {
    std::vector<std::function<void()>> out;
    struct Deliver {
      std::vector<std::function<void()>>& out;
      ~Deliver() {
        for (auto& r : out) r();
      }
    } deliver{out};
    std::unique_lock lock(mutex);
    struct Collect {
      Impl& impl;
      std::vector<std::function<void()>>& out;
      ~Collect() { out.swap(impl.reports); }
    } collect{*this, out};
    return body();
  }

  // The window's X window, unless another client destroyed it; nothing is asked of the server
  // about a window that is gone.
  Win* Find(HWND hwnd) {
    auto it = windows.find(hwnd);
    return (it == windows.end() || !it->second->xwindow) ? nullptr : it->second.get();
  }
  Win* FindX(Window xid) {
    auto it = byXid.find(xid);
    return it == byXid.end() ? nullptr : it->second;
  }

  // --- Properties --------------------------------------------------------------------------

  std::vector<unsigned long> ReadLongs(Window window, Atom property, Atom type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(dpy(), window, property, 0, 1 << 16, False, type, &actualType, &format, &count, &after, &raw) !=
        Success) {
      return {};
    }
    XMemory<unsigned char> data(raw);
    if (!data || actualType != type || format != 32) return {};
    // Xlib hands each 32-bit item over as a long, sign extended.
    const auto* longs = reinterpret_cast<const unsigned long*>(data.get());
    std::vector<unsigned long> values;
    for (unsigned long i = 0; i < count; ++i) values.push_back(longs[i] & 0xFFFFFFFFul);
    return values;
  }

  void SetLongs(Window window, Atom property, Atom type, std::span<const unsigned long> values) {
    XChangeProperty(dpy(), window, property, type, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
  }

  void SetTitleLocked(Win& w, std::u16string_view title) {
    std::string utf8 = Utf16ToUtf8(title);
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const int length = static_cast<int>(utf8.size());
    XChangeProperty(dpy(), w.xwindow.get(), atom(kNetWmName), atom(kUtf8String), 8, PropModeReplace, bytes, length);
    XChangeProperty(dpy(), w.xwindow.get(), atom(kNetWmIconName), atom(kUtf8String), 8, PropModeReplace, bytes, length);
    // WM_NAME for window managers and tools that predate _NET_WM_NAME: Latin-1 or compound text
    // where the locale can convert, else the UTF-8 bytes as they are.
    char* list[] = {utf8.data()};
    XTextProperty text{};
    if (Xutf8TextListToTextProperty(dpy(), list, 1, XStdICCTextStyle, &text) < Success &&
        Xutf8TextListToTextProperty(dpy(), list, 1, XUTF8StringStyle, &text) < Success) {
      return;
    }
    XMemory<unsigned char> owned(text.value);
    XSetWMName(dpy(), w.xwindow.get(), &text);
    XSetWMIconName(dpy(), w.xwindow.get(), &text);
  }

  // Fixed size, and the position taken as the user's, so that a window manager neither
  // places nor resizes the window; StaticGravity makes the position that of the client area
  // itself, whatever frame a window manager puts around it.
  void SetSizeHintsLocked(Win& w) {
    XMemory<XSizeHints> hints(XAllocSizeHints());
    if (!hints) return;
    const int width = w.rect.right - w.rect.left, height = w.rect.bottom - w.rect.top;
    hints->flags = USPosition | USSize | PPosition | PSize | PMinSize | PMaxSize | PWinGravity;
    hints->x = w.rect.left;
    hints->y = w.rect.top;
    hints->width = hints->min_width = hints->max_width = width;
    hints->height = hints->min_height = hints->max_height = height;
    hints->win_gravity = StaticGravity;
    XSetWMNormalHints(dpy(), w.xwindow.get(), hints.get());
  }

  // --- The window manager ------------------------------------------------------------------

  bool WindowManagerRunning() { return XGetSelectionOwner(dpy(), wmSelection) != 0; }

  // Whether the running window manager announces `feature` in _NET_SUPPORTED. The check window
  // must name itself, or the property is a leftover of a window manager that has quit.
  bool WindowManagerSupports(Atom feature) {
    const auto check = ReadLongs(root, atom(kNetSupportingWmCheck), XA_WINDOW);
    if (check.empty() || check[0] == 0) return false;
    std::vector<unsigned long> self;
    {
      ErrorTrap trap(dpy());
      self = ReadLongs(static_cast<Window>(check[0]), atom(kNetSupportingWmCheck), XA_WINDOW);
      if (trap.Finish() != 0) return false;
    }
    if (self.empty() || self[0] != check[0]) return false;
    const auto supported = ReadLongs(root, atom(kNetSupported), XA_ATOM);
    return std::find(supported.begin(), supported.end(), feature) != supported.end();
  }

  // --- Position ----------------------------------------------------------------------------

  // Asks the server where the client area is now (under a reparenting window manager the
  // window's own coordinates are relative to the frame) and reports a change.
  void SyncPosition(Win& w) {
    int x = 0, y = 0;
    Window child = 0;
    if (XTranslateCoordinates(dpy(), w.xwindow.get(), root, 0, 0, &x, &y, &child)) MovedTo(w, x, y);
  }

  void MovedTo(Win& w, int x, int y) {
    if (x == w.rect.left && y == w.rect.top) return;
    const LONG width = w.rect.right - w.rect.left, height = w.rect.bottom - w.rect.top;
    w.rect = RECT{x, y, x + width, y + height};
    const HWND hwnd = w.hwnd;
    const POINT to = InWindowPixels(w, x, y);
    reports.push_back([hwnd, to] { ui::HostMoved(hwnd, to); });
  }

  // Screen coordinates, or a point relative to the window, in the window's own pixels.
  static POINT InWindowPixels(const Win& w, LONG x, LONG y) { return POINT{Logical(x, w.scale), Logical(y, w.scale)}; }

  // The screen's pixel for a point of the window system's screen coordinates: where the left
  // button went down when that lies in the window's pixel named, else the first of its pixels.
  static POINT ScreenPixel(const Win& w, POINT p) {
    const int n = w.scale;
    const POINT first{w.rect.left + (p.x - Logical(w.rect.left, n)) * n, w.rect.top + (p.y - Logical(w.rect.top, n)) * n};
    const bool pressed = w.pressRoot.x >= first.x && w.pressRoot.x < first.x + n && w.pressRoot.y >= first.y && w.pressRoot.y < first.y + n;
    return pressed ? w.pressRoot : first;
  }

  SIZE ScreenInWindowPixels() const { return SIZE{screenSize.cx / scale, screenSize.cy / scale}; }

  // --- Monitors ----------------------------------------------------------------------------

  // The monitor a new window belongs on: the one with the pointer, else the primary one (RandR
  // 1.5 monitors; the whole screen where the server has none), less the panels and docks of the
  // window manager's work area.
  RECT WorkArea() {
    RECT monitor{0, 0, screenSize.cx, screenSize.cy};
    Window rootReturn = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    const bool pointer = XQueryPointer(dpy(), root, &rootReturn, &child, &x, &y, &wx, &wy, &mask) != 0;
    int event = 0, error = 0, major = 0, minor = 0;
    if (XRRQueryExtension(dpy(), &event, &error) && XRRQueryVersion(dpy(), &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 5))) {
      int count = 0;
      std::unique_ptr<XRRMonitorInfo, decltype(&XRRFreeMonitors)> monitors(XRRGetMonitors(dpy(), root, True, &count),
                                                                          XRRFreeMonitors);
      std::optional<RECT> withPointer, primary, first;
      for (int i = 0; monitors && i < count; ++i) {
        const XRRMonitorInfo& m = monitors.get()[i];
        const RECT r{m.x, m.y, m.x + m.width, m.y + m.height};
        if (!first) first = r;
        if (m.primary && !primary) primary = r;
        if (pointer && !withPointer && Contains(r, POINT{x, y})) withPointer = r;
      }
      if (const auto chosen = withPointer ? withPointer : primary ? primary : first) monitor = *chosen;
    }
    if (!WindowManagerRunning()) return monitor;
    // _NET_WORKAREA: x, y, width and height for each desktop.
    const auto area = ReadLongs(root, atom(kNetWorkarea), XA_CARDINAL);
    const auto desktop = ReadLongs(root, atom(kNetCurrentDesktop), XA_CARDINAL);
    const std::size_t at = (desktop.empty() ? 0 : desktop[0]) * 4;
    if (at + 4 > area.size()) return monitor;
    const auto value = [&](std::size_t i) { return static_cast<LONG>(static_cast<std::int32_t>(area[at + i])); };
    const RECT work{std::max(monitor.left, value(0)), std::max(monitor.top, value(1)),
                    std::min(monitor.right, value(0) + value(2)), std::min(monitor.bottom, value(1) + value(3))};
    return (work.left < work.right && work.top < work.bottom) ? work : monitor;
  }

  // Centres a window on its monitor's work area, before it is mapped.
  void PlaceCentred(Win& w) {
    const SIZE size{w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
    const POINT to = CentredIn(WorkArea(), size);
    if (to.x == w.rect.left && to.y == w.rect.top) return;
    w.rect = RECT{to.x, to.y, to.x + size.cx, to.y + size.cy};
    SetSizeHintsLocked(w);
    XMoveWindow(dpy(), w.xwindow.get(), to.x, to.y);
    reports.push_back([hwnd = w.hwnd, at = InWindowPixels(w, to.x, to.y)] { ui::HostMoved(hwnd, at); });
  }

  // --- Pixels ------------------------------------------------------------------------------

  // Makes the image for a surface of a new size, or for another surface of the same one.
  bool ResizeBuffer(Win& w, const std::shared_ptr<const gdi::Surface>& surface) {
    const int width = surface->width;
    const int height = surface->height;
    const int bitsPerPixel = converter->BytesPerPixel() * 8;
    const int padBits = std::max(scanlinePad, 8);
    const int stride = ((width * bitsPerPixel + padBits - 1) / padBits) * padBits / 8;
    w.image.reset();
    w.pixels.reset();
    w.shown.reset();
    char* data = nullptr;
    if (converter->Identity() && stride == width * 4) {
      w.shown = surface;
      // Xlib only reads an image's data.
      data = reinterpret_cast<char*>(const_cast<std::uint32_t*>(surface->pixels.data()));
    } else {
      // Every row is written before it is put (the caller copies the whole surface in), so only
      // the padding at the rows' ends, if the layout has any, needs zeros.
      const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
      w.pixels = stride == width * converter->BytesPerPixel() ? std::make_unique_for_overwrite<std::byte[]>(size)
                                                              : std::make_unique<std::byte[]>(size);
      data = reinterpret_cast<char*>(w.pixels.get());
    }
    XImage* image = XCreateImage(dpy(), visual, static_cast<unsigned int>(depth), ZPixmap, 0, data,
                                 static_cast<unsigned int>(width), static_cast<unsigned int>(height), padBits, stride);
    if (!image) {
      w.pixels.reset();
      w.shown.reset();
      w.width = w.height = w.stride = 0;
      return false;
    }
    // The converter writes this machine's byte order; Xlib swaps for a server of the other.
    image->byte_order = (std::endian::native == std::endian::little) ? LSBFirst : MSBFirst;
    w.image.reset(image);
    w.width = width;
    w.height = height;
    w.stride = stride;
    return true;
  }

  void CopyFromSurface(Win& w, const gdi::Surface& surface, const RECT& r) {
    if (w.shown) return;
    const std::size_t bpp = static_cast<std::size_t>(converter->BytesPerPixel());
    for (LONG y = r.top; y < r.bottom; ++y) {
      const auto* row = surface.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(surface.width);
      std::byte* dest = w.pixels.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w.stride) +
                        static_cast<std::size_t>(r.left) * bpp;
      converter->ConvertRow(std::span(row + r.left, static_cast<std::size_t>(r.right - r.left)), dest);
    }
  }

  // Puts the rows of a rectangle of the retained pixels on the screen. Whole rows, because Xlib
  // sends those straight from the image; the rows of a narrower rectangle it first copies into a
  // scratch buffer as large as the request, which the display then keeps (a quarter megabyte).
  void PutRect(Win& w, RECT r) {
    if (!w.image) return;
    r.left = 0;
    r.top = std::max<LONG>(r.top, 0);
    r.right = w.width;
    r.bottom = std::min<LONG>(r.bottom, w.height);
    if (r.left >= r.right || r.top >= r.bottom) return;
    XPutImage(dpy(), w.xwindow.get(), w.gc.get(), w.image.get(), r.left, r.top, r.left, r.top,
              static_cast<unsigned int>(r.right - r.left), static_cast<unsigned int>(r.bottom - r.top));
  }

  // --- Cursor ------------------------------------------------------------------------------

  Cursor CursorFor(HCURSOR handle) {
    const unsigned int shape = FontCursorFor(gdi::SystemCursorId(handle));
    auto it = fontCursors.find(shape);
    if (it == fontCursors.end()) it = fontCursors.emplace(shape, CursorOwner(dpy(), XCreateFontCursor(dpy(), shape))).first;
    return it->second.get();
  }

  void ShowCursor(HCURSOR handle) {
    Locked([&] {
      cursor = CursorFor(handle);
      for (auto& [hwnd, w] : windows) {
        if (w->xwindow) XDefineCursor(dpy(), w->xwindow.get(), cursor);
      }
      XFlush(dpy());
    });
  }

  // --- Keys --------------------------------------------------------------------------------

  UINT VirtualKeyOf(XKeyEvent& ev) {
    if (xkb) {
      const auto keycode = static_cast<KeyCode>(ev.keycode);
      const int group = XkbGroupForCoreState(ev.state);
      // The keypad's keys mean digits or movement as Num Lock and Shift say.
      if (IsKeypadKeysym(XkbKeycodeToKeysym(dpy(), keycode, group, 0))) {
        unsigned int consumed = 0;
        KeySym keysym = NoSymbol;
        if (XkbLookupKeySym(dpy(), keycode, ev.state, &consumed, &keysym)) {
          if (const UINT vk = VirtualKeyFromKeysym(keysym)) return vk;
        }
      }
      // Otherwise the key's own symbol whatever the modifiers, as a key code names a key and
      // not a character; in the first group when the active one has no Latin symbol for it.
      for (const int g : {group, 0}) {
        for (const int level : {0, 1}) {
          if (const UINT vk = VirtualKeyFromKeysym(XkbKeycodeToKeysym(dpy(), keycode, g, level))) return vk;
        }
      }
      return 0;
    }
    for (const int index : {0, 1}) {
      if (const UINT vk = VirtualKeyFromKeysym(XLookupKeysym(&ev, index))) return vk;
    }
    return 0;
  }

  // Keys the window system saw go down get their release when the window loses the keyboard:
  // the release itself goes elsewhere (a window manager's Alt+Tab), and a modifier left down
  // would turn every later key into a system key.
  void ReleaseHeldKeys() {
    for (auto& [keycode, key] : heldKeys) {
      const HeldKey k = key;
      reports.push_back([k] { ui::HostKey(k.hwnd, k.vk, false); });
    }
    heldKeys.clear();
  }

  // --- Events ------------------------------------------------------------------------------

  void Handle(XEvent& ev);
  void OnButton(Win& w, XButtonEvent& ev, bool down);
  void OnMotion(Win& w, XMotionEvent& ev);
  void OnCrossing(Win& w, XCrossingEvent& ev, bool enter);
  void OnKey(Win& w, XKeyEvent& ev, bool down);
  void OnFocus(Win& w, XFocusChangeEvent& ev, bool in);
  void OnProperty(Win& w, XPropertyEvent& ev);
  void OnClientMessage(Win& w, XClientMessageEvent& ev);
  void EndMove(POINT root);
};

void X11Host::Impl::Handle(XEvent& ev) {
  if (ev.type == ConfigureNotify && ev.xconfigure.window == root) {
    screenSize = SIZE{ev.xconfigure.width, ev.xconfigure.height};
    return;
  }
  if (ev.type == MappingNotify) {
    XRefreshKeyboardMapping(&ev.xmapping);
    return;
  }
  Win* w = FindX(ev.xany.window);
  if (!w) return;  // a window already destroyed, or not ours
  switch (ev.type) {
    case Expose:
      PutRect(*w, RECT{ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width, ev.xexpose.y + ev.xexpose.height});
      break;
    case ConfigureNotify:
      // Root coordinates when the window sits on the root, and in the window manager's
      // synthetic notices. A real notice inside a frame is relative to the frame, and while the
      // window manager still builds the frame it is not where the window will be: the
      // position is asked for once the window is mapped.
      if (ev.xconfigure.send_event || w->parent == root) {
        MovedTo(*w, ev.xconfigure.x, ev.xconfigure.y);
      } else if (w->mapped) {
        SyncPosition(*w);
      }
      break;
    case ReparentNotify:
      w->parent = ev.xreparent.parent;
      break;
    case MapNotify:
      w->mapped = true;
      SyncPosition(*w);
      // With no window manager nobody else gives a new window the keyboard.
      if (!WindowManagerRunning()) XSetInputFocus(dpy(), w->xwindow.get(), RevertToParent, CurrentTime);
      break;
    case UnmapNotify:
      w->mapped = false;
      break;
    case DestroyNotify:
      // Another client destroyed the window (xdotool windowclose, a session tool): the program
      // learns it as a close, as from the window manager's close button, and ends as it would.
      byXid.erase(w->xwindow.get());
      w->xwindow.Release();
      reports.push_back([hwnd = w->hwnd] { ui::HostCloseRequest(hwnd); });
      break;
    case ButtonPress:
    case ButtonRelease:
      OnButton(*w, ev.xbutton, ev.type == ButtonPress);
      break;
    case MotionNotify:
      // Only the newest of a run of motions matters; later events keep their order.
      while (XEventsQueued(dpy(), QueuedAlready) > 0) {
        XEvent next;
        XPeekEvent(dpy(), &next);
        if (next.type != MotionNotify || next.xmotion.window != ev.xmotion.window) break;
        XNextEvent(dpy(), &ev);
      }
      OnMotion(*w, ev.xmotion);
      break;
    case EnterNotify:
    case LeaveNotify:
      OnCrossing(*w, ev.xcrossing, ev.type == EnterNotify);
      break;
    case KeyPress:
    case KeyRelease:
      OnKey(*w, ev.xkey, ev.type == KeyPress);
      break;
    case FocusIn:
    case FocusOut:
      OnFocus(*w, ev.xfocus, ev.type == FocusIn);
      break;
    case PropertyNotify:
      OnProperty(*w, ev.xproperty);
      break;
    case ClientMessage:
      OnClientMessage(*w, ev.xclient);
      break;
    default:
      break;
  }
}

void X11Host::Impl::OnButton(Win& w, XButtonEvent& ev, bool down) {
  const HWND hwnd = w.hwnd;
  const POINT point = InWindowPixels(w, ev.x, ev.y);
  if (down && ev.button == Button1) w.pressRoot = POINT{ev.x_root, ev.y_root};
  if (move) {
    if (!down && ev.button == Button1) EndMove(POINT{ev.x_root, ev.y_root});
    return;
  }
  const auto button = ButtonOf(ev.button);
  if (!button) return;
  if (down) {
    w.wmMoving = false;
  } else if (w.wmMoving && ev.button == Button1) {
    // The button came up before the window manager took the pointer: its move must not start.
    w.wmMoving = false;
    if (WindowManagerSupports(atom(kNetWmMoveresize))) {
      XEvent cancel{};
      cancel.xclient.type = ClientMessage;
      cancel.xclient.window = w.xwindow.get();
      cancel.xclient.message_type = atom(kNetWmMoveresize);
      cancel.xclient.format = 32;
      cancel.xclient.data.l[2] = kMoveResizeCancel;
      XSendEvent(dpy(), root, False, SubstructureRedirectMask | SubstructureNotifyMask, &cancel);
    }
  }
  const ui::MouseButton which = *button;
  reports.push_back([hwnd, point, which, down] { ui::HostPointerButton(hwnd, point, which, down); });
  // The last button up outside the window ends the implicit grab: only now has the pointer left.
  const unsigned int stillHeld = (ev.state & kButtonsMask) & ~ButtonMaskOf(ev.button);
  const bool inside = ev.x >= 0 && ev.y >= 0 && ev.x < w.rect.right - w.rect.left && ev.y < w.rect.bottom - w.rect.top;
  if (!down && stillHeld == 0 && !inside) reports.push_back([hwnd, point] { ui::HostPointerLeave(hwnd, point); });
}

void X11Host::Impl::OnMotion(Win& w, XMotionEvent& ev) {
  if (move) {
    if (move->hwnd != w.hwnd) return;
    const POINT to{move->start.x + ev.x_root - move->anchor.x, move->start.y + ev.y_root - move->anchor.y};
    if (to.x == w.rect.left && to.y == w.rect.top) return;
    XMoveWindow(dpy(), w.xwindow.get(), to.x, to.y);
    const LONG width = w.rect.right - w.rect.left, height = w.rect.bottom - w.rect.top;
    w.rect = RECT{to.x, to.y, to.x + width, to.y + height};
    const HWND hwnd = w.hwnd;
    reports.push_back([hwnd, at = InWindowPixels(w, to.x, to.y)] { ui::HostMoved(hwnd, at); });
    return;
  }
  const HWND hwnd = w.hwnd;
  const POINT point = InWindowPixels(w, ev.x, ev.y);
  reports.push_back([hwnd, point] { ui::HostPointerMove(hwnd, point); });
}

void X11Host::Impl::OnCrossing(Win& w, XCrossingEvent& ev, bool enter) {
  if (move || ev.detail == NotifyInferior) return;
  const HWND hwnd = w.hwnd;
  const POINT point = InWindowPixels(w, ev.x, ev.y);
  if (enter) {
    reports.push_back([hwnd, point] { ui::HostPointerMove(hwnd, point); });
    return;
  }
  // While a button is held the window keeps the pointer (the implicit grab) and the leave is
  // told at the release. Any other leave, a grab by the window manager included, is one now.
  if (ev.mode == NotifyNormal && (ev.state & kButtonsMask) != 0) return;
  reports.push_back([hwnd, point] { ui::HostPointerLeave(hwnd, point); });
}

void X11Host::Impl::OnKey(Win& w, XKeyEvent& ev, bool down) {
  const unsigned int keycode = ev.keycode;
  if (!down && !detectableRepeat && XEventsQueued(dpy(), QueuedAfterReading) > 0) {
    // Without detectable auto-repeat a held key comes as release and press at the same time;
    // the release is dropped so that the press counts as a repeat.
    XEvent next;
    XPeekEvent(dpy(), &next);
    if (next.type == KeyPress && next.xkey.keycode == keycode && next.xkey.time == ev.time) return;
  }
  const UINT vk = VirtualKeyOf(ev);
  if (vk == 0) return;
  const HWND hwnd = w.hwnd;
  if (down) {
    const bool repeat = heldKeys.contains(keycode);
    heldKeys[keycode] = HeldKey{hwnd, vk};
    reports.push_back([hwnd, vk, repeat] { ui::HostKey(hwnd, vk, true, repeat); });
  } else {
    heldKeys.erase(keycode);
    reports.push_back([hwnd, vk] { ui::HostKey(hwnd, vk, false); });
  }
}

void X11Host::Impl::OnFocus(Win& w, XFocusChangeEvent& ev, bool in) {
  if (ev.detail == NotifyInferior || ev.detail == NotifyPointer || ev.detail == NotifyPointerRoot ||
      ev.detail == NotifyDetailNone) {
    return;
  }
  if (!in) ReleaseHeldKeys();
  // A keyboard grab (a window manager's move or window switcher) leaves the window active.
  if (ev.mode == NotifyGrab || ev.mode == NotifyUngrab) return;
  const HWND hwnd = w.hwnd;
  reports.push_back([hwnd, in] { ui::HostActivated(hwnd, in); });
}

void X11Host::Impl::OnProperty(Win& w, XPropertyEvent& ev) {
  if (ev.atom != atom(kWmState)) return;
  const auto state = ReadLongs(w.xwindow.get(), atom(kWmState), atom(kWmState));
  if (state.empty()) return;
  // Withdrawn (hidden by the program) is neither; only Normal and Iconic are changes to tell.
  if (state[0] != kWmStateNormal && state[0] != kWmStateIconic) return;
  const bool iconic = state[0] == kWmStateIconic;
  if (iconic == w.iconic) return;
  w.iconic = iconic;
  const HWND hwnd = w.hwnd;
  reports.push_back([hwnd, iconic] { ui::HostIconicChanged(hwnd, iconic); });
}

void X11Host::Impl::OnClientMessage(Win& w, XClientMessageEvent& ev) {
  if (ev.message_type != atom(kWmProtocols) || ev.format != 32) return;
  const auto protocol = static_cast<Atom>(ev.data.l[0]);
  if (protocol == atom(kWmDeleteWindow)) {
    const HWND hwnd = w.hwnd;
    reports.push_back([hwnd] { ui::HostCloseRequest(hwnd); });
  } else if (protocol == atom(kNetWmPing)) {
    // Answered from the window's loop, so a window manager sees a hung window as hung.
    XEvent reply{};
    reply.xclient = ev;
    reply.xclient.window = root;
    XSendEvent(dpy(), root, False, SubstructureRedirectMask | SubstructureNotifyMask, &reply);
  }
}

void X11Host::Impl::EndMove(POINT rootPoint) {
  const Move done = *move;
  move.reset();
  XUngrabPointer(dpy(), CurrentTime);
  Win* w = Find(done.hwnd);
  if (!w) return;
  // The pointer is over the window again as far as its children's hover looks are concerned.
  const POINT client = InWindowPixels(*w, rootPoint.x - w->rect.left, rootPoint.y - w->rect.top);
  const HWND hwnd = w->hwnd;
  reports.push_back([hwnd, client] { ui::HostPointerMove(hwnd, client); });
}

// --- X11Host ----------------------------------------------------------------------------------

std::shared_ptr<X11Host> X11Host::Open(std::string* error) {
  auto fail = [error](std::string why) -> std::shared_ptr<X11Host> {
    if (error) *error = std::move(why);
    return nullptr;
  };
  InstallErrorHandler();
  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == 0) {
      return fail("DISPLAY is not set: start it from a graphical session, or set DISPLAY (e.g. DISPLAY=:0)");
    }
    return fail(std::string("cannot open the X display \"") + name + "\"");
  }
  XSetIOErrorExitHandler(display.get(), OnConnectionLost, nullptr);

  auto impl = std::make_shared<Impl>();
  Display* dpy = display.get();
  impl->display = std::move(display);
  impl->screen = DefaultScreen(dpy);
  impl->root = RootWindow(dpy, impl->screen);
  impl->screenSize = SIZE{DisplayWidth(dpy, impl->screen), DisplayHeight(dpy, impl->screen)};
  // Xlib read RESOURCE_MANAGER when it connected: a later change of Xft.dpi is not followed.
  impl->scale = x11::DesktopScale(std::getenv("GDK_SCALE"), XResourceManagerString(dpy));

  // A TrueColor visual: the screen's own when it is one, else the deepest the screen offers.
  XVisualInfo chosen{};
  bool found = false;
  {
    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(DefaultVisual(dpy, impl->screen));
    int count = 0;
    XMemory<XVisualInfo> list(XGetVisualInfo(dpy, VisualIDMask, &wanted, &count));
    if (list && count > 0 && list.get()[0].c_class == TrueColor) {
      chosen = list.get()[0];
      found = true;
    }
  }
  for (const int d : {24, 32, 30, 16, 15, 8}) {
    if (found) break;
    found = XMatchVisualInfo(dpy, impl->screen, d, TrueColor, &chosen) != 0;
  }
  if (!found) return fail("the X screen offers no TrueColor visual");
  impl->visual = chosen.visual;
  impl->depth = chosen.depth;
  if (chosen.visual == DefaultVisual(dpy, impl->screen)) {
    impl->colormap = DefaultColormap(dpy, impl->screen);
  } else {
    impl->ownColormap = ColormapOwner(dpy, XCreateColormap(dpy, impl->root, chosen.visual, AllocNone));
    impl->colormap = impl->ownColormap.get();
  }

  int bitsPerPixel = 0;
  {
    int count = 0;
    XMemory<XPixmapFormatValues> formats(XListPixmapFormats(dpy, &count));
    for (int i = 0; formats && i < count; ++i) {
      if (formats.get()[i].depth == impl->depth) {
        bitsPerPixel = formats.get()[i].bits_per_pixel;
        impl->scanlinePad = formats.get()[i].scanline_pad;
      }
    }
  }
  impl->converter = PixelConverter::For(PixelLayout{bitsPerPixel, static_cast<std::uint32_t>(chosen.red_mask),
                                                    static_cast<std::uint32_t>(chosen.green_mask),
                                                    static_cast<std::uint32_t>(chosen.blue_mask)});
  if (!impl->converter) {
    return fail("the X screen's pixel layout (" + std::to_string(bitsPerPixel) + " bits per pixel) is not supported");
  }

  std::array<char*, kAtomCount> names{};
  for (std::size_t i = 0; i < kAtomNames.size(); ++i) names[i] = const_cast<char*>(kAtomNames[i]);
  XInternAtoms(dpy, names.data(), kAtomCount, False, impl->atoms.data());
  const std::string selection = "WM_S" + std::to_string(impl->screen);
  impl->wmSelection = XInternAtom(dpy, selection.c_str(), False);

  int opcode = 0, event = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  impl->xkb = XkbQueryExtension(dpy, &opcode, &event, &errorBase, &major, &minor) != 0;
  if (impl->xkb) {
    Bool supported = False;
    XkbSetDetectableAutoRepeat(dpy, True, &supported);
    impl->detectableRepeat = supported != 0;
  }

  // The root's size changes (a new screen mode) are followed for ScreenSize.
  XSelectInput(dpy, impl->root, StructureNotifyMask);
  XFlush(dpy);

  return std::shared_ptr<X11Host>(new X11Host(std::move(impl)));
}

X11Host::X11Host(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Host::~X11Host() {
  std::lock_guard lock(impl_->mutex);
  if (impl_->move) XUngrabPointer(impl_->dpy(), CurrentTime);
  impl_->byXid.clear();
  impl_->windows.clear();
  XFlush(impl_->dpy());
}

int X11Host::Create(HWND hwnd, const TopLevelInfo& info) {
  return impl_->Locked([&] {
    Impl& im = *impl_;
    Display* dpy = im.dpy();
    auto w = std::make_unique<Impl::Win>();
    w->hwnd = hwnd;
    w->parent = im.root;
    w->centre = (info.style & DS_CENTER) != 0;
    const SIZE size{std::max<LONG>(info.rect.right - info.rect.left, 1), std::max<LONG>(info.rect.bottom - info.rect.top, 1)};
    w->scale = im.scale > 1 ? FittingScale(im.scale, size, im.WorkArea()) : 1;
    const int n = w->scale;
    w->rect = RECT{info.rect.left * n, info.rect.top * n, (info.rect.left + size.cx) * n, (info.rect.top + size.cy) * n};
    const int width = size.cx * n, height = size.cy * n;

    // No background: the server leaves exposed areas alone and the host fills them from its copy.
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = 0;
    attributes.border_pixel = 0;
    attributes.colormap = im.colormap;
    attributes.bit_gravity = NorthWestGravity;
    attributes.event_mask = kEventMask;
    attributes.cursor = im.cursor;
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask;
    if (im.cursor) mask |= CWCursor;
    const Window xid = XCreateWindow(dpy, im.root, w->rect.left, w->rect.top, static_cast<unsigned int>(width),
                                     static_cast<unsigned int>(height), 0, im.depth, InputOutput, im.visual, mask,
                                     &attributes);
    w->xwindow = WindowOwner(dpy, xid);
    w->gc = GcOwner(XCreateGC(dpy, xid, 0, nullptr), GcDeleter{dpy});

    std::array<Atom, 2> protocols = {im.atom(kWmDeleteWindow), im.atom(kNetWmPing)};
    XSetWMProtocols(dpy, xid, protocols.data(), static_cast<int>(protocols.size()));

    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    XSetWMHints(dpy, xid, &wmHints);

    // WM_CLASS: what desktop entries and window-manager rules match the windows by.
    char instance[] = "velmor-manager", cls[] = "Velmor-manager";
    XClassHint classHint{instance, cls};
    XSetClassHint(dpy, xid, &classHint);

    // WM_CLIENT_MACHINE goes with _NET_WM_PID: the pid means something only on that host.
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
      char* hostList[] = {host};
      XTextProperty machine{};
      if (XStringListToTextProperty(hostList, 1, &machine)) {
        XMemory<unsigned char> owned(machine.value);
        XSetWMClientMachine(dpy, xid, &machine);
      }
    }
    const unsigned long pid[] = {static_cast<unsigned long>(getpid())};
    im.SetLongs(xid, im.atom(kNetWmPid), XA_CARDINAL, pid);

    const unsigned long type[] = {im.atom(kNetWmWindowTypeNormal)};
    im.SetLongs(xid, im.atom(kNetWmWindowType), XA_ATOM, type);

    // No frame, no title bar; the window can be moved, minimised and closed, never resized.
    const unsigned long motif[5] = {kMotifHintsFunctions | kMotifHintsDecorations,
                                    kMotifFuncMove | kMotifFuncMinimize | kMotifFuncClose, 0, 0, 0};
    im.SetLongs(xid, im.atom(kMotifWmHints), im.atom(kMotifWmHints), motif);

    im.SetTitleLocked(*w, info.title);
    im.SetSizeHintsLocked(*w);
    im.byXid[xid] = w.get();
    im.windows[hwnd] = std::move(w);
    XFlush(dpy);
    return n;
  });
}

void X11Host::Destroy(HWND hwnd) {
  impl_->Locked([&] {
    Impl& im = *impl_;
    const auto it = im.windows.find(hwnd);
    if (it == im.windows.end()) return;
    if (im.move && im.move->hwnd == hwnd) {
      im.move.reset();
      XUngrabPointer(im.dpy(), CurrentTime);
    }
    std::erase_if(im.heldKeys, [hwnd](const auto& entry) { return entry.second.hwnd == hwnd; });
    if (it->second->xwindow) im.byXid.erase(it->second->xwindow.get());
    im.windows.erase(it);
    XFlush(im.dpy());
  });
}

void X11Host::Show(HWND hwnd, bool show) {
  impl_->Locked([&] {
    Impl& im = *impl_;
    Impl::Win* w = im.Find(hwnd);
    if (!w) return;
    if (show && w->centre) {
      w->showAtFirstFrame = true;
    } else if (show) {
      XMapWindow(im.dpy(), w->xwindow.get());
    } else {
      // Withdrawn, as ICCCM asks: the window manager forgets the window until it is shown again.
      w->showAtFirstFrame = false;
      XWithdrawWindow(im.dpy(), w->xwindow.get(), im.screen);
    }
    XFlush(im.dpy());
  });
}

void X11Host::SetBounds(HWND hwnd, const RECT& rect) {
  impl_->Locked([&] {
    Impl& im = *impl_;
    Impl::Win* w = im.Find(hwnd);
    if (!w) return;
    const int n = w->scale;
    const int width = std::max<LONG>(rect.right - rect.left, 1) * n;
    const int height = std::max<LONG>(rect.bottom - rect.top, 1) * n;
    // Where the window system's position is the window's as it stands, the window keeps its own
    // screen pixel among the n that name that position.
    const POINT at = Impl::InWindowPixels(*w, w->rect.left, w->rect.top);
    const LONG left = rect.left == at.x ? w->rect.left : rect.left * n;
    const LONG top = rect.top == at.y ? w->rect.top : rect.top * n;
    w->rect = RECT{left, top, left + width, top + height};
    // The fixed size goes first, or a window manager holds the window to the old one.
    im.SetSizeHintsLocked(*w);
    XMoveResizeWindow(im.dpy(), w->xwindow.get(), left, top, static_cast<unsigned int>(width),
                      static_cast<unsigned int>(height));
    XFlush(im.dpy());
  });
}

void X11Host::Iconify(HWND hwnd) {
  impl_->Locked([&] {
    Impl& im = *impl_;
    Impl::Win* w = im.Find(hwnd);
    if (!w) return;
    if (!im.WindowManagerRunning()) {
      // Nothing could ever restore the window: it stays on the screen, and the window system
      // learns that it is not iconic.
      im.reports.push_back([hwnd] { ui::HostIconicChanged(hwnd, false); });
      return;
    }
    // The window system counts the window iconic from now on. WM_STATE is read when its change
    // is seen, which may be after the user restored the window again: only a state that differs
    // from this one is a change to tell.
    w->iconic = true;
    XIconifyWindow(im.dpy(), w->xwindow.get(), im.screen);
    XFlush(im.dpy());
  });
}

void X11Host::SetTitle(HWND hwnd, std::u16string_view title) {
  impl_->Locked([&] {
    Impl::Win* w = impl_->Find(hwnd);
    if (!w) return;
    impl_->SetTitleLocked(*w, title);
    XFlush(impl_->dpy());
  });
}

void X11Host::SetIcon(HWND hwnd, HICON big, HICON small) {
  // _NET_WM_ICON: width, height and ARGB rows for every size either icon has, one long each.
  std::vector<unsigned long> data;
  std::vector<int> sizes;
  for (HICON icon : {big, small}) {
    if (!icon) continue;
    for (const int size : {16, 22, 24, 32, 48, 64, 96, 128, 256}) {
      if (std::find(sizes.begin(), sizes.end(), size) != sizes.end()) continue;
      const auto argb = gdi::IconImage(icon, size);
      if (argb.size() != static_cast<std::size_t>(size) * static_cast<std::size_t>(size)) continue;
      sizes.push_back(size);
      data.push_back(static_cast<unsigned long>(size));
      data.push_back(static_cast<unsigned long>(size));
      data.insert(data.end(), argb.begin(), argb.end());
    }
  }
  impl_->Locked([&] {
    Impl& im = *impl_;
    Impl::Win* w = im.Find(hwnd);
    if (!w) return;
    if (data.empty()) {
      XDeleteProperty(im.dpy(), w->xwindow.get(), im.atom(kNetWmIcon));
    } else {
      im.SetLongs(w->xwindow.get(), im.atom(kNetWmIcon), XA_CARDINAL, data);
    }
    XFlush(im.dpy());
  });
}

void X11Host::Present(HWND hwnd, const std::shared_ptr<const gdi::Surface>& surface, std::span<const RECT> rects) {
  if (!surface || surface->width <= 0 || surface->height <= 0) return;
  impl_->Locked([&] {
    Impl& im = *impl_;
    Impl::Win* w = im.Find(hwnd);
    if (!w) return;
    if (w->showAtFirstFrame) {
      // Mapped before its pixels are put: without a window manager the window is on the screen
      // at once and takes them; with one, the exposure that follows its map puts them there.
      w->showAtFirstFrame = w->centre = false;
      im.PlaceCentred(*w);
      XMapWindow(im.dpy(), w->xwindow.get());
    }
    const RECT whole{0, 0, surface->width, surface->height};
    if (w->width != surface->width || w->height != surface->height || (w->shown && w->shown != surface)) {
      // A new size or surface: the whole surface is the truth now, not only the rectangles.
      if (!im.ResizeBuffer(*w, surface)) return;
      im.CopyFromSurface(*w, *surface, whole);
      im.PutRect(*w, whole);
    } else {
      for (const RECT& r : rects) {
        RECT clipped{std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, whole.right),
                     std::min<LONG>(r.bottom, whole.bottom)};
        if (clipped.left >= clipped.right || clipped.top >= clipped.bottom) continue;
        im.CopyFromSurface(*w, *surface, clipped);
        im.PutRect(*w, clipped);
      }
    }
    XFlush(im.dpy());
  });
}

void X11Host::BeginMove(HWND hwnd, POINT screenPoint) {
  impl_->Locked([&] {
    Impl& im = *impl_;
    Impl::Win* w = im.Find(hwnd);
    if (!w || im.move) return;
    // A move needs the left button still down: a window manager's move started after the
    // release would hang on to the pointer until the next click.
    Window rootReturn = 0, childReturn = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(im.dpy(), w->xwindow.get(), &rootReturn, &childReturn, &rootX, &rootY, &x, &y, &mask) ||
        !(mask & Button1Mask)) {
      return;
    }
    const POINT anchor = Impl::ScreenPixel(*w, screenPoint);
    if (im.WindowManagerSupports(im.atom(kNetWmMoveresize))) {
      // The window manager takes the pointer; the client must let go of its implicit grab.
      XUngrabPointer(im.dpy(), CurrentTime);
      XEvent request{};
      request.xclient.type = ClientMessage;
      request.xclient.window = w->xwindow.get();
      request.xclient.message_type = im.atom(kNetWmMoveresize);
      request.xclient.format = 32;
      request.xclient.data.l[0] = anchor.x;
      request.xclient.data.l[1] = anchor.y;
      request.xclient.data.l[2] = kMoveResizeMove;
      request.xclient.data.l[3] = Button1;
      request.xclient.data.l[4] = 1;  // a normal application asks
      XSendEvent(im.dpy(), im.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
      w->wmMoving = true;
    } else {
      const int grabbed = XGrabPointer(im.dpy(), w->xwindow.get(), False, ButtonReleaseMask | PointerMotionMask,
                                       GrabModeAsync, GrabModeAsync, 0, im.CursorFor(LoadCursorW(nullptr, IDC_SIZEALL)),
                                       CurrentTime);
      if (grabbed == GrabSuccess) im.move = Impl::Move{hwnd, anchor, TopLeft(w->rect)};
    }
    XFlush(im.dpy());
  });
}

void X11Host::ShowCursor(HCURSOR cursor) { impl_->ShowCursor(cursor); }

SIZE X11Host::ScreenSize() {
  std::lock_guard lock(impl_->mutex);
  return impl_->ScreenInWindowPixels();
}

int X11Host::EventFd() { return ConnectionNumber(impl_->dpy()); }

bool X11Host::HasPendingEvents() {
  std::lock_guard lock(impl_->mutex);
  return XEventsQueued(impl_->dpy(), QueuedAlready) > 0;
}

void X11Host::DispatchEvents() {
  impl_->Locked([&] {
    Impl& im = *impl_;
    // XPending reads what the connection holds without blocking.
    while (XPending(im.dpy()) > 0) {
      XEvent ev;
      XNextEvent(im.dpy(), &ev);
      im.Handle(ev);
    }
    XFlush(im.dpy());
  });
}

}  // namespace platform::host
