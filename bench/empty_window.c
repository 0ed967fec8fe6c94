/* The least a window can be: an empty Xlib window, mapped and filled once it is exposed. It stays
 * until it is killed. */
#include <X11/Xlib.h>
#include <unistd.h>

int main(void) {
  Display* d = XOpenDisplay(NULL);
  if (!d) return 1;
  const int s = DefaultScreen(d);
  Window w = XCreateSimpleWindow(d, RootWindow(d, s), 0, 0, 200, 150, 0, BlackPixel(d, s), WhitePixel(d, s));
  XSelectInput(d, w, ExposureMask);
  XMapWindow(d, w);
  for (XEvent e = {.type = 0}; e.type != Expose;) XNextEvent(d, &e);
  XFillRectangle(d, w, DefaultGC(d, s), 20, 20, 160, 110);
  XFlush(d);
  pause();
  return 0;
}
