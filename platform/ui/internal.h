// Internals of the window system, shared by its source files.
//
// One lock (Lock()) guards every window record and every thread queue. It is never held while a
// window procedure, a host request or a clock call runs, so handlers may call back into any
// function here.
#pragma once

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/rect.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/host.h"
#include "platform/kernel/clock.h"
#include "platform/ui/host_input.h"
#include "platform/ui/ui.h"

namespace platform::ui::detail {

using platform::Intersect;
using platform::IsEmpty;
using platform::Offset;
using platform::Union;

struct ThreadQueue;

// `value` with `bits` set (`on`) or cleared.
constexpr UINT WithBits(UINT value, UINT bits, bool on) { return on ? (value | bits) : (value & ~bits); }

enum class ClassKind { Custom, Button, Static, Dialog };

struct WindowClass {
  std::u16string name;  // lower case
  ClassKind kind = ClassKind::Custom;
  WNDPROC proc = nullptr;
};

struct Timer {
  UINT elapse = 0;
  kernel::Millis due{};
  TIMERPROC proc = nullptr;
};

// State only a top-level window has.
struct TopLevel {
  // Its scale is the window's: how many of the screen's pixels the host shows for one of its.
  std::shared_ptr<gdi::Surface> surface;
  std::vector<RECT> dirty;      // surface rectangles (its own pixels) changed since the last Present
  int paintDepth = 0;           // open BeginPaint/GetDC device contexts
  std::optional<SIZE> pendingSize;  // a resize that waits until no device context is open
  bool iconic = false;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
};

// State only a dialog has.
struct Dialog {
  DLGPROC proc = nullptr;
  HFONT font = nullptr;  // owned
  bool ended = false;
  INT_PTR result = 0;
  HWND lastFocus = nullptr;
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<ThreadQueue> queue;
  std::shared_ptr<const WindowClass> cls;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  RECT rect{};  // children: parent client coordinates; top-level windows: screen coordinates
  Window* parent = nullptr;
  std::vector<std::shared_ptr<Window>> children;  // z-order, topmost first
  std::u16string text;
  LONG_PTR id = 0;
  bool destroyed = false;
  bool destroying = false;

  // The update region, kept as its bounding rectangle in client coordinates.
  bool hasUpdate = false;
  RECT update{};
  bool erase = false;

  std::map<UINT_PTR, Timer> timers;

  // Controls.
  HFONT font = nullptr;
  UINT buttonState = 0;  // BST_ bits
  bool buttonPressed = false;  // the left button went down on it and is still down

  std::unique_ptr<TopLevel> top;
  std::unique_ptr<Dialog> dialog;

  LONG Width() const { return rect.right - rect.left; }
  LONG Height() const { return rect.bottom - rect.top; }
  bool IsTop() const { return parent == nullptr; }
};

// A message sent to another thread, or a call to run there, and its answer.
struct SentRecord {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  const std::function<LRESULT()>* call = nullptr;  // instead of a message; lives in the sender's frame
  LRESULT result = 0;
  bool done = false;
  std::shared_ptr<ThreadQueue> sender{};
};

// Recheck is no host event: the mouse capture was released, and the window now under the pointer
// is told where the pointer is.
enum class InputKind { Move, Button, Leave, Key, Close, Iconic, Activate, Moved, Recheck };

struct InputEvent {
  InputKind kind = InputKind::Move;
  HWND top = nullptr;
  POINT point{};
  MouseButton button = MouseButton::Left;
  bool flag = false;  // button or key down, iconic, active, repeat
  bool repeat = false;
  UINT key = 0;
};

// A descriptor that the queue's loop polls for a window of that queue.
struct FdWatch {
  HWND owner = nullptr;
  int fd = -1;
  std::shared_ptr<const std::function<void()>> onReadable;
};

struct ThreadQueue {
  std::thread::id thread;
  bool alive = true;
  std::deque<std::shared_ptr<SentRecord>> incoming;
  std::deque<MSG> ready;   // input already turned into a message
  std::deque<MSG> posted;
  std::deque<InputEvent> input;
  std::vector<std::shared_ptr<Window>> tops;  // top-level windows, in creation order
  bool quit = false;
  int quitCode = 0;

