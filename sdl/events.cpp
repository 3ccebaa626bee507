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

bool SDLEventsIsKey(int32_t sym) {
  // The defined symbols, as runs of consecutive values.
  static constexpr struct {
    SDLKey first, last;
  } kRuns[] = {
      {SDLK_BACKSPACE, SDLK_TAB},     {SDLK_CLEAR, SDLK_RETURN},
      {SDLK_PAUSE, SDLK_PAUSE},       {SDLK_ESCAPE, SDLK_ESCAPE},
      {SDLK_SPACE, SDLK_DOLLAR},      {SDLK_AMPERSAND, SDLK_AT},
      {SDLK_LEFTBRACKET, SDLK_z},     {SDLK_DELETE, SDLK_DELETE},
      {SDLK_WORLD_0, SDLK_F15},       {SDLK_NUMLOCK, SDLK_UNDO},
  };
  for (const auto& run : kRuns)
    if (sym >= run.first && sym <= run.last) return true;
  return false;
}
