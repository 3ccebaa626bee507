// The test programs that link the driver run it through the harness: a
// present that paces as the intros do and records what was presented, and a
// poll that plays a key script. IntroTest::Start configures the driver with
// them.
#include "demo/demo.h"
#include "sdl/display.h"
#include "sdl/events.h"
#include "tests/demo_harness.h"

namespace test {

Harness harness;

void Harness::Reset() { *this = Harness{}; }

namespace {

void Present(Display* display, const Image* frame) {
  DEMOPace();
  DEMOShowFrame(display, frame);
  harness.OnPresent(demo.presentations, frame);
}

void Poll(Keyboard* keyboard) {
  // Presentation n has just been shown: release what was pressed before the
  // poll of n - 1, then press what is due now.
  const int32_t n = demo.presentations - 1;
  for (const auto& key : harness.keys)
    if (key.presentation + 1 == n) SDLEventsPushKey(key.sym, false);
  for (const auto& key : harness.keys)
    if (key.presentation == n) SDLEventsPushKey(key.sym, true);
  SDLKBDGetKey(keyboard);
}

}  // namespace

DemoConfig HarnessConfig(int32_t width, int32_t height) {
  DemoConfig config;
  config.width = width;
  config.height = height;
  config.present = Present;
  config.poll = Poll;
  return config;
}

}  // namespace test