  HWND capture = nullptr;
  HWND focus = nullptr;
  HWND active = nullptr;
  std::set<HWND> tracking;
  // Where the pointer is: over `pointerTop` at `pointer` (its client coordinates), or nowhere.
  HWND pointerTop = nullptr;
  POINT pointer{};
  UINT mouseKeys = 0;       // MK_ button bits held
  bool swallowLeftUp = false;  // a window move took the press; its release is not ours

  std::condition_variable cv;  // with Lock(): senders waiting for answers or for work
  int wakeFd = -1;

  std::function<void(HWND)> createHook;
  std::vector<FdWatch> watches;

  // The host that shows this queue's windows: taken when its first top-level window is made and
  // dropped when its last one is gone, so that each window's requests reach the host that was
  // told of it even if another host is installed meanwhile. Only the queue's own thread uses it.
  std::shared_ptr<host::Host> host;

  void Wake();
  ~ThreadQueue();
};

std::mutex& Lock();

// The calling thread's queue, made on first use.
std::shared_ptr<ThreadQueue> CurrentQueue();
// The host for the calling thread's requests: its queue's while that has windows, else the one
// in force.
std::shared_ptr<host::Host> QueueHost();
// Every queue (for clock wake-ups).
void ForEachQueue(const std::function<void(ThreadQueue&)>& fn);

// Window table. Call with Lock() held.
std::shared_ptr<Window> Find(HWND hwnd);
std::shared_ptr<Window> FindLive(HWND hwnd);  // not destroyed
// FindLive (and, with `ownThread`, the calling thread's), else ERROR_INVALID_WINDOW_HANDLE.
std::shared_ptr<Window> FindLiveOrFail(HWND hwnd, bool ownThread = false);
Window* TopOf(Window* w);
bool IsOwnThread(const Window& w);
bool VisibleLocked(const Window& w);  // WS_VISIBLE on it and every ancestor
bool EnabledLocked(const Window& w);
POINT ClientOriginInTop(const Window& w);  // client origin in the top-level's coordinates
POINT ScreenOrigin(const Window& w);       // client origin in screen coordinates
RECT VisibleRectInTop(const Window& w);    // what of the window its ancestors let show
bool IsAncestor(const Window& ancestor, const Window& w);
std::shared_ptr<const WindowClass> FindClass(std::u16string_view name);
// The window classes by lower-case name: the system's, and those tests add (Lock() held).
using ClassMap = std::map<std::u16string, std::shared_ptr<const WindowClass>>;
ClassMap& ClassesLocked();

// Messages. Calls a window procedure on this thread (no lock held).
LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostLocked(ThreadQueue& q, const MSG& msg);
// Runs one incoming sent record (no lock held).
void ProcessIncoming(const std::shared_ptr<SentRecord>& record);
// Completes every record waiting on the given windows with 0 (Lock() held).
void ReleaseSendersLocked(ThreadQueue& q, const std::set<HWND>& gone);

// Painting (Lock() held unless noted).
void InvalidateLocked(Window& w, const RECT* rect, bool erase, bool children);
// `area` is in the top-level window's client coordinates.
void MarkDirtyLocked(Window& top, const RECT& area);
void ApplyPendingResizeLocked(Window& top);
// A window of this queue's trees that waits for WM_PAINT, parents first.
HWND FindPaintWindowLocked(ThreadQueue& q);
// Presents the changed rectangles of top-level windows with nothing left to paint (no lock held).
void FlushPresents(ThreadQueue& q);
void FlushPresent(HWND top);
// Paints `hwnd` and (with children) its descendants that have an update region, at once.
void UpdateNow(HWND hwnd, bool children);
void ResizeSurfaceLocked(Window& top, SIZE size);

// Input (Lock() held unless noted).
void QueueInput(InputEvent event);
// Turns one input event into messages (no lock held).
void ConvertInput(ThreadQueue& q, const InputEvent& event);
// Posts WM_MOUSELEAVE to tracked windows the pointer is no longer over.
void EvaluateTrackingLocked(ThreadQueue& q);
HWND HitTestLocked(Window& top, POINT point);
void ForgetWindowInputLocked(ThreadQueue& q, const std::set<HWND>& gone);
// WM_NCLBUTTONDOWN with HTCAPTION: the host moves the top-level window with the pointer.
void BeginWindowMove(HWND hwnd);

// Built-in window procedures.
LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace platform::ui::detail
