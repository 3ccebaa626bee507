/* Preloaded into an intro, it notes the moment of every presentation
 * (SDL_UpdateRect, SDL_UpdateRects and SDL_Flip) in the file named by
 * PRESENT_LOG, as nanoseconds of the monotonic clock, one line each, for
 * scripts/pacing.sh to turn into intervals. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct SDL_Surface SDL_Surface;

static FILE* log_file;

static void note(void) {
  if (!log_file) {
    const char* name = getenv("PRESENT_LOG");
    if (!name || !(log_file = fopen(name, "w"))) return;
  }
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  /* One write a line: the intro may be killed at any moment. */
  fprintf(log_file, "%lld\n", (long long)t.tv_sec * 1000000000LL + t.tv_nsec);
  fflush(log_file);
}

void SDL_UpdateRect(SDL_Surface* screen, int32_t x, int32_t y, uint32_t w,
                    uint32_t h) {
  static void (*real)(SDL_Surface*, int32_t, int32_t, uint32_t, uint32_t);
  if (!real) *(void**)&real = dlsym(RTLD_NEXT, "SDL_UpdateRect");
  real(screen, x, y, w, h);
  note();
}

typedef struct SDL_Rect SDL_Rect;

void SDL_UpdateRects(SDL_Surface* screen, int count, SDL_Rect* rects) {
  static void (*real)(SDL_Surface*, int, SDL_Rect*);
  if (!real) *(void**)&real = dlsym(RTLD_NEXT, "SDL_UpdateRects");
  real(screen, count, rects);
  note();
}

int SDL_Flip(SDL_Surface* screen) {
  static int (*real)(SDL_Surface*);
  if (!real) *(void**)&real = dlsym(RTLD_NEXT, "SDL_Flip");
  int r = real(screen);
  note();
  return r;
}

__attribute__((destructor)) static void done(void) {
  if (log_file) fclose(log_file);
}
