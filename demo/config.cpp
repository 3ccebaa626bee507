// The build-time configuration of one intro: its screen size, given by the
// build as INTRO_WIDTH and INTRO_HEIGHT; its video-mode flags, the full-screen
// set when INTRO_FULLSCREEN is 1 and the windowed set when 0; and its present,
// which waits for the frame's deadline when paced.
#include "common/pacer.h"
#include "demo/demo.h"
#include "demo/render.h"
#include "demo/options.h"
#include "sdl/display.h"

int32_t DEMO_SCREEN_WIDTH = INTRO_WIDTH;
int32_t DEMO_SCREEN_HEIGHT = INTRO_HEIGHT;
const uint32_t SDLDPY_MODE_FLAGS =
    INTRO_FULLSCREEN ? SDLDPY_FULLSCREEN_FLAGS : SDLDPY_WINDOWED_FLAGS;

namespace {

intro::Pacer pacer;  // unlimited unless --fps says otherwise

}  // namespace

void DEMOSetRate(int32_t fps) { pacer.SetRate(fps); }

void DEMOPresent(Display* display, const Image* frame) {
  pacer.Wait();
  // Only what the last frame changed, when the render knows it.
  int32_t count = 0;
  const ImageRect* changed =
      DEMORenderChanges(demo.renderCache, frame, &count);
  SDLDPYShowRects(display, frame, changed, count);
}

void DEMOPoll(Keyboard* keyboard) { SDLKBDGetKey(keyboard); }
