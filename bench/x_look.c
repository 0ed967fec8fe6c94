/* Watches the program's window on an X display for the benchmark script.
 *
 *   x_look capture OUT          waits for the window, then saves the settings-button area
 *   x_look wait REF TIMEOUT_MS  polls the area (every millisecond) until it equals REF; prints
 *                               CLOCK_REALTIME in nanoseconds at that moment; exit 1 on time-out
 *   x_look window               prints the window id once it is mapped
 *
 * The window is the first mapped top-level window of the display's root that has the skin's
 * size (the benchmark's display runs nothing else). Comparing the button area with a capture of
 * the settled connected look tells the moment that look is on the screen. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kX = 99, kY = 123, kW = 160, kH = 58 };

static long long NowNs(void) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void Nap(void) {
  struct timespec t = {0, 1000000};
  nanosleep(&t, NULL);
}

static Window FindWindow(Display* d) {
  Window root = DefaultRootWindow(d), parent, *children = NULL;
  unsigned int count = 0;
  Window found = 0;
  if (!XQueryTree(d, root, &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count && !found; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && a.width >= kX + kW &&
        a.height >= kY + kH)
      found = children[i];
  }
  if (children) XFree(children);
  return found;
}

static int ErrorIgnored(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;
}

/* The area's pixels, or 0 when the window is not (yet) readable. */
static int Grab(Display* d, Window w, unsigned int* out) {
  XImage* image = XGetImage(d, w, kX, kY, kW, kH, AllPlanes, ZPixmap);
  if (!image) return 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) out[y * kW + x] = (unsigned int)XGetPixel(image, x, y) & 0xFFFFFFu;
  XDestroyImage(image);
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 2;
  XSetErrorHandler(ErrorIgnored);
  static unsigned int pixels[kW * kH], reference[kW * kH];
  const long long start = NowNs();
  long long timeoutNs = 20000000000LL;
  if (strcmp(argv[1], "wait") == 0 && argc >= 4) timeoutNs = atoll(argv[3]) * 1000000LL;
  Window w = 0;
  while (!(w = FindWindow(d))) {
    if (NowNs() - start > timeoutNs) return 1;
    Nap();
  }
  if (strcmp(argv[1], "window") == 0) {
    printf("%lu\n", (unsigned long)w);
    return 0;
  }
  if (strcmp(argv[1], "capture") == 0 && argc >= 3) {
    if (!Grab(d, w, pixels)) return 1;
    FILE* f = fopen(argv[2], "wb");
    if (!f || fwrite(pixels, sizeof pixels, 1, f) != 1) return 1;
    fclose(f);
    return 0;
  }
  if (strcmp(argv[1], "wait") == 0 && argc >= 4) {
    FILE* f = fopen(argv[2], "rb");
    if (!f || fread(reference, sizeof reference, 1, f) != 1) return 2;
    fclose(f);
    for (;;) {
      const int grabbed = Grab(d, w, pixels);
      if (grabbed && memcmp(pixels, reference, sizeof pixels) == 0) {
        printf("%lld\n", NowNs());
        return 0;
      }
      if (NowNs() - start > timeoutNs) return 1;
      /* A window of a program that has just ended may still have been there when we looked. */
      if (!grabbed) {
        const Window again = FindWindow(d);
        if (again) w = again;
      }
      Nap();
    }
  }
  return 2;
}
