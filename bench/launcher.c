/* Stands in for xdg-open: notes CLOCK_MONOTONIC (ns) at its start in the file named by
 * VELMOR_BENCH_LAUNCHED, so that the time from a press to the launcher needs no second clock. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

int main(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  const char* path = getenv("VELMOR_BENCH_LAUNCHED");
  FILE* f = path ? fopen(path, "w") : NULL;
  if (!f) return 1;
  fprintf(f, "%lld\n", (long long)t.tv_sec * 1000000000LL + t.tv_nsec);
  return fclose(f) != 0;
}
