// The build-time configuration of one intro in a browser: its screen size and
// video-mode flags (INTRO_WIDTH, INTRO_HEIGHT and INTRO_FULLSCREEN, as for the
// native intros), and a present that hands the browser its turn.
//
// The scenes and the fade are plain loops, so after every presentation the
// program waits (through Asyncify) for the page's pacing, web/intro.js: one
// animation frame, or the next deadline of ?fps=N, or, with the test hook, a
// stop. The page delivers keys as SDL 1.2 key symbols through WebKey.
#include <emscripten.h>

#include "demo/demo.h"
#include "demo/render.h"
#include "sdl/display.h"
#include "sdl/events.h"

int32_t DEMO_SCREEN_WIDTH = INTRO_WIDTH;
int32_t DEMO_SCREEN_HEIGHT = INTRO_HEIGHT;
const uint32_t SDLDPY_MODE_FLAGS =
    INTRO_FULLSCREEN ? SDLDPY_FULLSCREEN_FLAGS : SDLDPY_WINDOWED_FLAGS;

// Resolves when the page lets presentation n + 1 follow presentation n.
EM_ASYNC_JS(void, WebAfterPresent, (int n), {
  await Module.afterPresent(n);
});

// The page paces the intro (an animation frame, or ?fps=N), so the native
// --fps pacer has nothing to do here.
void DEMOSetRate(int32_t) {}

void DEMOPresent(Display* display, const Image* frame) {
  // Only what the last frame changed reaches the canvas, when the render
  // knows it.
  int32_t count = 0;
  const ImageRect* changed =
      DEMORenderChanges(demo.renderCache, frame, &count);
  SDLDPYShowRects(display, frame, changed, count);
  WebAfterPresent(demo.presentations);  // counted by the driver afterwards
}

void DEMOPoll(Keyboard* keyboard) { SDLKBDGetKey(keyboard); }

// Queues a key press (down != 0) or release of SDL 1.2 key symbol sym; the
// next poll reads it as it reads a native key event.
extern "C" EMSCRIPTEN_KEEPALIVE void WebKey(int sym, int down) {
  SDLEventsPushKey(sym, down != 0);
}
