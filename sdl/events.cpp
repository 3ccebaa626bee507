#include "sdl/events.h"

#include <SDL.h>

bool SDLEventsPushKey(int32_t sym, bool down) {
  SDL_Event event{};
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.type = event.type;
  event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.key.keysym.sym = static_cast<SDLKey>(sym);
  return SDL_PushEvent(&event) == 0;
}

bool SDLEventsPushQuit() {
  SDL_Event event{};
  event.type = SDL_QUIT;
  return SDL_PushEvent(&event) == 0;
}
