/* Watches the program's window on an X display for the benchmark script.
 *
 *   x_look capture OUT          waits for the window, then saves its whole picture
 *   x_look wait REF TIMEOUT_MS  polls the window (every millisecond) until it equals REF; prints
 *                               CLOCK_REALTIME in nanoseconds at that moment; exit 1 on time-out
 *   x_look window               prints the window id once it is mapped
 *
 * The window is the first mapped top-level window of the display's root at least as large as
 * the skin (the benchmark's display runs nothing else). Comparing the whole window, texts and
 * button alike, with a capture of the settled connected look tells the moment that look is on
 * the screen. The pointer must be kept off the window: a hovered button looks different. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kMinW = 340, kMinH = 280, kMaxPixels = 1024 * 1024 };

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
    if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && a.width >= kMinW &&
        a.height >= kMinH && a.width * a.height <= kMaxPixels)
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

/* The picture: width, height, then one 32-bit word per pixel (the 24 colour bits). */
typedef struct {
  unsigned int w, h;
  unsigned int pixels[kMaxPixels];
} Picture;

/* The window's pixels, or 0 when the window is not (yet) readable. */
static int Grab(Display* d, Window w, Picture* out) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a) || a.width * a.height > kMaxPixels) return 0;
  XImage* image = XGetImage(d, w, 0, 0, (unsigned int)a.width, (unsigned int)a.height, AllPlanes, ZPixmap);
  if (!image) return 0;
  out->w = (unsigned int)a.width;
  out->h = (unsigned int)a.height;
  if (image->bits_per_pixel == 32) {
    for (int y = 0; y < a.height; ++y) {
      const unsigned int* row = (const unsigned int*)(image->data + (long)y * image->bytes_per_line);
      for (int x = 0; x < a.width; ++x) out->pixels[y * a.width + x] = row[x] & 0xFFFFFFu;
    }
  } else {
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x) out->pixels[y * a.width + x] = (unsigned int)XGetPixel(image, x, y) & 0xFFFFFFu;
  }
  XDestroyImage(image);
  return 1;
}

static size_t Size(const Picture* p) { return 2 * sizeof(unsigned int) + (size_t)p->w * p->h * sizeof(unsigned int); }

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 2;
  XSetErrorHandler(ErrorIgnored);
  static Picture picture, reference;
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
    if (!Grab(d, w, &picture)) return 1;
    FILE* f = fopen(argv[2], "wb");
    if (!f || fwrite(&picture, Size(&picture), 1, f) != 1) return 1;
    fclose(f);
    return 0;
  }
  if (strcmp(argv[1], "wait") == 0 && argc >= 4) {
    FILE* f = fopen(argv[2], "rb");
    if (!f || fread(&reference, 2 * sizeof(unsigned int), 1, f) != 1 || reference.w * reference.h > kMaxPixels ||
        fread(reference.pixels, Size(&reference) - 2 * sizeof(unsigned int), 1, f) != 1)
      return 2;
    fclose(f);
    for (;;) {
      const int grabbed = Grab(d, w, &picture);
      if (grabbed && picture.w == reference.w && picture.h == reference.h &&
          memcmp(picture.pixels, reference.pixels, (size_t)picture.w * picture.h * sizeof(unsigned int)) == 0) {
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
