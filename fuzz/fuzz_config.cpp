// Configuration unit of the fuzz programs that link the driver: the windowed
// intro's size and flags; presenting and polling do nothing, since no fuzz
// program runs a scene.
#include "demo/demo.h"
#include "sdl/display.h"

int32_t DEMO_SCREEN_WIDTH = 640;
int32_t DEMO_SCREEN_HEIGHT = 480;
const uint32_t SDLDPY_MODE_FLAGS = SDLDPY_WINDOWED_FLAGS;

void DEMOPresent(Display*, const Image*) {}
void DEMOPoll(Keyboard*) {}
