// The build-time configuration of one intro: its screen size and video-mode
// flags, given by the build as INTRO_WIDTH, INTRO_HEIGHT and INTRO_MODE_FLAGS.
#include "demo/demo.h"
#include "sdl/display.h"

int32_t DEMO_SCREEN_WIDTH = INTRO_WIDTH;
int32_t DEMO_SCREEN_HEIGHT = INTRO_HEIGHT;
const uint32_t SDLDPY_MODE_FLAGS = INTRO_MODE_FLAGS;

void DEMOPresent(Display* display, const Image* frame) {
  SDLDPYShow(display, frame);
}

void DEMOPoll(Keyboard* keyboard) { SDLKBDGetKey(keyboard); }
