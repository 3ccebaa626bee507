// Configuration of the test programs that link the driver: the windowed
// intro's size (its flags come from sdl_config.cpp), and a present/poll pair
// that presents as the intros do, records what was presented and plays a key
// script. Tests that need the
// full-screen geometry set DEMO_SCREEN_* first.
#include "demo/demo.h"
#include "demo/options.h"
#include "demo/render.h"
#include "sdl/display.h"
#include "sdl/events.h"
#include "tests/demo_harness.h"

int32_t DEMO_SCREEN_WIDTH = 640;
int32_t DEMO_SCREEN_HEIGHT = 480;

namespace test {

Harness harness;

void Harness::Reset() { *this = Harness{}; }

}  // namespace test

void DEMOSetRate(int32_t fps) { test::harness.pacer.SetRate(fps); }

void DEMOPresent(Display* display, const Image* frame) {
  test::harness.pacer.Wait();
  // As the intros present: what the render lists as changed.
  int32_t count = 0;
  const ImageRect* changed =
      DEMORenderChanges(demo.renderCache, frame, &count);
  SDLDPYShowRects(display, frame, changed, count);
  test::harness.OnPresent(demo.presentations, frame);
}

void DEMOPoll(Keyboard* keyboard) {
  // Presentation n has just been shown: release what was pressed before the
  // poll of n - 1, then press what is due now.
  const int32_t n = demo.presentations - 1;
  for (const auto& key : test::harness.keys)
    if (key.presentation + 1 == n) SDLEventsPushKey(key.sym, false);
  for (const auto& key : test::harness.keys)
    if (key.presentation == n) SDLEventsPushKey(key.sym, true);
  SDLKBDGetKey(keyboard);
}
