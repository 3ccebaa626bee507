// Configuration of the test programs: the windowed intro's flags and size.
// Tests that need the full-screen geometry set DEMO_SCREEN_* themselves.
#include "demo/demo.h"
#include "sdl/display.h"

int32_t DEMO_SCREEN_WIDTH = 640;
int32_t DEMO_SCREEN_HEIGHT = 480;
const uint32_t SDLDPY_MODE_FLAGS = 0x10000001u;
