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
  // SDL 1.2's defined symbols, as runs of consecutive values. They are
  // written as numbers because the browser build's SDL headers number keys
  // differently; the native build checks them against SDL 1.2's own names.
  static constexpr struct {
    int32_t first, last;
  } kRuns[] = {
      {8, 9},     // backspace, tab
      {12, 13},   // clear, return
      {19, 19},   // pause
      {27, 27},   // escape
      {32, 36},   // space .. dollar
      {38, 64},   // ampersand .. at
      {91, 122},  // left bracket .. z
      {127, 127},  // delete
      {160, 296},  // world 0 .. F15 (keypad, arrows and function keys)
      {300, 322},  // num lock .. undo
  };
#ifndef __EMSCRIPTEN__
  static_assert(SDLK_BACKSPACE == 8 && SDLK_TAB == 9 && SDLK_CLEAR == 12 &&
                SDLK_RETURN == 13 && SDLK_PAUSE == 19 && SDLK_ESCAPE == 27 &&
                SDLK_SPACE == 32 && SDLK_DOLLAR == 36 &&
                SDLK_AMPERSAND == 38 && SDLK_AT == 64 &&
                SDLK_LEFTBRACKET == 91 && SDLK_z == 122 &&
                SDLK_DELETE == 127 && SDLK_WORLD_0 == 160 &&
                SDLK_F15 == 296 && SDLK_NUMLOCK == 300 && SDLK_UNDO == 322);
#endif
  for (const auto& run : kRuns)
    if (sym >= run.first && sym <= run.last) return true;
  return false;
}
