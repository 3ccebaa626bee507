// Configuration of the benchmark programs: the windowed intro's flags and
// size, presenting (only what the render changed) and polling as the intros
// do, and a hook after each presentation.
#include "bench/present_hook.h"
#include "demo/demo.h"
#include "demo/render.h"
#include "sdl/display.h"

namespace bench {

void (*presentHook)() = nullptr;

}  // namespace bench

int32_t DEMO_SCREEN_WIDTH = 640;
int32_t DEMO_SCREEN_HEIGHT = 480;
const uint32_t SDLDPY_MODE_FLAGS = SDLDPY_WINDOWED_FLAGS;

void DEMOPresent(Display* display, const Image* frame) {
  int32_t count = 0;
  const ImageRect* changed =
      DEMORenderChanges(demo.renderCache, frame, &count);
  SDLDPYShowRects(display, frame, changed, count);
  if (bench::presentHook) bench::presentHook();
}

void DEMOPoll(Keyboard* keyboard) { SDLKBDGetKey(keyboard); }
