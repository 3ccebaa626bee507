// The video-mode flags of every test program that links the SDL layer: the
// tests run in a window.
#include "sdl/display.h"

const uint32_t SDLDPY_MODE_FLAGS = SDLDPY_WINDOWED_FLAGS;
