/* The reference for start-up: an empty Xlib window, mapped, and its first frame drawn and
 * flushed to the server. Prints CLOCK_REALTIME (nanoseconds) at that moment, so that a script
 * that noted the time (date +%s%N) before exec can take the difference. The window is smaller
 * than the program's, so that x_look never takes it for that one. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <time.h>

int main(int argc, char** argv) {
  /* --stay keeps the window open, so that its resident memory can be read. */
  const int stay = argc > 1 && strcmp(argv[1], "--stay") == 0;
  Display* display = XOpenDisplay(NULL);
  if (!display) return 1;
  const int screen = DefaultScreen(display);
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 200, 150, 0,
                                      BlackPixel(display, screen), WhitePixel(display, screen));
  XSelectInput(display, window, ExposureMask);
  XMapWindow(display, window);
  GC gc = XCreateGC(display, window, 0, NULL);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == Expose) break;
  }
  XFillRectangle(display, window, gc, 0, 0, 200, 150);
  XSync(display, False);
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  printf("%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
  fflush(stdout);
  if (stay) pause();
  XFreeGC(display, gc);
  XCloseDisplay(display);
  return 0;
}
