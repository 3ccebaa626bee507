// The build-time configuration of one intro: its screen size and video-mode
// flags, given by the build as INTRO_WIDTH, INTRO_HEIGHT and INTRO_MODE_FLAGS,
// and its present, which waits for the frame's deadline when paced.
#include "common/pacer.h"
#include "demo/demo.h"
#include "demo/options.h"
#include "sdl/display.h"

int32_t DEMO_SCREEN_WIDTH = INTRO_WIDTH;
int32_t DEMO_SCREEN_HEIGHT = INTRO_HEIGHT;
const uint32_t SDLDPY_MODE_FLAGS = INTRO_MODE_FLAGS;

namespace {

intro::Pacer pacer;  // unlimited unless --fps says otherwise

}  // namespace

void DEMOSetRate(int32_t fps) { pacer.SetRate(fps); }

void DEMOPresent(Display* display, const Image* frame) {
  pacer.Wait();
  SDLDPYShow(display, frame);
}

void DEMOPoll(Keyboard* keyboard) { SDLKBDGetKey(keyboard); }
