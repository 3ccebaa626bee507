// Configuration of the benchmark programs: the windowed intro's flags and
// size, presenting and polling as the intros do.
#include "demo/demo.h"
#include "sdl/display.h"

int32_t DEMO_SCREEN_WIDTH = 640;
int32_t DEMO_SCREEN_HEIGHT = 480;
const uint32_t SDLDPY_MODE_FLAGS = SDLDPY_WINDOWED_FLAGS;

void DEMOPresent(Display* display, const Image* frame) {
  SDLDPYShow(display, frame);
}

void DEMOPoll(Keyboard* keyboard) { SDLKBDGetKey(keyboard); }
