// The keyboard singleton: turns SDL's event queue into one key code per poll.
#include "sdl/keyboard.h"

#include <SDL.h>

#include <cstdio>
#include <new>

#include "sdl/display.h"

namespace {

// Identification record of the module; nothing reads it.
[[maybe_unused]] constexpr struct {
  const char* name;
  int32_t date;
  const char* author;
} kIdent = {"SDLKBD", 20030728, "intro"};

// Entry, exit, error and key traces print only when this is on; both intros
// build with it off.
constexpr bool kTrace = false;

constexpr size_t kKeyBufferSize = 8;

Keyboard* current = nullptr;  // the one keyboard

void Trace(const char* line) {
  if constexpr (kTrace) std::fputs(line, stdout);
}

// Prints the entry line on construction and the exit line on every return.
class Traced {
 public:
  Traced(const char* entry, const char* exit) : exit_(exit) { Trace(entry); }
  ~Traced() { Trace(exit_); }
  Traced(const Traced&) = delete;
  Traced& operator=(const Traced&) = delete;

 private:
  const char* exit_;
};

void TraceKey(SDLKey sym) {
  if constexpr (kTrace) {
    std::printf("keyName=%s\n", SDL_GetKeyName(sym));
    std::printf("keySym=%c\n", static_cast<char>(sym));
  }
}

void Release(Keyboard* keyboard) {
  delete[] keyboard->keys;
  delete keyboard;
}

}  // namespace

Keyboard* SDLKBDNew() {
  Traced traced("SDLKBDNew_\n", "_SDLKBDNew\n");
  if (!SDLDPYCurrent()) {
    Trace("ERR SDL not init'ed\n");
    return nullptr;
  }
  if (current) return current;
  auto* keyboard = new (std::nothrow) Keyboard{};
  if (!keyboard) return nullptr;
  keyboard->keys = new (std::nothrow) uint8_t[kKeyBufferSize]();
  if (!keyboard->keys) {
    delete keyboard;
    return nullptr;
  }
  current = keyboard;
  return keyboard;
}

void SDLKBDFree(Keyboard** keyboard) {
  Traced traced("SDLKBDFree_\n", "_SDLKBDFree\n");
  if (!keyboard) {
    Trace("ERR void parameter\n");
    return;
  }
  // Only the one keyboard is ours to free: a none handle, or a stale one
  // left from an earlier keyboard, is left alone.
  if (!*keyboard || *keyboard != current) return;
  Release(current);
  current = nullptr;
  *keyboard = nullptr;
}

void SDLKBDGetKey(Keyboard* keyboard) {
  Traced traced("SDLKBDGetKey_\n", "_SDLKBDGetKey\n");
  const bool haveDisplay = SDLDPYCurrent() != nullptr;
  if (!haveDisplay) Trace("ERR no display\n");
  if (!keyboard) Trace("ERR void parameter\n");
  // Without somewhere to store a code the queue is still drained, so stale
  // events do not pile up for a later poll.
  uint8_t* code = haveDisplay && keyboard ? keyboard->keys : nullptr;
  // The last press in the drain decides, even when its own release follows
  // it in the same drain: a tap shorter than one frame still counts. A
  // release alone leaves 0. SDL's quit event (the window's close button,
  // SIGINT, SIGTERM) reads as Escape, and no later event in the drain
  // overrides it.
  bool pressed = false, released = false, quit = false;
  uint8_t last = 0;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_KEYDOWN) {
      TraceKey(event.key.keysym.sym);
      last = static_cast<uint8_t>(event.key.keysym.sym & 0xFF);
      pressed = true;
    } else if (event.type == SDL_KEYUP) {
      released = true;
    } else if (event.type == SDL_QUIT) {
      quit = true;
    }
  }
  if (!code) return;
  if (quit)
    *code = SDLKBD_QUIT_CODE;
  else if (pressed)
    *code = last;
  else if (released)
    *code = 0;
}

bool SDLKBDQuitPending() {
  SDL_PumpEvents();
  SDL_Event event;
  return SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_QUITMASK) > 0;
}

const char* SDLKBDToASCII(const Keyboard* keyboard) {
  static const char empty[] = "";
  Traced traced("SDLKBDToASCII_\n", "_SDLKBDToASCII\n");
  if (!keyboard) {
    Trace("ERR void parameter\n");
    return nullptr;
  }
  return empty;
}

Keyboard* SDLKBDFromASCII(const char* text) {
  Traced traced("SDLKBDFromASCII_\n", "_SDLKBDFromASCII\n");
  if (!text) Trace("ERR void parameter\n");
  return nullptr;
}

int SDLKBDEqual(const Keyboard* a, const Keyboard* b) {
  Traced traced("SDLKBDEqual_\n", "_SDLKBDEqual\n");
  if (!a || !b) {
    Trace("ERR void parameter\n");
    return 0;
  }
  return a == b ? 1 : 0;
}

Keyboard* SDLKBDCopy(const Keyboard* keyboard) {
  Traced traced("SDLKBDCopy_\n", "_SDLKBDCopy\n");
  if (!keyboard) Trace("ERR void parameter\n");
  return nullptr;
}
