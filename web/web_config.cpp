// The build-time configuration of one intro in a browser: its screen size and
// video-mode flags (INTRO_WIDTH, INTRO_HEIGHT and INTRO_FULLSCREEN, as for the
// native intros), and a present that hands the browser its turn.
//
// The scenes and the fade are plain loops, so after every presentation the
// program waits (through Asyncify) for the page's pacing, web/intro.js: one
// animation frame, or the next deadline of ?fps=N, or, with the test hook, a
// stop. The page paces the intro, so the present never calls DEMOPace (the
// native --fps pacer). The page delivers keys as SDL 1.2 key symbols through
// WebKey.
#include <emscripten.h>

#include "programs/intro/config.h"
#include "sdl/display.h"
#include "sdl/events.h"

// Resolves when the page lets presentation n + 1 follow presentation n;
// fading is non-zero during the quit fade, which the page paces faster.
EM_ASYNC_JS(void, WebAfterPresent, (int n, int fading), {
  await Module.afterPresent(n, fading !== 0);
});

namespace {

void Present(Display* display, const Image* frame) {
  DEMOShowFrame(display, frame);
  // The presentation is counted by the driver afterwards.
  WebAfterPresent(demo.presentations, (demo.runState & DEMO_QUIT) != 0);
}

}  // namespace

DemoConfig IntroConfig() {
  DemoConfig config = IntroBuildConfig();
  config.present = Present;
  // The pages play no sound yet: SDL's audio device is not opened in the
  // browser, where the main loop yields through Asyncify.
  config.sound = DemoSound::Off;
  return config;
}

// Queues a key press (down != 0) or release of SDL 1.2 key symbol sym; the
// next poll reads it as it reads a native key event.
extern "C" EMSCRIPTEN_KEEPALIVE void WebKey(int sym, int down) {
  SDLEventsPushKey(sym, down != 0);
}
