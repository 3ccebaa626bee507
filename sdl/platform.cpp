// Process-level SDL set-up, done by the program's entry where no SDL main
// shim does it.
#include "sdl/platform.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

bool SDLPlatformInit() {
  static bool quitRegistered = false;
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) < 0) {
    std::fprintf(stderr, "%s\n", SDL_GetError());
    return false;
  }
  if (!quitRegistered) quitRegistered = std::atexit(SDL_Quit) == 0;
  return true;
}

uint32_t SDLPlatformTicks() { return SDL_GetTicks(); }
