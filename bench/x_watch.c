/* x_watch: times a program's window from outside, the same way for every program, on an X
 * display with no window manager (bench/README.md says how).
 *
 *   x_watch start [--keep] -- PROGRAM ARG...
 *     Prints map_ms first_ms settled_ms cpu_ms rss_kb pss_kb private_dirty_kb pid window checksum
 *     of PROGRAM's first top-level window, times from the exec; then ends PROGRAM, or with
 *     --keep waits for it to end.
 *   x_watch change WINDOW -- COMMAND ARG...
 *     Execs COMMAND; prints first_ms settled_ms checksum of WINDOW's changes after.
 *   x_watch click WINDOW X Y [PID]
 *     Clicks (X, Y) of WINDOW once its hovered look has settled; prints CLOCK_MONOTONIC in ns
 *     just before the release, or with PID the ms from the release until that process ended.
 *
 * A change counts only where the pixels DAMAGE reports differ from what was there before. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <linux/perf_event.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { kQuietMs = 700, kTimeoutMs = 20000 };

static Display* d;
static Window root, target;
static int damageEvent, rx, ry, rw, rh; /* the target's rectangle on the root */
static uint32_t* shadow;                 /* the target's pixels as last seen */
static long long mapNs, firstNs, lastNs;
static int perfFd = -1;
static long long cpuNs = -1; /* -1: no task clock */

static long long Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

static int Ignore(Display* dd, XErrorEvent* e) { (void)dd, (void)e; return 0; }

static void Target(Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return;
  target = w, rx = a.x, ry = a.y, rw = a.width, rh = a.height;
  free(shadow);
  shadow = malloc((size_t)rw * rh * 4);
  memset(shadow, 0xFF, (size_t)rw * rh * 4); /* no pixel looks like this */
}

/* Reads the part (x, y, w, h) of the target into the shadow; 1 when any pixel differed. */
static int Grab(int x, int y, int w, int h) {
  const int sw = DisplayWidth(d, DefaultScreen(d)), sh = DisplayHeight(d, DefaultScreen(d));
  if (rx + x < 0) w += rx + x, x = -rx;
  if (ry + y < 0) h += ry + y, y = -ry;
  if (rx + x + w > sw) w = sw - rx - x;
  if (ry + y + h > sh) h = sh - ry - y;
  if (w <= 0 || h <= 0) return 0;
  XImage* im = XGetImage(d, root, rx + x, ry + y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
  if (!im) return 0;
  if (im->bits_per_pixel != 32) fprintf(stderr, "x_watch: the screen must have 32 bits a pixel\n"), exit(2);
  int changed = 0;
  for (int j = 0; j < h; ++j) {
    const uint32_t* src = (const uint32_t*)(im->data + (long)j * im->bytes_per_line);
    uint32_t* dst = shadow + (long)(y + j) * rw + x;
    for (int i = 0; i < w; ++i) {
      const uint32_t p = src[i] & 0xFFFFFFu;
      changed |= dst[i] != p;
      dst[i] = p;
    }
  }
  XDestroyImage(im);
  return changed;
}

/* Handles what the server sent until `quietMs` pass without a change of the target's pixels
 * (after a first change, or from now when `fromNow`) or until `deadline`. 0 on time-out. */
static int Follow(int quietMs, long long deadline, int fromNow) {
  long long quietFrom = fromNow ? Now() : 0;
  for (;;) {
    const long long now = Now(), quietEnd = quietFrom + quietMs * 1000000LL;
    if (quietFrom && now >= quietEnd) return 1;
    if (now >= deadline) return 0;
    const long long until = quietFrom && quietEnd < deadline ? quietEnd : deadline;
    struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
    if (!XPending(d) && poll(&p, 1, (int)((until - now) / 1000000 + 1)) == 0) continue;
    const long long seen = Now();
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -(1 << 30), y1 = -(1 << 30);
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == MapNotify && !target && e.xmap.event == root && !e.xmap.override_redirect) {
        Target(e.xmap.window);
        mapNs = seen;
      } else if (e.type == ConfigureNotify && e.xconfigure.window == target && target) {
        if (e.xconfigure.width != rw || e.xconfigure.height != rh) Target(target);
        rx = e.xconfigure.x, ry = e.xconfigure.y;
      } else if (e.type == damageEvent + XDamageNotify && target) {
        const XRectangle a = ((XDamageNotifyEvent*)&e)->area;
        if (a.x - rx < x0) x0 = a.x - rx;
        if (a.y - ry < y0) y0 = a.y - ry;
        if (a.x + a.width - rx > x1) x1 = a.x + a.width - rx;
        if (a.y + a.height - ry > y1) y1 = a.y + a.height - ry;
      }
    }
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > rw) x1 = rw;
    if (y1 > rh) y1 = rh;
    if (x0 < x1 && y0 < y1 && Grab(x0, y0, x1 - x0, y1 - y0)) {
      if (!firstNs) firstNs = seen;
      lastNs = quietFrom = seen;
      if (perfFd >= 0 && read(perfFd, &cpuNs, sizeof cpuNs) != sizeof cpuNs) cpuNs = -1;
    }
  }
}

static unsigned long Checksum(void) {
  Grab(0, 0, rw, rh);
  unsigned long h = 1469598103934665603UL;
  for (long i = 0; i < (long)rw * rh; ++i) h = (h ^ shadow[i]) * 1099511628211UL;
  return h;
}

/* Forks and execs argv with stdout on /dev/null; returns the child, and its clock at the exec in
 * *execNs. With `count`, a task clock (all its threads, from the exec on) is opened on it first. */
