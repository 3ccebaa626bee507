// The two scenes. Each draws the whole picture as characters into the text
// screen, calls DEMOFrame once per presented frame and returns as soon as the
// run state is non-zero after a frame.
#include "common/random.h"
#include "common/sintab.h"
#include "demo/data_check.h"
#include "demo/demo.h"

namespace {

constexpr int kPanFrames = 200;
constexpr int kRunFrames = 200;

}  // namespace

void DEMOScene1() {
  using intro::SINTAB;
  using intro::SINTAB_SIZE;
  TextScreen* screen = demo.screen;
  const int32_t w = DEMOTextWidth(demo.mapText);
  const int32_t h = DEMOTextHeight(demo.mapText);
  demo.p = intro::rand() % SINTAB_SIZE;
  demo.q = intro::rand() % SINTAB_SIZE;

  // The map drifts on two sine curves; each frame shows the position computed
  // before the phases advance.
  for (int i = 0; i < kPanFrames; ++i) {
    SCRFill(screen, 32);
    int32_t x = (screen->cols - w) / 2 + (SINTAB[demo.p] >> 8);
    int32_t y = (screen->rows - h) / 2 + (SINTAB[demo.q] >> 8);
    SCRPrint(screen, x, y, demo.mapText);
    demo.p = (demo.p + 6) % SINTAB_SIZE;
    demo.q = (demo.q + 4) % SINTAB_SIZE;
    DEMOFrame();
    if (demo.runState) return;
  }

  // The running man, over the last picture of the map: every frame text is
  // shown twice and the cycle plays four times.
  for (int j = 0; j < kRunFrames; ++j) {
    int k = (j >> 1) % DEMO_FRAME_TEXTS;
    SCRPrint(screen, screen->cols / 2 - 4, screen->rows / 2 - 6,
             demo.frameTexts[k]);
    DEMOFrame();
    if (demo.runState) return;
  }
}

void DEMOScene2() {
  using intro::SINTAB;
  using intro::SINTAB_SIZE;
  TextScreen* screen = demo.screen;
  // The logo is centred by its width: 19 for the built-in one.
  const char* logo = DEMOLogo();
  const int32_t x0 = screen->cols / 2 - DEMOLogoWidth(logo) / 2;
  const int32_t y = screen->rows / 4;
  const int32_t half = screen->cols / 2;
  demo.p = 0;

  // Drawing order is layering: stars beneath, then the logo's opaque box,
  // then the scroller's whole row.
  for (;;) {
    SCRFill(screen, 32);
    STARSMove(demo.stars);
    STARSDraw(demo.stars, screen);
    SCRPrint(screen, x0 + ((SINTAB[demo.p] * half) >> 16), y, logo);
    SCROLLDraw(demo.scroller);
    demo.p = (demo.p + 8) % SINTAB_SIZE;
    if (demo.frameCounter & 1) SCROLLStep(demo.scroller);
    ++demo.frameCounter;
    DEMOFrame();
    if (demo.runState) return;
  }
}