static pid_t Spawn(char** argv, long long* execNs, int count) {
  long long* shared = mmap(NULL, sizeof *shared, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  int go[2];
  if (shared == MAP_FAILED || pipe(go) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    char c;
    close(go[1]);
    if (read(go[0], &c, 1) != 1) _exit(127);
    freopen("/dev/null", "w", stdout);
    *shared = Now();
    execvp(argv[0], argv);
    _exit(127);
  }
  close(go[0]);
  if (count) {
    struct perf_event_attr a = {.type = PERF_TYPE_SOFTWARE, .size = sizeof a, .config = PERF_COUNT_SW_TASK_CLOCK,
                                .disabled = 1, .enable_on_exec = 1, .inherit = 1};
    perfFd = (int)syscall(SYS_perf_event_open, &a, pid, -1, -1, PERF_FLAG_FD_CLOEXEC);
    if (perfFd < 0) perror("x_watch: perf_event_open (no CPU figure)");
  }
  if (write(go[1], "g", 1) != 1) return -1;
  close(go[1]);
  while (*shared == 0) usleep(100);
  *execNs = *shared;
  munmap(shared, sizeof *shared);
  return pid;
}

static long Kb(pid_t pid, const char* field) {
  char path[64], line[256];
  long kb = -1;
  snprintf(path, sizeof path, "/proc/%d/smaps_rollup", (int)pid);
  FILE* f = fopen(path, "r");
  while (f && fgets(line, sizeof line, f))
    if (strncmp(line, field, strlen(field)) == 0) kb = atol(line + strlen(field));
  if (f) fclose(f);
  return kb;
}

static double Ms(long long from, long long to) { return (to - from) / 1e6; }

int main(int argc, char** argv) {
  if (argc < 3 || !(d = XOpenDisplay(NULL))) return 2;
  XSetErrorHandler(Ignore);
  root = DefaultRootWindow(d);
  int error, major, minor;
  if (!XDamageQueryExtension(d, &damageEvent, &error) || !XTestQueryExtension(d, &error, &error, &major, &minor))
    return fprintf(stderr, "x_watch: the display has no DAMAGE or XTEST\n"), 2;
  XSelectInput(d, root, SubstructureNotifyMask);
  XDamageCreate(d, root, XDamageReportRawRectangles);
  const int keep = argc > 2 && strcmp(argv[2], "--keep") == 0;
  char** command = argv + 1;
  while (*command && strcmp(*command, "--") != 0) ++command;

  if (strcmp(argv[1], "start") == 0 && *command) {
    /* Off every window: a hovered button looks different. */
    XWarpPointer(d, None, root, 0, 0, 0, 0, DisplayWidth(d, DefaultScreen(d)) - 1, DisplayHeight(d, DefaultScreen(d)) - 1);
    XSync(d, False);
    long long exec;
    const pid_t pid = Spawn(command + 1, &exec, 1);
    if (pid < 0 || !Follow(kQuietMs, exec + kTimeoutMs * 1000000LL, 0) || !firstNs) {
      fprintf(stderr, "x_watch: no settled window from %s\n", command[1]);
      if (pid > 0) kill(pid, SIGKILL);
      return 1;
    }
    printf("%.3f %.3f %.3f %.3f %ld %ld %ld %d %lu %016lx\n", Ms(exec, mapNs), Ms(exec, firstNs), Ms(exec, lastNs),
           cpuNs < 0 ? -1.0 : cpuNs / 1e6, Kb(pid, "Rss:"), Kb(pid, "Pss:"), Kb(pid, "Private_Dirty:"), (int)pid,
           (unsigned long)target, Checksum());
    fflush(stdout);
    if (keep) { /* until someone ends the program; its parent stays, to reap it */
      XCloseDisplay(d);
      waitpid(pid, NULL, 0);
      return 0;
    }
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    /* The next start begins on an empty screen. */
    for (int naps = 0; naps < 100;) {
      XEvent e;
      struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
      if (!XPending(d)) naps += poll(&p, 1, 20) == 0;
      else if (XNextEvent(d, &e), e.type == DestroyNotify && e.xdestroywindow.window == target) break;
    }
    return 0;
  }
  if (strcmp(argv[1], "change") == 0 && *command) {
    Target(strtoul(argv[2], NULL, 0));
    Grab(0, 0, rw, rh);
    long long exec;
    const pid_t pid = Spawn(command + 1, &exec, 0);
    const int settled = pid > 0 && Follow(kQuietMs, exec + kTimeoutMs * 1000000LL, 0) && firstNs;
    if (pid > 0) waitpid(pid, NULL, 0);
    if (!settled) return fprintf(stderr, "x_watch: the window did not change\n"), 1;
    printf("%.3f %.3f %016lx\n", Ms(exec, firstNs), Ms(exec, lastNs), Checksum());
    return 0;
  }
  if (strcmp(argv[1], "click") == 0 && argc >= 5) {
    Target(strtoul(argv[2], NULL, 0));
    Grab(0, 0, rw, rh);
    XTestFakeMotionEvent(d, DefaultScreen(d), rx + atoi(argv[3]), ry + atoi(argv[4]), CurrentTime);
    XSync(d, False);
    Follow(300, Now() + 5000000000LL, 1); /* the hovered look drawn */
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XSync(d, False);
    const long long release = Now();
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
    if (argc < 6) return printf("%lld\n", release), 0;
    struct pollfd p = {(int)syscall(SYS_pidfd_open, atoi(argv[5]), 0), POLLIN, 0}; /* readable once it has ended */
    if (p.fd < 0 || poll(&p, 1, kTimeoutMs) != 1) return fprintf(stderr, "x_watch: %s did not end\n", argv[5]), 1;
    printf("%.3f\n", Ms(release, Now()));
    return 0;
  }
  return 2;
}
